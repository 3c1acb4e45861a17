#include "Qlogic_update.h"

#include <optional>
#include <string>

#include "adapter_family.h"
#include "installers.h"
#include "zelk_pkg_installer_broker.h"

namespace {

constexpr const char *kNameSpace = "qlogic/cimv2";

const AdapterFamily kQlogic = {
    "installQlgPkg",
    "Qlogic",
    "installSingleQlgFCpayload",
    kNameSpace,
    {"QLogicFCHBA_SoftwareInstallationService",
     {{"CreationClassName", KeyFrom::kFixed, "QLogicFCHBA_SoftwareInstallationService"},
      {"SystemName", KeyFrom::kSystemName, nullptr},
      {"Name", KeyFrom::kFixed, "FC_SW_INSTALLER"},
      {"SystemCreationClassName", KeyFrom::kFixed, "QLogicFCHBA_ComputerSystem"}}},
    {"QLogicFCHBA_PortController",
     {{"CreationClassName", KeyFrom::kFixed, "QLogicFCHBA_PortController"},
      {"DeviceID", KeyFrom::kDeviceID, nullptr},
      {"SystemCreationClassName", KeyFrom::kFixed, "QLogicFCHBA_ComputerSystem"},
      {"SystemName", KeyFrom::kSystemName, nullptr}}},
    true,
    "No driver file name that need to be update.",
    &kCapitalisedMessages,
    UnpackFailure::kGoOn,
    1,
    TraceWording::kBrocade,
};

} // namespace

void getQlgDFNDeviceIDArray(int32_t pkgIndex, const CMPIContext *ctx) {
    clear_adapters(pkgIndex);
    for_each_instance(ctx, kNameSpace, "QLogicFCHBA_FCPort", [&](const CMPIInstance *port) {
        const char *model = string_property(port, "Model");
        std::optional<std::string> deviceId = string_key(port, "DeviceID");
        if (model == nullptr) {
            return;
        }
        if (!deviceId) { // nothing to address the port by
            tracef("QLogic port of model %s has no DeviceID key; left out.\n", model);
            return;
        }
        // The port's DeviceID names the adapter before its "_"; all of it when there is none.
        add_adapter(pkgIndex, model, deviceId->substr(0, deviceId->find('_')));
    });
}

int32_t installQlgFCpayload(int32_t pkgIndex, const CMPIContext *ctx) {
    return install_adapter_payloads(kQlogic, pkgIndex, ctx);
}

int32_t installSingleQlgFCpayload(const CMPIContext *ctx, const char *payloadPath,
                                  const char *deviceId) {
    return install_adapter_payload(kQlogic, ctx, payloadPath, deviceId);
}

int32_t installQlgPkg(int32_t pkgIndex, const CMPIContext *ctx) {
    trace("Enter installQlgPkg.\n");
    getQlgDFNDeviceIDArray(pkgIndex, ctx);
    return install_adapter_package(kQlogic, pkgIndex, ctx);
}
