#include "adapter_family.h"

#include <cstdio>

#include "broker_helpers.h"
#include "common_update.h"
#include "unzipfile.h"
#include "zelk_pkg_installer_broker.h"

namespace {

constexpr const char *kPayloadUriPrefix = "file:///var/tmp/QEL/Xorvo/Package/";
constexpr int kPayloadUriSize = 256;
constexpr CMPIUint16 kInstallOption = 4;
constexpr CMPIUint16 kSecondInstallOption = 5;

int adaptersLeftOut = 0; // found by the latest discovery beyond the record's adapter table

bool brocade_wording(const AdapterFamily &family) {
    return family.wording == TraceWording::kBrocade;
}

// The SystemName key of the last service instance; empty when there is none.
std::string system_name_of(const AdapterFamily &family, const CMPIContext *ctx,
                           const CMPIObjectPath *service) {
    std::string name;
    visit_instances(ctx, service, [&](const CMPIInstance *instance) {
        name = string_key(instance, "SystemName").value_or("");
        if (!brocade_wording(family) && !name.empty()) {
            tracef("%s.SystemName = %s\n", family.service.className, name.c_str());
        }
    });
    return name;
}

void add_keys(CMPIObjectPath *path, const AdapterPath &layout, const std::string &systemName,
              const char *deviceId) {
    for (const AdapterKey &key : layout.keys) {
        const char *value = key.from == KeyFrom::kFixed        ? key.fixed
                            : key.from == KeyFrom::kSystemName ? systemName.c_str()
                                                               : deviceId;
        CMAddKey(path, key.name, value, CMPI_chars);
    }
}

// One uint16 element, 4. Element 1 lies beyond the array: the broker refuses to set it, the
// refusal is not looked at, and the vendor receives the single value 4.
void add_install_options(CMPIArgs *in) {
    CMPIArray *options = CMNewArray(QEL_VMWarePackageInstallationBroker, 1, CMPI_uint16, nullptr);
    if (!is_usable(options)) {
        return;
    }
    CMSetArrayElementAt(options, 0, &kInstallOption, CMPI_uint16);
    CMSetArrayElementAt(options, 1, &kSecondInstallOption, CMPI_uint16);
    CMAddArg(in, "InstallOptions", &options, CMPI_uint16A);
    CMRelease(options);
}

template <class T> void release(T *object) {
    if (is_usable(object)) {
        CMRelease(object);
    }
}

// Unpacks the package; false when the member stops on a failure (*result holds the code).
bool unpack(const AdapterFamily &family, const char *localFileURI, int32_t *result) {
    char archive[kArchivePathSize];
    archive_path_of(localFileURI, archive);
    if (!brocade_wording(family)) {
        tracef("Effective path: %s\n", archive);
    }
    int32_t unzipped = Minizip(archive, zelk::kWorkingAreaPath);
    if (unzipped == minizip_result::kOk) {
        if (brocade_wording(family)) {
            trace("minizip successfully.\n");
        }
        return true;
    }
    if (family.unpackFailure == UnpackFailure::kStopWithCode) {
        tracef("Minizip() failed: %d\n", unzipped);
        *result = unzipped;
        return false;
    }
    tracef("Minizip returned %d; installing from the working area as it is.\n", unzipped);
    return true;
}

// A package never reports success with adapters or payloads left out: it installs nothing and
// fails as a failed payload does.
int32_t refuse_cut_package(const AdapterFamily &family, int32_t pkgIndex) {
    update_Pkg_Install_status(pkgIndex, status_code::kInstallError,
                              "Package installation error happened.");
    return family.payloadFailureResult;
}

int32_t remove_working_area(const AdapterFamily &family) {
    int32_t removed = util_remove_file(zelk::kWorkingAreaPath);
    if (brocade_wording(family)) {
        if (removed == 0) {
            trace("util_remove_file successfully.\n");
        }
    } else {
        trace(removed == 0 ? "util_remove_file() successfully.\n" : "util_remove_file() failed.\n");
    }
    return removed;
}

} // namespace

int32_t install_adapter_package(const AdapterFamily &family, int32_t pkgIndex,
                                const CMPIContext *ctx) {
    PkgInstance &pkg = pkgInstance[pkgIndex];
    if (pkg.DFNDeviceCount <= 0) {
        update_Pkg_Install_status(pkgIndex, status_code::kInstallError, family.noAdapterMessage);
        return kNoAdapterResult;
    }
    if (adaptersLeftOut > 0) {
        tracef("%d adapters found beyond the %d the record holds; nothing is installed.\n",
               adaptersLeftOut, zelk::kMaxDfnDevices);
        return refuse_cut_package(family, pkgIndex);
    }
    trace_labelled("LocalFileURI = ", pkg.LocalFileURI);
    int32_t result = 0;
    if (!unpack(family, pkg.LocalFileURI, &result)) {
        return result;
    }
    if (parsePayloadDeviceIDArray(pkgIndex) == 0) {
        if (!brocade_wording(family)) {
            trace("parsePayloadDeviceIDArray() failed.\n");
        }
        return 0;
    }
    if (payload_matches_left_out() > 0) {
        tracef("%d payload matches beyond the %d the record holds; nothing is installed.\n",
               payload_matches_left_out(), zelk::kMaxPayloads);
        return refuse_cut_package(family, pkgIndex); // the working area stays, as after a failure
    }
    if (install_adapter_payloads(family, pkgIndex, ctx) == 1) {
        return family.payloadFailureResult; // the working area stays for the driver to remove
    }
    result = remove_working_area(family);
    tracef("Complete %s.\n", family.installer);
    return result;
}

int32_t install_adapter_payloads(const AdapterFamily &family, int32_t pkgIndex,
                                 const CMPIContext *ctx) {
    const PkgInstance &pkg = pkgInstance[pkgIndex];
    const int32_t count =
        pkg.PayloadCount < zelk::kMaxPayloads ? pkg.PayloadCount : zelk::kMaxPayloads;
    for (int32_t k = 0; k < count; ++k) {
        const PayloadEntry &entry = pkg.Payloads[k];
        tracef("Install %s %d package. Payload path: %s, Device ID: %s\n", family.vendor, k,
               entry.PayloadPath, entry.DeviceID);
        int32_t code = install_adapter_payload(family, ctx, entry.PayloadPath, entry.DeviceID);
        if (code != install_code::kInstalled) {
            if (!brocade_wording(family)) {
                tracef("Error return from %s(): %d\n", family.singleInstall, code);
            }
            return record_install_code(pkgIndex, code, *family.messages);
        }
    }
    return record_install_code(pkgIndex, install_code::kInstalled, *family.messages);
}

int32_t install_adapter_payload(const AdapterFamily &family, const CMPIContext *ctx,
                                const char *payloadPath, const char *deviceId) {
    const CMPIBroker *broker = QEL_VMWarePackageInstallationBroker;
    CMPIObjectPath *service = new_path(family.nameSpace, family.service.className);
    const bool serviceBuilt = is_usable(service);
    const std::string systemName = serviceBuilt ? system_name_of(family, ctx, service) : "";
    if (brocade_wording(family)) {
        tracef("%s SystemName = %s\n", family.vendor, systemName.c_str());
    }
    if (!serviceBuilt) {
        return install_code::kNotBuilt;
    }
    add_keys(service, family.service, systemName, deviceId);

    CMPIArgs *in = CMNewArgs(broker, nullptr);
    CMPIObjectPath *target = new_path(family.nameSpace, family.target.className);
    if (!is_usable(in) || !is_usable(target)) {
        release(service);
        release(in);
        release(target);
        return install_code::kNotBuilt;
    }
    if (family.installOptions) {
        add_install_options(in);
    }
    add_keys(target, family.target, systemName, deviceId);
    if (!brocade_wording(family)) {
        tracef("Succeed in creating %s: SystemName = %s, DeviceID = %s\n", family.target.className,
               systemName.c_str(), deviceId);
    }
    CMAddArg(in, "Target", &target, CMPI_ref);

    char uri[kPayloadUriSize];
    std::snprintf(uri, sizeof uri, "%s%s", kPayloadUriPrefix, payloadPath);
    CMAddArg(in, "URI", uri, CMPI_chars);
    if (brocade_wording(family)) {
        trace_labelled("URI = ", uri);
    } else {
        tracef("To install package: %s\n", uri);
    }

    InvokeOutcome outcome = invoke_install_from_uri(ctx, service, in);
    if (brocade_wording(family)) {
        tracef("CBInvokeMethod Retcode:%d\n", outcome.returned);
    }
    release(service);
    release(target);
    release(in);
    if (!outcome.brokerOk) {
        trace_broker_error(outcome.message);
    } else if (!brocade_wording(family)) {
        tracef("CBInvokeMethod() return code: %d\n", outcome.returned);
    }
    return outcome.code();
}

void clear_adapters(int32_t pkgIndex) {
    pkgInstance[pkgIndex].DFNDeviceCount = 0;
    adaptersLeftOut = 0;
}

bool add_adapter(int32_t pkgIndex, const std::string &dfn, const std::string &deviceId) {
    PkgInstance &pkg = pkgInstance[pkgIndex];
    if (pkg.DFNDeviceCount < 0 || pkg.DFNDeviceCount >= zelk::kMaxDfnDevices) {
        tracef("More than %d adapters; DFN = %s, DeviceID = %s is left out.\n",
               zelk::kMaxDfnDevices, dfn.c_str(), deviceId.c_str());
        ++adaptersLeftOut;
        return false;
    }
    DeviceEntry &entry = pkg.DFNDeviceIDs[pkg.DFNDeviceCount];
    copy_text(entry.DFN, dfn.c_str());
    copy_text(entry.DeviceID, deviceId.c_str());
    tracef("DFN = %s, DeviceID = %s\n", entry.DFN, entry.DeviceID);
    ++pkg.DFNDeviceCount;
    return true;
}
