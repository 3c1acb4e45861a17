#include "brocade_update.h"

#include <optional>
#include <string>
#include <vector>

#include "adapter_family.h"
#include "installers.h"
#include "zelk_pkg_installer_broker.h"

namespace {

constexpr const char *kNameSpace = "root/brocade";

const AdapterFamily kBrocade = {
    "installBrocadePkg",
    "Brocade",
    "installSingleBrcdFCpayload",
    kNameSpace,
    {"BROCADE_HBASoftwareInstallationService",
     {{"CreationClassName", KeyFrom::kFixed, "BROCADE_HBASoftwareInstallationService"},
      {"SystemName", KeyFrom::kSystemName, nullptr},
      {"Name", KeyFrom::kFixed, "Brocade Adapter Software Update Service"},
      {"SystemCreationClassName", KeyFrom::kFixed, "BROCADE_ComputerSystem"}}},
    {"BROCADE_PortController",
     {{"CreationClassName", KeyFrom::kFixed, "BROCADE_PortController"},
      {"DeviceID", KeyFrom::kDeviceID, nullptr},
      {"SystemCreationClassName", KeyFrom::kFixed, "BROCADE_ComputerSystem"},
      {"SystemName", KeyFrom::kSystemName, nullptr}}},
    true,
    "No driver file name that need to be update.\n",
    &kCapitalisedMessages,
    UnpackFailure::kGoOn,
    1,
    TraceWording::kBrocade,
};

// Cards and ports are read first: every card is compared with every port.
struct Card {
    std::string model;
    std::string serial;
};
struct Port {
    std::optional<std::string> name;
    std::optional<std::string> deviceId;
};

std::optional<std::string> optional_text(const char *text) {
    return text ? std::optional<std::string>(text) : std::nullopt;
}

} // namespace

void getBrocadeDFNDeviceIDArray(int32_t pkgIndex, const CMPIContext *ctx) {
    clear_adapters(pkgIndex);
    std::vector<Card> cards;
    const bool cardsRead = for_each_instance(
        ctx, kNameSpace, "BROCADE_PhysicalPackage", [&](const CMPIInstance *card) {
            const char *model = string_property(card, "Model");
            const char *serial = string_property(card, "SerialNumber");
            if (model != nullptr && serial != nullptr) {
                cards.push_back({model, serial});
            }
        });
    std::vector<Port> ports;
    const bool portsRead =
        for_each_instance(ctx, kNameSpace, "BROCADE_PortController", [&](const CMPIInstance *port) {
            ports.push_back({optional_text(string_property(port, "Name")),
                             optional_text(string_property(port, "DeviceID"))});
        });
    if (!cardsRead || !portsRead) {
        trace("Brocade cards or ports could not be enumerated.\n");
        return;
    }
    for (const Card &card : cards) {
        for (const Port &port : ports) {
            if (port.name == card.serial && port.deviceId) {
                add_adapter(pkgIndex, card.model, *port.deviceId);
            }
        }
    }
}

int32_t installBrcdFCpayload(int32_t pkgIndex, const CMPIContext *ctx) {
    return install_adapter_payloads(kBrocade, pkgIndex, ctx);
}

int32_t installSingleBrcdFCpayload(const CMPIContext *ctx, const char *payloadPath,
                                   const char *deviceId) {
    return install_adapter_payload(kBrocade, ctx, payloadPath, deviceId);
}

int32_t installBrocadePkg(int32_t pkgIndex, const CMPIContext *ctx) {
    trace("Enter installBrocadePkg.\n");
    getBrocadeDFNDeviceIDArray(pkgIndex, ctx);
    return install_adapter_package(kBrocade, pkgIndex, ctx);
}
