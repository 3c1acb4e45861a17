// Hypervisor bundles: asks the hypervisor's update service to install from the bundle's
// metadata.zip and follows its job until it reports a final state.
#include <cstring>
#include <optional>
#include <string>
#include <unistd.h>

#include "broker_helpers.h"
#include "installers.h"
#include "zelk_pkg_installer_broker.h"

namespace {

constexpr const char *kHypervisorNameSpace = "root/cimv2";
constexpr const char *kServiceClass = "VMware_SoftwareInstallationService";
constexpr const char *kSystemClass = "OMC_UnitaryComputerSystem";
constexpr const char *kBundleSuffix = "metadata.zip";
constexpr unsigned kPollSeconds = 10;

struct JobOutcome {
    const char *text;
    int32_t code;
    const char *message;
    bool inProgress;
    int32_t result;
};

constexpr JobOutcome kJobOutcomes[] = {
    {"The update completed successfully, but the system needs to be rebooted for the changes to "
     "be effective.",
     status_code::kInstalled, "Package installation successfully.", false, 1},
    {"Updates at supplied URI are obsolete or already installed", status_code::kObsolete,
     "The Updates are obsolete or already installed.", false, 1},
    {"Scanning URI for installable packages", status_code::kScanning,
     "Scanning URI for installable packages.", true, 0},
    {"Scan of URI Complete and installable packages found. Starting Update.",
     status_code::kScanComplete,
     "Scan of URI Complete and installable packages found. Starting Update.", true, 0},
};

// Appends the bundle's metadata file name to the payload location, in place. False, with the
// location kept as it is, when the field has no room left for it.
bool append_bundle_suffix(PkgInstance &pkg) {
    size_t used = std::strlen(pkg.TFTPPayloadPkgURIs);
    if (used + std::strlen(kBundleSuffix) >= sizeof pkg.TFTPPayloadPkgURIs) {
        return false;
    }
    std::strcat(pkg.TFTPPayloadPkgURIs, kBundleSuffix);
    trace("pkgInstance[pkgIdx].TFTPPayloadPkgURIs = ");
    debug(pkg.TFTPPayloadPkgURIs);
    debug("\n");
    return true;
}

// The bundle's folder alone names nothing the hypervisor could install from: no request is
// made, and the package fails as a failed request does.
int32_t refuse_long_location(int32_t pkgIndex, PkgInstance &pkg) {
    tracef("Bundle location too long to append metadata.zip (%zu characters); no request "
           "sent.\n",
           std::strlen(pkg.TFTPPayloadPkgURIs));
    update_Pkg_Install_status(pkgIndex, status_code::kInstallError,
                              "Package installation error happened.");
    pkg.OrderFlag = order_flag::kFailed;
    trace("Complete InstallVMPkg\n");
    return 0;
}

// The host name: key SystemName of the last service instance enumerated; unknown when the
// enumeration failed or gave no instance with that key.
std::optional<std::string> host_name(const CMPIContext *ctx, const CMPIObjectPath *servicePath) {
    std::optional<std::string> name;
    visit_instances(ctx, servicePath,
                    [&](const CMPIInstance *service) { name = string_key(service, "SystemName"); });
    return name;
}

// Adds a chars key, or a key without a value when the host name is unknown.
void add_host_key(CMPIObjectPath *path, const char *keyName,
                  const std::optional<std::string> &host) {
    CMAddKey(path, keyName, host ? host->c_str() : nullptr, CMPI_chars);
}

int32_t follow_job(int32_t pkgIndex, const CMPIContext *ctx) {
    int elapsed = 0;
    for (;;) {
        std::string jobState;
        if (!last_instance_string(ctx, kHypervisorNameSpace, "VMware_ConcreteJob", "JobStatus",
                                  jobState)) {
            update_Pkg_Install_status(pkgIndex, status_code::kInstallError,
                                      "Package installation error happened.");
            return 0;
        }
        trace(jobState.c_str());
        debug("\n");
        const JobOutcome *outcome = nullptr;
        for (const JobOutcome &candidate : kJobOutcomes) {
            if (jobState == candidate.text) {
                outcome = &candidate;
            }
        }
        if (outcome == nullptr) {
            update_Pkg_Install_status(pkgIndex, status_code::kInstallError,
                                      "Package installation error happened.");
            return 0;
        }
        update_Pkg_Install_status(pkgIndex, outcome->code, outcome->message);
        if (!outcome->inProgress) {
            return outcome->result;
        }
        sleep(kPollSeconds);
        elapsed += static_cast<int>(kPollSeconds);
        tracef("Update time elapses %d\n", elapsed);
    }
}

} // namespace

int32_t installVMPkg(int32_t pkgIndex, const CMPIContext *ctx) {
    trace("Enter installVMPkg.\n");
    const CMPIBroker *broker = QEL_VMWarePackageInstallationBroker;
    PkgInstance &pkg = pkgInstance[pkgIndex];
    if (!append_bundle_suffix(pkg)) {
        return refuse_long_location(pkgIndex, pkg);
    }

    CMPIObjectPath *service = new_path(kHypervisorNameSpace, kServiceClass);
    if (!is_usable(service)) {
        return 0;
    }
    const std::optional<std::string> host = host_name(ctx, service);
    CMAddKey(service, "CreationClassName", kServiceClass, CMPI_chars);
    add_host_key(service, "SystemName", host);
    CMAddKey(service, "Name", "SoftwareInstallationService", CMPI_chars);
    CMAddKey(service, "SystemCreationClassName", kSystemClass, CMPI_chars);

    CMPIObjectPath *target = new_path(kHypervisorNameSpace, kSystemClass);
    if (!is_usable(target)) {
        trace("Create OMC_UnitaryComputerSystem failed.\n");
        update_Pkg_Install_status(pkgIndex, status_code::kBrokerError,
                                  "Create OMC_UnitaryComputerSystem failed.");
        return 0;
    }
    CMAddKey(target, "CreationClassName", kSystemClass, CMPI_chars);
    add_host_key(target, "Name", host);

    CMPIArgs *in = CMNewArgs(broker, nullptr);
    CMPIArgs *out = CMNewArgs(broker, nullptr);
    CMAddArg(in, "URI", pkg.TFTPPayloadPkgURIs, CMPI_chars);
    CMAddArg(in, "Target", &target, CMPI_ref);
    trace("To install package...");
    debug(pkg.TFTPPayloadPkgURIs);
    debug("\n");
    CMPIStatus rc{CMPI_RC_OK, nullptr};
    CMPIData returned = CBInvokeMethod(broker, ctx, service, "InstallFromURI", in, out, &rc);
    tracef("%d\n", returned.value.sint32);
    CMRelease(target);
    CMRelease(service);

    if (rc.rc != CMPI_RC_OK) {
        std::string message = "Package installation error message: " + status_message_text(rc);
        update_Pkg_Install_status(pkgIndex, status_code::kBrokerError, message.c_str());
        pkg.OrderFlag = order_flag::kFailed;
        trace("Complete InstallVMPkg\n");
        return 0;
    }
    return follow_job(pkgIndex, ctx);
}
