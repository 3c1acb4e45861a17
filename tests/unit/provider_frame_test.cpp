#include <gtest/gtest.h>

#include "pkg_table.h"
#include "run_init.h"
#include "status_recording.h"

extern "C" CMPIStatus QEL_VMWarePackageInstallationProviderMethodCleanup(CMPIMethodMI *,
                                                                         const CMPIContext *,
                                                                         CMPIBoolean);

namespace {

CMPIrc method_cleanup() {
    return QEL_VMWarePackageInstallationProviderMethodCleanup(nullptr, nullptr, 0).rc;
}

TEST(MethodCleanup, AgreesToUnloadOnlyAfterTheLastPackageIsFinal) {
    EXPECT_EQ(CMPI_RC_NEVER_UNLOAD, method_cleanup());
    initPkgInstall("file:///p/a.xml|file:///p/b.xml");
    update_Pkg_Install_status(1, status_code::kRunning,
                              "VXC rebooting and Package installation is running.");
    EXPECT_EQ(CMPI_RC_NEVER_UNLOAD, method_cleanup());
    update_Pkg_Install_status(1, status_code::kObsolete,
                              "The Updates are obsolete or already installed.");
    EXPECT_EQ(CMPI_RC_OK, method_cleanup());
    initPkgInstall("file:///p/c.xml"); // a new run starts incomplete
    EXPECT_EQ(CMPI_RC_NEVER_UNLOAD, method_cleanup());
}

} // namespace
