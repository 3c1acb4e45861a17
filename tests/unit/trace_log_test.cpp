#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <sys/stat.h>

#include "maintenance.h"
#include "pkg_table.h"
#include "run_init.h"
#include "status_recording.h"
#include "test_files.h"
#include "trace_log.h"
#include "working_area.h"

namespace {

TEST(TraceLog, PrefixIsBlankPadded) {
    struct tm at {};
    at.tm_hour = 9;
    at.tm_min = 5;
    at.tm_sec = 3;
    char prefix[32];
    format_trace_prefix(at, prefix, sizeof prefix);
    EXPECT_STREQ("[ 9: 5: 3] ", prefix);
    at.tm_hour = 23;
    at.tm_min = 59;
    at.tm_sec = 10;
    format_trace_prefix(at, prefix, sizeof prefix);
    EXPECT_STREQ("[23:59:10] ", prefix);
}

TEST(TraceLog, RecordsAppendAndContinuationsAreUntimed) {
    trace("methodName:");
    debug("InstallFromURI");
    debug("\n");
    tracef("Total Package number is %d\n", 3);
    std::vector<std::string> lines = testfiles::lines(testfiles::trace_log());
    ASSERT_EQ(2u, lines.size());
    const std::regex timed(R"(^\[[ \d]\d:[ \d]\d:[ \d]\d\] (.*)$)");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, timed));
    EXPECT_EQ("methodName:InstallFromURI", match[1].str());
    ASSERT_TRUE(std::regex_match(lines[1], match, timed));
    EXPECT_EQ("Total Package number is 3", match[1].str());
}

TEST(TraceLog, UnwritableLogNeverStopsAnOperation) {
    ASSERT_EQ(0, mkdir("/tmp/zelkdebug.txt", 0755));
    trace("dropped\n");
    debug("dropped");
    initPkgInstall("file:///p/a.xml|file:///p/b.xml");
    EXPECT_EQ(2, pkgnum);
    update_Pkg_Install_status(1, status_code::kInstalled, "Package installation successfully.");
    EXPECT_EQ(1, totalstatus.load());
    EXPECT_EQ(0, reset_cimmon());
    EXPECT_EQ(1, util_remove_file("/tmp/none"));
    EXPECT_EQ(0, DeleteZelkDebugLog());
}

} // namespace
