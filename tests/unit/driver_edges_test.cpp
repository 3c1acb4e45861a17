// The installation driver's clean-up around a run: the run lock, the reset that an outside
// management-controller update asks for, and a lock that cannot be created.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

#include "hostsim_broker.h"
#include "install_driver.h"
#include "test_files.h"
#include "working_area.h"
#include "zelk_pkg_installer_broker.h"

namespace {

constexpr const char *kLock = "/tmp/sfcb/zelk.safelock";
constexpr const char *kFileStore = "/var/tmp/filestore";
const std::string kUnsupported = "a: 80: This package is not supported by current ZELK provider.";

class DriverEdges : public ::testing::Test {
  protected:
    void SetUp() override {
        QEL_VMWarePackageInstallationBroker = hostsim::broker();
        // A package this provider does not support: the run installs nothing.
        testfiles::write("/tmp/a.xml", "<INSTANCE>\n<PROPERTY NAME=\"type\" TYPE=\"uint16\">\n"
                                       "<VALUE>01</VALUE>\n</PROPERTY>\n</INSTANCE>\n");
        mkdir(kFileStore, 0755);
        testfiles::write(std::string(kFileStore) + "/left.bin", "x");
    }
    void TearDown() override {
        is_VXC_updated = 0;
        invoke_client = 0;
        CMRelease(context);
    }
    int32_t run() {
        initPkgInstall("file:///tmp/a.xml");
        return syncInstallAllPkgs(context);
    }

    hostsim::CallScope scope;
    CMPIContext *context = hostsim::new_context();
};

TEST_F(DriverEdges, UpdatedControllerResetsTheHostUnlessAClientDrivesTheRun) {
    struct Case {
        int32_t vxcUpdated, client;
        bool reset;
    } cases[] = {{0, 0, false}, {1, 1, false}, {0, 1, false}, {1, 0, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE("is_VXC_updated " + std::to_string(c.vxcUpdated) + ", invoke_client " +
                     std::to_string(c.client));
        SetUp();
        is_VXC_updated = c.vxcUpdated;
        invoke_client = c.client;

        EXPECT_EQ(1, run());
        EXPECT_EQ(kUnsupported, pkgInstance[0].StatusLine);
        EXPECT_EQ(!c.reset, testfiles::exists(kLock));
        EXPECT_EQ(!c.reset, testfiles::exists(kFileStore));
        // Reset leaves the flags as they were.
        EXPECT_EQ(c.vxcUpdated, is_VXC_updated);
        EXPECT_EQ(c.client, invoke_client);
    }
}

TEST_F(DriverEdges, RunWithoutALockGoesOn) {
    ASSERT_EQ(0, util_remove_file("/tmp/sfcb"));
    EXPECT_EQ(1, run());
    EXPECT_EQ(kUnsupported, pkgInstance[0].StatusLine);
    EXPECT_FALSE(testfiles::exists(kLock));
    EXPECT_NE(std::string::npos, testfiles::trace_log().find("Complete InstallAllPkgs.\n"));
}

} // namespace
