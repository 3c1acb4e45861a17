#include "Emulex_update.h"

#include <cstring>
#include <string>

#include "adapter_family.h"
#include "installers.h"
#include "zelk_pkg_installer_broker.h"

namespace {

constexpr const char *kNameSpace = "root/emulex";
constexpr const char *kSystemClass = "OMC_UnitaryComputerSystem";

// Both Emulex members address the service and the port alike, with their own classes.
constexpr AdapterPath emulex_service(const char *className, const char *name) {
    return {className,
            {{"SystemCreationClassName", KeyFrom::kFixed, kSystemClass},
             {"SystemName", KeyFrom::kSystemName, nullptr},
             {"CreationClassName", KeyFrom::kFixed, className},
             {"Name", KeyFrom::kFixed, name}}};
}

constexpr AdapterPath emulex_port(const char *className) {
    return {className,
            {{"SystemCreationClassName", KeyFrom::kFixed, kSystemClass},
             {"SystemName", KeyFrom::kSystemName, nullptr},
             {"CreationClassName", KeyFrom::kFixed, className},
             {"DeviceID", KeyFrom::kDeviceID, nullptr}}};
}

constexpr AdapterFamily emulex_family(const char *installer, const char *singleInstall,
                                      AdapterPath service, AdapterPath target,
                                      const char *noAdapterMessage) {
    return {installer,
            "Emulex",
            singleInstall,
            kNameSpace,
            service,
            target,
            false,
            noAdapterMessage,
            &kLowerCaseMessages,
            UnpackFailure::kStopWithCode,
            0, // a payload failure stands in the recorded status only
            TraceWording::kEmulex};
}

const AdapterFamily kElxCna = emulex_family(
    "installElxCNAPkg", "install_one_elxcna_payload",
    emulex_service("ELXUCNA_SoftwareInstallationService", "ELXUCNA_SoftwareInstallationService"),
    emulex_port("ELXUCNA_EthernetPort"), "No driver file name that need to be update.");

const AdapterFamily kElxFc = emulex_family(
    "installElxFCPkg", "install_one_elxfc_payload",
    emulex_service("ELXHBA_SoftwareInstallationService", "ELXHBA_FCSoftwareInstallationService"),
    emulex_port("ELXHBA_FCPort"), "No driver file name that need to be update.\n");

void enumerate(const CMPIContext *ctx, const char *className,
               const std::function<void(const CMPIInstance *)> &visit) {
    if (!for_each_instance(ctx, kNameSpace, className, visit)) {
        trace("enumerateInstances() returns NULL.\n");
    }
}

} // namespace

void get_elxcna_dfn_devid(int32_t pkgIndex, const CMPIContext *ctx) {
    clear_adapters(pkgIndex);
    enumerate(ctx, "ELXUCNA_EthernetPort", [&](const CMPIInstance *port) {
        // InstanceID is "<driver file name>:<device id>"; the device id may hold ":" itself.
        const char *instanceId = string_property(port, "InstanceID");
        const char *colon = instanceId ? std::strchr(instanceId, ':') : nullptr;
        if (colon == nullptr || colon == instanceId) {
            return;
        }
        add_adapter(pkgIndex, std::string(instanceId, colon), colon + 1);
    });
}

void get_elxfc_dfn_devid(int32_t pkgIndex, const CMPIContext *ctx) {
    clear_adapters(pkgIndex);
    enumerate(ctx, "ELXHBA_VitalProductData", [&](const CMPIInstance *product) {
        const char *dfn = string_property(product, "FieldV2");
        const char *instanceId = string_property(product, "InstanceID");
        if (dfn != nullptr && instanceId != nullptr) {
            add_adapter(pkgIndex, dfn, instanceId);
        }
    });
}

int32_t install_elxcna_payload(int32_t pkgIndex, const CMPIContext *ctx) {
    return install_adapter_payloads(kElxCna, pkgIndex, ctx);
}

int32_t install_one_elxcna_payload(const CMPIContext *ctx, const char *payloadPath,
                                   const char *deviceId) {
    return install_adapter_payload(kElxCna, ctx, payloadPath, deviceId);
}

int32_t install_elxfc_payload(int32_t pkgIndex, const CMPIContext *ctx) {
    return install_adapter_payloads(kElxFc, pkgIndex, ctx);
}

int32_t install_one_elxfc_payload(const CMPIContext *ctx, const char *payloadPath,
                                  const char *deviceId) {
    return install_adapter_payload(kElxFc, ctx, payloadPath, deviceId);
}

int32_t installElxCNAPkg(int32_t pkgIndex, const CMPIContext *ctx) {
    trace("Enter installElxCNAPkg.\n");
    get_elxcna_dfn_devid(pkgIndex, ctx);
    return install_adapter_package(kElxCna, pkgIndex, ctx);
}

int32_t installElxFCPkg(int32_t pkgIndex, const CMPIContext *ctx) {
    trace("Enter installElxFCPkg.\n");
    get_elxfc_dfn_devid(pkgIndex, ctx);
    return install_adapter_package(kElxFc, pkgIndex, ctx);
}
