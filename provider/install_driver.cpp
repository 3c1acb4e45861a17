#include "install_driver.h"

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "common_update.h"
#include "install_order.h"
#include "package_retrieval.h"
#include "regular_file.h"
#include "zelk_pkg_installer_broker.h"

namespace {

bool is_hypervisor_bundle(const PkgInstance &pkg) {
    return std::strcmp(pkg.category, "Embedded Hypervisor") == 0;
}

void create_run_lock() {
    int lock =
        open_regular_file(zelk::kRunLockPath, O_WRONLY | O_CREAT | O_APPEND, kOwnFileBelowTmpRules);
    if (lock < 0) {
        trace("Fail to create ZELK_LOCK_FILE.\n");
        return;
    }
    close(lock);
}

void read_descriptors(const CMPIContext *ctx) {
    for (int32_t i = 0; i < pkgnum; ++i) {
        if (GetFileFromLocalOrTFTP(pkgInstance[i].XMLPath, i, ctx) != 0) {
            getPkgAssociation(i);
            deleteTransferedFile(pkgInstance[i].LocalFileURI, ctx);
        }
    }
}

} // namespace

int32_t syncInstallAllPkgs(const CMPIContext *ctx) {
    trace("Enter syncInstallAllPkgs.\n");
    create_run_lock();
    read_descriptors(ctx);
    OrderPkgInstallation();

    int32_t result = 1;
    for (int32_t n = 0; n < pkgnum; ++n) {
        const int32_t i = PkgSeq[n];
        if (i < 0 || i >= pkgnum) {
            tracef("Installation sequence entry %d (%d) is out of range; skipped.\n", n, i);
            continue;
        }
        PkgInstance &pkg = pkgInstance[i];
        if (pkg.OrderFlag == order_flag::kFailed) {
            continue;
        }
        if (pkg.OrderFlag == order_flag::kUnsupported) {
            update_Pkg_Install_status(i, status_code::kNotSupported,
                                      "This package is not supported by current ZELK provider.");
            continue;
        }
        const bool bundle = is_hypervisor_bundle(pkg);
        if (!bundle && GetFileFromLocalOrTFTP(pkg.TFTPPayloadPkgURIs, i, ctx) == 0) {
            continue;
        }
        result = DeployUpdate(i, ctx);
        if (!bundle) {
            trace("prepare to delete the bin file.");
            debug(pkg.LocalFileURI);
            debug("\n");
            deleteTransferedFile(pkg.LocalFileURI, ctx);
        }
    }
    trace("Complete InstallAllPkgs.\n");
    if (invoke_client == 0 && is_VXC_updated == 1) {
        reset_cimmon();
    }
    if (util_remove_file(zelk::kWorkingAreaPath) != 0) {
        trace("Fail to delete files under ZELK_UNZIP_PATH. \n");
    }
    return result;
}
