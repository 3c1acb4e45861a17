#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

#include "maintenance.h"
#include "test_files.h"

namespace {

bool has_message(const std::string &message) {
    for (const std::string &m : testfiles::trace_messages()) {
        if (m == message) {
            return true;
        }
    }
    return false;
}

TEST(ResetCimmon, NothingToRemove) {
    EXPECT_EQ(0, reset_cimmon());
    EXPECT_TRUE(has_message("Fail to delete files under filestore."));
    EXPECT_TRUE(has_message("Fail to delete ZELK_LOCK_FILE."));
}

TEST(ResetCimmon, RemovesLockFileAndFileStore) {
    testfiles::write("/tmp/sfcb/zelk.safelock", "");
    EXPECT_EQ(1, reset_cimmon()); // a missing file store does not change the result
    EXPECT_FALSE(testfiles::exists("/tmp/sfcb/zelk.safelock"));
    EXPECT_TRUE(has_message("Successfully to delete /tmp/sfcb/zelk.safelock"));

    ASSERT_EQ(0, mkdir("/var/tmp/filestore", 0755));
    ASSERT_EQ(0, mkdir("/var/tmp/filestore/sub", 0755));
    testfiles::write("/var/tmp/filestore/sub/p.bin", "payload");
    EXPECT_EQ(0, reset_cimmon());
    EXPECT_FALSE(testfiles::exists("/var/tmp/filestore"));
}

TEST(DeleteDebugLog, RecreatesTheLogWithOneLine) {
    testfiles::write("/tmp/zelkdebug.txt", "old line\nanother\n");
    EXPECT_EQ(1, DeleteZelkDebugLog());
    EXPECT_EQ(std::vector<std::string>{"Successfully to delete /tmp/zelkdebug.txt"},
              testfiles::trace_messages());
    // The first call re-created the log, so a second one succeeds too.
    EXPECT_EQ(1, DeleteZelkDebugLog());
}

TEST(DeleteDebugLog, FailsWhenTheLogCannotBeRemoved) {
    ASSERT_EQ(0, mkdir("/tmp/zelkdebug.txt", 0755)); // unlink of a directory fails
    EXPECT_EQ(0, DeleteZelkDebugLog());
}

} // namespace
