// What the broker sees first: the two factories, the static method and instance MIs with their
// function tables, the unload answers and the refused instance operations.
#include "export.h"
#include "zelk_pkg_installer_broker.h"

const CMPIBroker *QEL_VMWarePackageInstallationBroker = nullptr;

extern "C" {
__attribute__((visibility("default"))) const char *_ZELKClassName =
    "XORVO_VMpkgInstallationService";
__attribute__((visibility("default"))) const char *_ZELKSuperClassName =
    "CIM_SoftwareInstallationService";
__attribute__((visibility("default"))) const char *_ZELKNameSpace = "zelk/cimv2";
}

namespace {
constexpr CMPIStatus status_of(CMPIrc rc) {
    return CMPIStatus{rc, nullptr};
}
} // namespace

ZELK_EXPORT void QEL_VMWarePackageInstallationProviderInit() {
    trace("ZELK:  Initializing the QEL vmware package installation Provider.\n");
}

ZELK_EXPORT CMPIStatus QEL_VMWarePackageInstallationProviderCleanup(CMPIInstanceMI *,
                                                                    const CMPIContext *,
                                                                    CMPIBoolean) {
    return status_of(CMPI_RC_NEVER_UNLOAD);
}

ZELK_EXPORT CMPIStatus QEL_VMWarePackageInstallationProviderMethodCleanup(CMPIMethodMI *,
                                                                          const CMPIContext *,
                                                                          CMPIBoolean) {
    trace("calling QEL_VMWarePackageInstallationProviderMethodCleanup.\n");
    // The library may go only once the current run's last package has a final status.
    return status_of(totalstatus.load() != 0 ? CMPI_RC_OK : CMPI_RC_NEVER_UNLOAD);
}

ZELK_EXPORT CMPIStatus QEL_VMWarePackageInstallationProviderCreateInstance(CMPIInstanceMI *,
                                                                           const CMPIContext *,
                                                                           const CMPIResult *,
                                                                           const CMPIObjectPath *,
                                                                           const CMPIInstance *) {
    return status_of(CMPI_RC_ERR_NOT_SUPPORTED);
}

ZELK_EXPORT CMPIStatus QEL_VMWarePackageInstallationProviderModifyInstance(
    CMPIInstanceMI *, const CMPIContext *, const CMPIResult *, const CMPIObjectPath *,
    const CMPIInstance *, const char **) {
    return status_of(CMPI_RC_ERR_NOT_SUPPORTED);
}

ZELK_EXPORT CMPIStatus QEL_VMWarePackageInstallationProviderDeleteInstance(CMPIInstanceMI *,
                                                                           const CMPIContext *,
                                                                           const CMPIResult *,
                                                                           const CMPIObjectPath *) {
    return status_of(CMPI_RC_ERR_NOT_SUPPORTED);
}

ZELK_EXPORT CMPIStatus QEL_VMWarePackageInstallationProviderExecQuery(CMPIInstanceMI *,
                                                                      const CMPIContext *,
                                                                      const CMPIResult *,
                                                                      const CMPIObjectPath *,
                                                                      const char *, const char *) {
    return status_of(CMPI_RC_ERR_NOT_SUPPORTED);
}

// Declared here, defined with the service instance and the method dispatch.
ZELK_EXPORT CMPIStatus QEL_VMWarePackageInstallationProviderEnumInstanceNames(
    CMPIInstanceMI *, const CMPIContext *, const CMPIResult *, const CMPIObjectPath *);
ZELK_EXPORT CMPIStatus QEL_VMWarePackageInstallationProviderEnumInstances(CMPIInstanceMI *,
                                                                          const CMPIContext *,
                                                                          const CMPIResult *,
                                                                          const CMPIObjectPath *,
                                                                          const char **);
ZELK_EXPORT CMPIStatus QEL_VMWarePackageInstallationProviderGetInstance(CMPIInstanceMI *,
                                                                        const CMPIContext *,
                                                                        const CMPIResult *,
                                                                        const CMPIObjectPath *,
                                                                        const char **);
ZELK_EXPORT CMPIStatus QEL_VMWarePackageInstallationProviderInvokeMethod(
    CMPIMethodMI *, const CMPIContext *, const CMPIResult *, const CMPIObjectPath *, const char *,
    const CMPIArgs *, CMPIArgs *);

namespace {

CMPIMethodMIFT methMIFT__ = {
    CMPICurrentVersion,
    CMPICurrentVersion,
    "methodQEL_VMWarePackageInstallationProvider",
    QEL_VMWarePackageInstallationProviderMethodCleanup,
    QEL_VMWarePackageInstallationProviderInvokeMethod,
};

CMPIInstanceMIFT instMIFT__ = {
    CMPICurrentVersion,
    CMPICurrentVersion,
    "instanceQEL_VMWarePackageInstallationProvider",
    QEL_VMWarePackageInstallationProviderCleanup,
    QEL_VMWarePackageInstallationProviderEnumInstanceNames,
    QEL_VMWarePackageInstallationProviderEnumInstances,
    QEL_VMWarePackageInstallationProviderGetInstance,
    QEL_VMWarePackageInstallationProviderCreateInstance,
    QEL_VMWarePackageInstallationProviderModifyInstance,
    QEL_VMWarePackageInstallationProviderDeleteInstance,
    QEL_VMWarePackageInstallationProviderExecQuery,
};

CMPIMethodMI methMI = {nullptr, &methMIFT__};
CMPIInstanceMI instMI = {nullptr, &instMIFT__};

} // namespace

ZELK_EXPORT CMPIMethodMI *
QEL_VMWarePackageInstallationProvider_Create_MethodMI(const CMPIBroker *broker, const CMPIContext *,
                                                      CMPIStatus *) {
    QEL_VMWarePackageInstallationBroker = broker;
    QEL_VMWarePackageInstallationProviderInit();
    return &methMI;
}

ZELK_EXPORT CMPIInstanceMI *
QEL_VMWarePackageInstallationProvider_Create_InstanceMI(const CMPIBroker *broker,
                                                        const CMPIContext *, CMPIStatus *) {
    QEL_VMWarePackageInstallationBroker = broker;
    QEL_VMWarePackageInstallationProviderInit();
    return &instMI;
}
