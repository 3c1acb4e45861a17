// Links and files that another local user puts at the provider's fixed paths in /tmp before the
// provider (running as root) opens them: none is followed or written into, and a status file
// that is not the provider's own is never read back to the job's clients.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "hostsim_broker.h"
#include "install_driver.h"
#include "zelk_pkg_installer_broker.h"
#include "pkg_table.h"
#include "run_init.h"
#include "status_recording.h"
#include "test_files.h"
#include "trace_log.h"

extern "C" int getZELKStatus(const char *instanceId, uint32_t *jobState, char *statusText,
                             int statusTextSize);

namespace {

constexpr const char *kVictim = "/tmp/victim";
constexpr const char *kVictimText = "root's own text\n";

class PlantedLinks : public ::testing::Test {
  protected:
    void SetUp() override { testfiles::write(kVictim, kVictimText); }

    static void plant_link(const std::string &at, const char *target = kVictim) {
        ASSERT_EQ(0, symlink(target, at.c_str())) << at;
    }
};

TEST_F(PlantedLinks, TraceLogIsNotWrittenThroughALinkOrAHardLink) {
    plant_link("/tmp/zelkdebug.txt");
    trace("a record\n");
    EXPECT_EQ(kVictimText, testfiles::read(kVictim));

    ASSERT_EQ(0, unlink("/tmp/zelkdebug.txt"));
    ASSERT_EQ(0, link(kVictim, "/tmp/zelkdebug.txt"));
    trace("a record\n");
    EXPECT_EQ(kVictimText, testfiles::read(kVictim));
}

// The status file and any name its new text could be written under first.
TEST_F(PlantedLinks, StatusFileReplacesLinksAndNeverWritesThroughThem) {
    plant_link("/tmp/zelkstatZELK-1.txt");
    plant_link("/tmp/zelkstatZELK-1.txt.new");
    initPkgInstall("file:///p/a.xml");
    is_async_install = 1;
    copy_text(instanceID, "ZELK-1");
    update_Pkg_Install_status(0, status_code::kInstalled, "Package installation successfully.");

    EXPECT_EQ(kVictimText, testfiles::read(kVictim));
    struct stat info {};
    ASSERT_EQ(0, lstat("/tmp/zelkstatZELK-1.txt", &info));
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ("1|a: 50: Package installation successfully.|",
              testfiles::read("/tmp/zelkstatZELK-1.txt"));
}

TEST_F(PlantedLinks, JobStatusReadsOnlyItsOwnFileAndSkipsALinkedSideRecord) {
    uint32_t state = 99;
    char text[64] = "untouched";
    plant_link("/tmp/zelkstatZELK-2.txt");
    EXPECT_EQ(0, getZELKStatus("ZELK-2", &state, text, sizeof text));
    EXPECT_EQ(99u, state);
    EXPECT_STREQ("untouched", text);
    EXPECT_FALSE(testfiles::exists("/tmp/getZELKStatus.txt"));

    testfiles::write("/tmp/zelkstatZELK-3.txt", "1|a: 50: Package installation successfully.|");
    plant_link("/tmp/getZELKStatus.txt");
    EXPECT_EQ(0, getZELKStatus("ZELK-3", &state, text, sizeof text));
    EXPECT_EQ(7u, state);
    EXPECT_EQ(kVictimText, testfiles::read(kVictim));
}

TEST_F(PlantedLinks, RunLockIsNotCreatedThroughADanglingLink) {
    QEL_VMWarePackageInstallationBroker = hostsim::broker();
    hostsim::CallScope scope;
    CMPIContext *context = hostsim::new_context();
    plant_link("/tmp/sfcb/zelk.safelock", "/tmp/created-through-link");
    initPkgInstall("file:///tmp/missing.xml");
    syncInstallAllPkgs(context);
    CMRelease(context);
    EXPECT_FALSE(testfiles::exists("/tmp/created-through-link"));
    const std::vector<std::string> trace = testfiles::trace_messages();
    EXPECT_EQ(1, std::count(trace.begin(), trace.end(), "Fail to create ZELK_LOCK_FILE."));
}

} // namespace
