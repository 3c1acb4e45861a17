#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "test_files.h"

extern "C" int getZELKStatus(const char *instanceId, uint32_t *jobState, char *statusText,
                             int statusTextSize);
extern "C" int ZELKStatusCleanup(const char *instanceId);

namespace {

constexpr uint32_t kUntouchedState = 99;

struct JobRead {
    uint32_t state = kUntouchedState;
    char text[256] = "untouched";
};

JobRead read_job(const char *instanceId, int textSize = 256) {
    JobRead job;
    EXPECT_EQ(0, getZELKStatus(instanceId, &job.state, job.text, textSize));
    return job;
}

TEST(JobStatus, StateFromTheWholeStatusLine) {
    struct Case {
        const char *line;
        uint32_t state;
    } cases[] = {
        {"0|p: 0: Package Initialization finished successfully|", 7},
        {"0|p: 62: Initialization and Package installation is running.|", 4},
        {"1|p: 57: Package installation error happened.|", 10},
        // Any "successfully" wins, even beside a running or failed package.
        {"0|a: 62: Updating and Package installation is running.|b: 50: Package installation "
         "successfully.|",
         7},
        {"1|p: 50: Successfully done|", 10}, // case-sensitive
    };
    for (const Case &c : cases) {
        testfiles::write("/tmp/zelkstatZELK-12.txt", c.line);
        JobRead job = read_job("ZELK-12");
        EXPECT_EQ(c.state, job.state) << c.line;
        EXPECT_STREQ(c.line, job.text);
        EXPECT_EQ(std::string("begin to record ZELK-12-") + c.line + "\n",
                  testfiles::read("/tmp/getZELKStatus.txt"));
    }
}

// The job reads the status file's first line: a message that ends with a line feed ends the
// job's text, and the state comes from that line alone.
TEST(JobStatus, OnlyTheFirstLineOfTheFileIsRead) {
    testfiles::write("/tmp/zelkstatZELK-3.txt",
                     "0|a: 57: No driver file name that need to be update.\n|b: 62: running.|");
    JobRead job = read_job("ZELK-3");
    EXPECT_STREQ("0|a: 57: No driver file name that need to be update.\n", job.text);
    EXPECT_EQ(10u, job.state);
}

TEST(JobStatus, LongLineIsCutToTheCallersBuffer) {
    testfiles::write("/tmp/zelkstatZELK-1.txt", "0|p: 62: " + std::string(300, 'r') + " running|");
    JobRead job = read_job("ZELK-1", 16);
    EXPECT_STREQ("0|p: 62: rrrrrr", job.text);
    EXPECT_EQ(10u, job.state); // "running" lies beyond the cut
}

TEST(JobStatus, UnreadableStatusLeavesOutputsUntouched) {
    testfiles::write("/tmp/zelkstatZELK-2.txt", "");
    for (const char *id : {"ZELK12", "ZELK-404", "ZELK-2", "", "ZELK-abc"}) {
        JobRead job = read_job(id);
        EXPECT_EQ(kUntouchedState, job.state) << id;
        EXPECT_STREQ("untouched", job.text) << id;
    }
    uint32_t state = kUntouchedState;
    EXPECT_EQ(0, getZELKStatus(nullptr, &state, nullptr, 0));
    EXPECT_EQ(kUntouchedState, state);
    EXPECT_FALSE(testfiles::exists("/tmp/getZELKStatus.txt"));
}

TEST(JobStatus, SideRecordThatCannotBeWrittenStillGivesState) {
    ASSERT_EQ(0, mkdir("/tmp/getZELKStatus.txt", 0755));
    testfiles::write("/tmp/zelkstatZELK-3.txt", "1|p: 50: Package installation successfully.|");
    EXPECT_EQ(7u, read_job("ZELK-3").state);
}

TEST(JobStatus, CleanupRemovesTheFileOnce) {
    testfiles::write("/tmp/zelkstatZELK-12.txt", "1|");
    EXPECT_EQ(0, ZELKStatusCleanup("ZELK12"));
    EXPECT_TRUE(testfiles::exists("/tmp/zelkstatZELK-12.txt"));
    EXPECT_EQ(1, ZELKStatusCleanup("ZELK-12"));
    EXPECT_FALSE(testfiles::exists("/tmp/zelkstatZELK-12.txt"));
    EXPECT_EQ(0, ZELKStatusCleanup("ZELK-12"));
    EXPECT_EQ(0, ZELKStatusCleanup(nullptr));
}

} // namespace
