// The method MI's invokeMethod: checks the class, dispatches on the method name.
#include <strings.h>

#include "export.h"
#include "zelk_pkg_installer_broker.h"

namespace {

constexpr const char *kVersionRecord = "zelk version is 5.01-7.200.\n";

CMPIStatus failure(CMPIrc rc, const char *message) {
    CMPIStatus status{rc, nullptr};
    if (QEL_VMWarePackageInstallationBroker != nullptr) {
        status.msg = CMNewString(QEL_VMWarePackageInstallationBroker, message, nullptr);
    }
    return status;
}

void return_uint32(const CMPIResult *result, CMPIUint32 value) {
    if (result != nullptr) {
        CMReturnData(result, &value, CMPI_uint32);
        CMReturnDone(result);
    }
}

bool is_service_class(const CMPIObjectPath *path) {
    if (path == nullptr) {
        return false;
    }
    CMPIString *className = CMGetClassName(path, nullptr);
    const char *chars = className ? CMGetCharsPtr(className, nullptr) : nullptr;
    return chars != nullptr && strcasecmp(chars, _ZELKClassName) == 0;
}

CMPIStatus invalid_method(const CMPIResult *result) {
    return_uint32(result, 1);
    trace("Complete QEL_VMWarePackageInstallationProviderInvokeMethod.\n");
    return failure(CMPI_RC_ERR_METHOD_NOT_FOUND, "InValid Method Name");
}

CMPIStatus maintenance_done(const CMPIResult *result) {
    return_uint32(result, 0);
    trace("Complete QEL_VMWarePackageInstallationProviderInvokeMethod.\n");
    return CMPIStatus{CMPI_RC_OK, nullptr};
}

} // namespace

ZELK_EXPORT CMPIStatus QEL_VMWarePackageInstallationProviderInvokeMethod(
    CMPIMethodMI *, const CMPIContext *, const CMPIResult *result, const CMPIObjectPath *path,
    const char *methodName, const CMPIArgs *, CMPIArgs *) {
    trace("Enter QEL_VMWarePackageInstallationProviderInvokeMethod.\n");
    trace(kVersionRecord);
    trace("methodName:");
    debug(methodName ? methodName : "");
    debug("\n");

    if (!is_service_class(path) || methodName == nullptr) {
        return invalid_method(result);
    }
    if (strcasecmp(methodName, "InstallFromURI") == 0) {
        trace("calling Method: InstallFromURI.\n");
        return failure(CMPI_RC_ERR_NOT_SUPPORTED, "InstallFromURI is not available yet");
    }
    if (strcasecmp(methodName, "ResetCimmon") == 0) {
        trace("Enter ResetCimmon.\n");
        reset_cimmon();
        return maintenance_done(result);
    }
    if (strcasecmp(methodName, "DeleteZELKDebugLogFile") == 0) {
        trace("calling Method: DeleteZELKDebugLogFile\n");
        DeleteZelkDebugLog();
        return maintenance_done(result);
    }
    return invalid_method(result);
}
