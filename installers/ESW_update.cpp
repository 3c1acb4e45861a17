// Management-controller firmware: asks the controller's update service to install from the
// fetched file, then follows the controller's job until it reports a final state.
#include <cstring>
#include <string>
#include <unistd.h>

#include "broker_helpers.h"
#include "installers.h"
#include "zelk_pkg_installer_broker.h"

namespace {

constexpr const char *kControllerNameSpace = "qel/cimv2";
constexpr CMPIUint32 kJobStarted = 4096;
constexpr unsigned kPollSeconds = 10;
constexpr int kEmptyPollAllowance = 3;
constexpr int32_t kFirstFfdcDetail = 16; // detail codes 0x10 to 0x42 ask for the FFDC file
constexpr int32_t kLastFfdcDetail = 66;

struct TextAndMessage {
    const char *text;
    const char *message;
};

constexpr TextAndMessage kInProgress[] = {
    {"Initialization", "Initialization and Package installation is running."},
    {"Transfering file to VXC", "Transfering file to VXC and Package installation is running."},
    {"updating firmware", "Updating and Package installation is running."},
    {"VXC rebooting", "VXC rebooting and Package installation is running."},
};

constexpr TextAndMessage kKnownFailures[] = {
    {"Unable to ping through VXC IP address", "Unable to ping through VXC IP address."},
    {"Unable to connect VXC through IPMI over KCS", "Unable to connect VXC through IPMI over KCS."},
    {"Get active lock failed", "Get active lock failed."},
};

template <size_t N>
const char *message_for(const TextAndMessage (&table)[N], const std::string &text) {
    for (const TextAndMessage &entry : table) {
        if (text == entry.text) {
            return entry.message;
        }
    }
    return nullptr;
}

// Sends InstallFromURI; false (with status 56 and OrderFlag 1000 recorded) when refused.
bool request_install(int32_t pkgIndex, const CMPIContext *ctx, CMPIObjectPath *service) {
    const CMPIBroker *broker = QEL_VMWarePackageInstallationBroker;
    PkgInstance &pkg = pkgInstance[pkgIndex];
    CMPIArgs *in = CMNewArgs(broker, nullptr);
    CMPIArgs *out = CMNewArgs(broker, nullptr);
    CMAddArg(in, "URI", pkg.LocalFileURI, CMPI_chars);
    CMPIUint8 bank = 0;
    if (g_is_backup_update == 1) {
        trace("This update is for backup bank.\n");
        bank = 1;
    } else {
        trace("This update is for primary bank.\n");
    }
    CMAddArg(in, "Update_Operation", &bank, CMPI_uint8);
    trace("To install package... ");
    debug(pkg.LocalFileURI);
    debug("\n");

    CMPIStatus rc{CMPI_RC_OK, nullptr};
    CMPIData returned = CBInvokeMethod(broker, ctx, service, "InstallFromURI", in, out, &rc);
    tracef("InstallFromURI return value is %u\n", returned.value.uint32);
    CMRelease(service);
    sleep(kPollSeconds);

    if (rc.rc != CMPI_RC_OK || returned.value.uint32 != kJobStarted) {
        std::string message = "Package installation error message: " + status_message_text(rc);
        update_Pkg_Install_status(pkgIndex, status_code::kBrokerError, message.c_str());
        pkg.OrderFlag = order_flag::kFailed;
        return false;
    }
    return true;
}

// Follows the controller's job; returns the final status text, or false when the job state
// could not be read three times running (57 is then recorded).
bool follow_job(int32_t pkgIndex, const CMPIContext *ctx, std::string &finalText) {
    int elapsed = 0;
    int allowance = kEmptyPollAllowance;
    for (;;) {
        std::string jobState;
        bool read = last_instance_string(ctx, kControllerNameSpace, "CIM_ConcreteJob", "JobStatus",
                                         jobState);
        tracef("jobstatus is %s\n", jobState.c_str());
        if (!read) {
            if (--allowance == 0) {
                update_Pkg_Install_status(pkgIndex, status_code::kInstallError,
                                          "Package installation error happened.");
                return false;
            }
            sleep(kPollSeconds);
            continue;
        }
        size_t bar = jobState.find('|');
        std::string detailText = bar == std::string::npos ? "" : jobState.substr(0, bar);
        std::string statusText = bar == std::string::npos ? jobState : jobState.substr(bar + 1);
        int32_t detail = strHexToDec(detailText.c_str());
        tracef("primarystatus is %s\n", detailText.c_str());
        tracef("jobstatus is %s\n", statusText.c_str());
        tracef("l_DetailStatus is %d\n", detail);
        if (detail >= kFirstFfdcDetail && detail <= kLastFfdcDetail) {
            update_Pkg_Install_status(pkgIndex, status_code::kControllerFailed,
                                      "Need download FFDC File from ESXi.");
            return false;
        }
        const char *progress = message_for(kInProgress, statusText);
        if (progress == nullptr) {
            finalText = statusText;
            return true;
        }
        update_Pkg_Install_status(pkgIndex, status_code::kRunning, progress);
        sleep(kPollSeconds);
        elapsed += static_cast<int>(kPollSeconds);
        tracef("Update time elapses %d\n", elapsed);
        allowance = kEmptyPollAllowance;
    }
}

int32_t evaluate_final_text(int32_t pkgIndex, const std::string &text) {
    if (text == "Process Completed") {
        update_Pkg_Install_status(pkgIndex, status_code::kInstalled,
                                  "Package installation successfully.");
        return 0;
    }
    const char *failure = message_for(kKnownFailures, text);
    if (failure != nullptr) {
        update_Pkg_Install_status(pkgIndex, status_code::kControllerFailed, failure);
    } else {
        update_Pkg_Install_status(pkgIndex, status_code::kInstallError,
                                  "Package installation error happened.");
    }
    return 1;
}

} // namespace

int32_t strHexToDec(const char *text) {
    if (text == nullptr || std::strlen(text) < 3) {
        return 0;
    }
    uint32_t value = 0; // unsigned so that long texts wrap instead of overflowing
    for (const char *c = text + 2; *c != '\0'; ++c) {
        uint32_t digit;
        if (*c >= 'A' && *c <= 'F') {
            digit = static_cast<uint32_t>(*c - 'A' + 10);
        } else if (*c >= 'a' && *c <= 'f') {
            digit = static_cast<uint32_t>(*c - 'a' + 10);
        } else {
            digit = static_cast<uint32_t>(static_cast<int32_t>(*c) - '0');
        }
        value = value * 16u + digit;
    }
    return static_cast<int32_t>(value);
}

int32_t installESWPkg(int32_t pkgIndex, const CMPIContext *ctx) {
    trace("Enter installESWPkg.\n");
    CMPIObjectPath *service = new_path(kControllerNameSpace, "QEL_SoftwareInstallationService");
    if (!is_usable(service)) {
        return 1;
    }
    add_chars_keys(service, {
                                {"SystemCreationClassName", "QEL_ManagementController"},
                                {"SystemName", "ManagementController"},
                                {"CreationClassName", "QEL_SoftwareInstallationService"},
                                {"Name", "VXCSoftwareInstallatiIonService"},
                            });
    int32_t result = 1;
    std::string finalText;
    if (request_install(pkgIndex, ctx, service) && follow_job(pkgIndex, ctx, finalText)) {
        result = evaluate_final_text(pkgIndex, finalText);
    }
    trace("Complete installQELPackage\n");
    return result;
}
