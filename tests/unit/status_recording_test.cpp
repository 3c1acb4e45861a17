#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pkg_table.h"
#include "run_init.h"
#include "status_recording.h"
#include "test_files.h"

namespace {

void start_async_job(const char *uriList, const char *jobId) {
    initPkgInstall(uriList);
    is_async_install = 1;
    copy_text(instanceID, jobId);
}

std::string status_file(const char *jobId) {
    return testfiles::read(std::string("/tmp/zelkstat") + jobId + ".txt");
}

TEST(TrimPackageId, CutsPathAndExtension) {
    struct Case {
        const char *uri;
        const char *id;
    } cases[] = {
        {"tftp://10.0.0.1/pkgs/pkg_1.20.xml", "pkg_1.20"},
        {"file:///a/b/a.b.xml", "a.b"},
        {"file:///pkgs/", ""},
        {"/p.xml", "/p"},   // the first character is never examined
        {"pkg.xml", "pkg"}, // no "/": only the extension goes
        {"x", "x"},         // too short to touch
        {"", ""},
        {"file:///dir.d/name", "name"},
    };
    for (const Case &c : cases) {
        char text[zelk::kTextSize];
        copy_text(text, c.uri);
        trimPackageID(text);
        EXPECT_STREQ(c.id, text) << c.uri;
    }
}

TEST(StatusRecording, CompletionFlagOnlyForFinalCodeOfLastRecord) {
    start_async_job("file:///p/a.xml|file:///p/b.xml", "ZELK-3");

    update_Pkg_Install_status(1, status_code::kRunning,
                              "Updating and Package installation is running.");
    EXPECT_EQ(0, totalstatus.load());
    EXPECT_EQ(0u, status_file("ZELK-3").rfind("0|", 0));

    update_Pkg_Install_status(1, status_code::kInstalled, "Package installation successfully.");
    EXPECT_EQ(1, totalstatus.load());
    EXPECT_EQ("1|a: 0: Package Initialization finished successfully|"
              "b: 50: Package installation successfully.|",
              status_file("ZELK-3"));

    // A final code on a record that is not the last never completes the run.
    update_Pkg_Install_status(0, status_code::kInstallError,
                              "Package installation error happened.");
    EXPECT_EQ(0, totalstatus.load());
    EXPECT_EQ(0u, status_file("ZELK-3").rfind("0|a: 57: ", 0));
}

TEST(StatusRecording, RecordsNotYetReportedLeaveEmptyFields) {
    pkgnum = 2;
    is_async_install = 1;
    copy_text(instanceID, "ZELK-4");
    copy_text(pkgInstance[0].XMLPath, "file:///p/a.xml");
    update_Pkg_Install_status(0, status_code::kDownloaded,
                              "Package download completed with no error.");
    EXPECT_EQ("0|a: 10: Package download completed with no error.||", status_file("ZELK-4"));
}

TEST(StatusRecording, DescriptorUriEndingInSlashGivesEmptyId) {
    start_async_job("file:///pkgs/", "ZELK-5");
    EXPECT_STREQ(": 0: Package Initialization finished successfully", pkgInstance[0].StatusLine);
}

TEST(StatusRecording, SynchronousModeWritesNoFileButKeepsState) {
    initPkgInstall("file:///p/a.xml");
    copy_text(instanceID, "ZELK-6");
    is_async_install = 0;
    update_Pkg_Install_status(0, status_code::kInstalled, "Package installation successfully.");
    EXPECT_FALSE(testfiles::exists("/tmp/zelkstatZELK-6.txt"));
    EXPECT_STREQ("a: 50: Package installation successfully.", pkgInstance[0].StatusLine);
    EXPECT_EQ(1, totalstatus.load());
}

TEST(StatusRecording, LongTextsAreCutInsideTheirFields) {
    start_async_job("file:///p/a.xml", "ZELK-7");
    std::string longMessage(500, 'm');
    pkgInstance[1].OrderFlag = 12345; // the next record must stay untouched
    update_Pkg_Install_status(0, status_code::kBrokerError, longMessage.c_str());
    EXPECT_EQ(zelk::kTextSize - 1, static_cast<int>(std::strlen(pkgInstance[0].StatusLine)));
    EXPECT_EQ(12345, pkgInstance[1].OrderFlag);

    // Twenty full status lines exceed the status text: it is cut at 1023 characters.
    std::string list;
    for (int i = 0; i < zelk::kMaxPackages; ++i) {
        list += (i ? "|" : "") + std::string("file:///p/") + std::string(150, 'a' + i) + ".xml";
    }
    start_async_job(list.c_str(), "ZELK-8");
    for (int i = 0; i < zelk::kMaxPackages; ++i) {
        update_Pkg_Install_status(i, status_code::kBrokerError, longMessage.c_str());
    }
    EXPECT_EQ(zelk::kStatusTextSize - 1, static_cast<int>(status_file("ZELK-8").size()));
}

TEST(StatusRecording, IndexOutsideTheTableIsDropped) {
    start_async_job("file:///p/a.xml", "ZELK-9");
    update_Pkg_Install_status(20, status_code::kInstalled, "x");
    update_Pkg_Install_status(-1, status_code::kInstalled, "x");
    EXPECT_STREQ("a: 0: Package Initialization finished successfully", pkgInstance[0].StatusLine);
}

TEST(StatusRecording, UnwritableStatusFileIsTracedAndStateStillChanges) {
    start_async_job("file:///p/a.xml", "ZELK-10");
    ASSERT_EQ(0, mkdir("/tmp/zelkstatZELK-10.txt", 0755));
    update_Pkg_Install_status(0, status_code::kInstalled, "Package installation successfully.");
    EXPECT_EQ(1, totalstatus.load());
    EXPECT_NE(std::string::npos, testfiles::trace_log().find("update zelk status fail."));
}

} // namespace
