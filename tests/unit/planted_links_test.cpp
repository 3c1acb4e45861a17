// Links, files and directories that another local user puts at the provider's fixed paths in
// /tmp and /var/tmp before the provider (running as root) opens them: none is followed or
// written into, a status file that is not the provider's own is never read back to the job's
// clients, and the working area is neither unpacked into nor removed through them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "hostsim_broker.h"
#include "install_driver.h"
#include "maintenance.h"
#include "zelk_pkg_installer_broker.h"
#include "pkg_table.h"
#include "run_init.h"
#include "status_recording.h"
#include "test_files.h"
#include "trace_log.h"
#include "unzipfile.h"
#include "working_area.h"
#include "zip_writer.h"

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

// A link at the lock file, or in place of its directory /tmp/sfcb: the lock is neither made nor
// removed through it.
TEST_F(PlantedLinks, RunLockIsNeverMadeOrRemovedThroughALink) {
    QEL_VMWarePackageInstallationBroker = hostsim::broker();
    hostsim::CallScope scope;
    CMPIContext *context = hostsim::new_context();
    plant_link("/tmp/sfcb/zelk.safelock", "/tmp/created-through-link");
    initPkgInstall("file:///tmp/missing.xml");
    syncInstallAllPkgs(context);
    EXPECT_FALSE(testfiles::exists("/tmp/created-through-link"));

    ASSERT_EQ(0, unlink("/tmp/sfcb/zelk.safelock"));
    ASSERT_EQ(0, rmdir("/tmp/sfcb"));
    ASSERT_EQ(0, mkdir("/tmp/elsewhere", 0755));
    plant_link("/tmp/sfcb", "/tmp/elsewhere");
    syncInstallAllPkgs(context);
    CMRelease(context);
    EXPECT_FALSE(testfiles::exists("/tmp/elsewhere/zelk.safelock"));
    testfiles::write("/tmp/elsewhere/zelk.safelock", "");
    EXPECT_EQ(0, reset_cimmon());
    EXPECT_TRUE(testfiles::exists("/tmp/elsewhere/zelk.safelock"));

    const std::vector<std::string> trace = testfiles::trace_messages();
    EXPECT_EQ(2, std::count(trace.begin(), trace.end(), "Fail to create ZELK_LOCK_FILE."));
    EXPECT_EQ(1, std::count(trace.begin(), trace.end(), "Fail to delete ZELK_LOCK_FILE."));
}

// What another user prepares on the working area's path before the provider's first run, to
// have root unpack into or empty a directory of their choice: /tmp/outside stands for it.
class PlantedWorkingArea : public ::testing::Test {
  protected:
    static constexpr const char *kArea = "/var/tmp/QEL/Xorvo/Package/";
    static constexpr const char *kArchive = "/tmp/pkg.zip";

    void SetUp() override {
        std::filesystem::create_directories("/tmp/outside/Xorvo/Package");
        testfiles::write("/tmp/outside/Xorvo/Package/keep", "keep");
        testzip::write(kArchive, {{"image/payload.xml", "<x/>"}});
    }

    static void expect_outside_untouched() {
        EXPECT_EQ("keep", testfiles::read("/tmp/outside/Xorvo/Package/keep"));
        EXPECT_FALSE(testfiles::exists("/tmp/outside/Xorvo/Package/image"));
        EXPECT_FALSE(testfiles::exists("/tmp/outside/image"));
    }

    // Unpacking and removal both refuse `refused`, a directory on the path: nothing written,
    // nothing removed, and the trace says why.
    static void expect_refused(const std::string &refused, const char *why) {
        unlink("/tmp/zelkdebug.txt");
        EXPECT_EQ(minizip_result::kUnsafeEntry, Minizip(kArchive, kArea)) << refused;
        EXPECT_EQ(-1, util_remove_file(kArea)) << refused;
        EXPECT_EQ((std::vector<std::string>{
                      "In Function util_remove_file::" + refused + " " + why + "; nothing removed.",
                      "In Function util_remove_file::opendir error and the error code is [-1]."}),
                  testfiles::trace_messages());
    }
};

// The path ends in "/", yet a link at its last component is a link: unlinked, never followed.
TEST_F(PlantedWorkingArea, LinkAtTheAreaIsUnlinkedNotFollowed) {
    std::filesystem::create_directories("/var/tmp/QEL/Xorvo");
    ASSERT_EQ(0, symlink("/tmp/outside/Xorvo/Package", "/var/tmp/QEL/Xorvo/Package"));
    EXPECT_EQ(minizip_result::kUnsafeEntry, Minizip(kArchive, kArea));
    EXPECT_EQ(0, util_remove_file(kArea));
    EXPECT_FALSE(testfiles::exists("/var/tmp/QEL/Xorvo/Package"));
    expect_outside_untouched();
}

TEST_F(PlantedWorkingArea, LinkAmongItsDirectoriesIsRefused) {
    ASSERT_EQ(0, symlink("/tmp/outside", "/var/tmp/QEL"));
    expect_refused("/var/tmp/QEL", "is a symbolic link");
    expect_outside_untouched();

    ASSERT_EQ(0, unlink("/var/tmp/QEL"));
    ASSERT_EQ(0, mkdir("/var/tmp/QEL", 0755));
    ASSERT_EQ(0, symlink("/tmp/outside/Xorvo", "/var/tmp/QEL/Xorvo"));
    expect_refused("/var/tmp/QEL/Xorvo", "is a symbolic link");
    expect_outside_untouched();
}

// In /var/tmp anyone may create QEL first: a QEL of another user, or one others may write,
// could be swapped for a link at any time. The same holds for any directory in one that others
// may write and that has no sticky bit.
TEST_F(PlantedWorkingArea, DirectoryAnotherUserControlsIsRefused) {
    std::filesystem::create_directories("/var/tmp/QEL/Xorvo/Package");
    testfiles::write("/var/tmp/QEL/Xorvo/Package/keep", "keep");
    ASSERT_EQ(0, chown("/var/tmp/QEL", 65534, 65534)); // nobody
    expect_refused("/var/tmp/QEL", "may be swapped or written by another user");

    ASSERT_EQ(0, chown("/var/tmp/QEL", 0, 0));
    ASSERT_EQ(0, chmod("/var/tmp/QEL", 0777));
    expect_refused("/var/tmp/QEL", "may be swapped or written by another user");
    EXPECT_EQ("keep", testfiles::read("/var/tmp/QEL/Xorvo/Package/keep"));

    std::filesystem::create_directories("/tmp/root/shared");
    ASSERT_EQ(0, chmod("/tmp/root/shared", 0777)); // no sticky bit
    EXPECT_EQ(minizip_result::kUnsafeEntry, Minizip(kArchive, "/tmp/root/shared/area/"));
    EXPECT_FALSE(testfiles::exists("/tmp/root/shared/area"));
}

} // namespace
