// Adapter families whose installers are not part of this provider build yet. Their packages are
// reported as unsupported rather than pretending to install.
#include "installers.h"
#include "zelk_pkg_installer_broker.h"

namespace {

int32_t report_unsupported(int32_t pkgIndex, const char *installer) {
    tracef("%s: this adapter family is not supported by this provider build.\n", installer);
    update_Pkg_Install_status(pkgIndex, status_code::kNotSupported,
                              "This package is not supported by current ZELK provider.");
    return 1;
}

} // namespace

int32_t installBrocadePkg(int32_t pkgIndex, const CMPIContext *) {
    return report_unsupported(pkgIndex, "installBrocadePkg");
}
int32_t installElxCNAPkg(int32_t pkgIndex, const CMPIContext *) {
    return report_unsupported(pkgIndex, "installElxCNAPkg");
}
int32_t installElxFCPkg(int32_t pkgIndex, const CMPIContext *) {
    return report_unsupported(pkgIndex, "installElxFCPkg");
}
int32_t installQlgPkg(int32_t pkgIndex, const CMPIContext *) {
    return report_unsupported(pkgIndex, "installQlgPkg");
}
int32_t installBroadcomPkg(int32_t pkgIndex, const CMPIContext *) {
    return report_unsupported(pkgIndex, "installBroadcomPkg");
}
int32_t installLSIPkg(int32_t pkgIndex, const CMPIContext *) {
    return report_unsupported(pkgIndex, "installLSIPkg");
}
