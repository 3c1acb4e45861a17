#include "facade_update.h"

#include "archive_install.h"
#include "broker_helpers.h"
#include "common_update.h"
#include "installers.h"
#include "unzipfile.h"
#include "zelk_pkg_installer_broker.h"

namespace {

// What the package step returns after a successful install.
enum class PackageResult { kRemovalResult, kAlwaysOne };

// A firmware-update provider and the vendor's own trace records (null: none).
struct FacadeVendor {
    const char *nameSpace;
    const char *className;
    KeyText keys[4];
    const char *packageEntered;
    const char *payloadEntered;
    const char *requestEntered;
    const char *serviceCreated;
    const char *packageCompleted;
    PackageResult result;
};

const FacadeVendor kBroadcom = {
    "brcmfwup/cimv2",
    "BRCMFWUP_SoftwareInstallationService",
    {{"SystemCreationClassName", "BRCMFWUP Provider"},
     {"SystemName", "Management Controller"},
     {"Name", "BRCMFWUPSoftwareInstallationService"},
     {"CreationClassName", "BRCMFWUP_SoftwareInstallationService"}},
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    "InstallBroadcomPkg Completed.\n",
    PackageResult::kRemovalResult,
};

const FacadeVendor kLsi = {
    "orpv/cimv2",
    "ORPV_SoftwareInstallationService",
    {{"SystemCreationClassName", "ORPV Provider"},
     {"SystemName", "Management Controller"},
     {"Name", "ORPVSoftwareInstallationService"},
     {"CreationClassName", "ORPV_SoftwareInstallationService"}},
    "--> InstallLSIPkg.\n",
    "--> installLSIpayload.\n",
    "--> installSingleLSIpayload.\n",
    "Create ORPV_SoftwareInstallationService successfully.\n",
    nullptr,
    PackageResult::kAlwaysOne,
};

void trace_if(const char *record) {
    if (record != nullptr) {
        trace(record);
    }
}

uint32_t request_install(const FacadeVendor &vendor, const CMPIContext *ctx, const char *uri) {
    trace_if(vendor.requestEntered);
    CMPIObjectPath *service = new_path(vendor.nameSpace, vendor.className);
    if (!is_usable(service)) {
        return install_code::kNotBuilt;
    }
    const KeyText *k = vendor.keys;
    add_chars_keys(service, {k[0], k[1], k[2], k[3]});
    trace_if(vendor.serviceCreated);

    CMPIArgs *in = CMNewArgs(QEL_VMWarePackageInstallationBroker, nullptr);
    if (!is_usable(in)) {
        CMRelease(service);
        return install_code::kNotBuilt;
    }
    CMAddArg(in, "URI", uri, CMPI_chars);
    trace_labelled("To install package...", uri);
    trace("Invoking InstallFromURI Method and updating flash image. Please wait...\n");

    InvokeOutcome outcome = invoke_install_from_uri(ctx, service, in);
    tracef("CBInvokeMethod Retcode:%d\n", outcome.returned);
    CMRelease(service);
    CMRelease(in);
    if (!outcome.brokerOk) {
        trace_broker_error(outcome.message);
    }
    return static_cast<uint32_t>(outcome.code());
}

int32_t install_payload(const FacadeVendor &vendor, int32_t pkgIndex, const CMPIContext *ctx,
                        const char *uri) {
    trace_if(vendor.payloadEntered);
    int32_t code = static_cast<int32_t>(request_install(vendor, ctx, uri));
    return record_install_code(pkgIndex, code, kCapitalisedMessages);
}

int32_t install_package(const FacadeVendor &vendor, int32_t pkgIndex, const CMPIContext *ctx) {
    const PkgInstance &pkg = pkgInstance[pkgIndex];
    trace_if(vendor.packageEntered);
    trace_labelled("LocalFileURI = ", pkg.LocalFileURI);
    char archive[kArchivePathSize];
    archive_path_of(pkg.LocalFileURI, archive);
    trace_labelled("Archive path = ", archive);
    // A failed unpack is not acted on: the provider's answer decides the status.
    if (Minizip(archive, zelk::kWorkingAreaPath) == minizip_result::kOk) {
        trace("minizip successfully.\n");
    }
    trace("before install the payload.\n");
    debug(pkg.LocalFileURI);
    debug("\n");
    if (install_payload(vendor, pkgIndex, ctx, zelk::kWorkingAreaPath) == 1) {
        return 1; // the working area stays for the driver to remove
    }
    int32_t removed = util_remove_file(zelk::kWorkingAreaPath);
    if (removed == 0) {
        trace("util_remove_file successfully.\n");
    }
    trace_if(vendor.packageCompleted);
    return vendor.result == PackageResult::kAlwaysOne ? 1 : removed;
}

} // namespace

int32_t installBroadcomPkg(int32_t pkgIndex, const CMPIContext *ctx) {
    return install_package(kBroadcom, pkgIndex, ctx);
}

int32_t installBroadcompayload(int32_t pkgIndex, const CMPIContext *ctx, const char *uri) {
    return install_payload(kBroadcom, pkgIndex, ctx, uri);
}

uint32_t installSingleBroadcompayload(const CMPIContext *ctx, const char *uri) {
    return request_install(kBroadcom, ctx, uri);
}

int32_t installLSIPkg(int32_t pkgIndex, const CMPIContext *ctx) {
    return install_package(kLsi, pkgIndex, ctx);
}

int32_t installLSIpayload(int32_t pkgIndex, const CMPIContext *ctx, const char *uri) {
    return install_payload(kLsi, pkgIndex, ctx, uri);
}

uint32_t installSingleLSIpayload(const CMPIContext *ctx, const char *uri) {
    return request_install(kLsi, ctx, uri);
}
