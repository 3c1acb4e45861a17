#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "test_files.h"
#include "working_area.h"

namespace {

void make_dir(const std::string &path) {
    ASSERT_EQ(0, mkdir(path.c_str(), 0755)) << path;
}

TEST(UtilFullName, JoinsWithExactlyOneSlash) {
    struct Case {
        const char *dir, *name, *joined;
    } cases[] = {
        {"/a/", "b", "/a/b"},
        {"/a", "//b", "/a/b"},
        {"/a", "b", "/a/b"},
        {"/", "b", "/b"},
    };
    for (const Case &c : cases) {
        char out[256];
        EXPECT_EQ(static_cast<int>(strlen(c.joined)),
                  util_full_name(c.dir, c.name, out, sizeof out));
        EXPECT_STREQ(c.joined, out);
    }
    char small[4];
    EXPECT_EQ(4, util_full_name("/a", "b", small, sizeof small)); // snprintf's would-be length
    EXPECT_STREQ("/a/", small);
}

TEST(UtilRemoveFile, MissingPathReturnsOne) {
    EXPECT_EQ(1, util_remove_file("/tmp/nothing-here"));
    EXPECT_EQ(std::vector<std::string>{"In Function util_remove_file::The directory doesn't exist "
                                       "and the error code [1]."},
              testfiles::trace_messages());
}

TEST(UtilRemoveFile, RemovesWholeTreeIncludingDotNames) {
    const std::string root = "/var/tmp/QEL";
    make_dir(root);
    make_dir(root + "/Xorvo");
    make_dir(root + "/Xorvo/Package");
    make_dir(root + "/Xorvo/Package/image");
    make_dir(root + "/Xorvo/Package/image/.hidden");
    testfiles::write(root + "/Xorvo/Package/image/payload.xml", "<x/>");
    testfiles::write(root + "/Xorvo/Package/image/.hidden/...", "dots");
    testfiles::write(root + "/Xorvo/Package/.config", "");
    testfiles::write(root + "/Xorvo/Package/...", "");
    EXPECT_EQ(0, util_remove_file("/var/tmp/QEL/Xorvo/Package/"));
    EXPECT_FALSE(testfiles::exists(root + "/Xorvo/Package"));
    EXPECT_TRUE(testfiles::exists(root + "/Xorvo"));

    testfiles::write("/tmp/file", "x");
    EXPECT_EQ(0, util_remove_file("/tmp/file"));
    EXPECT_FALSE(testfiles::exists("/tmp/file"));
    EXPECT_EQ("", testfiles::trace_log());
}

TEST(UtilRemoveFile, SymlinkToDirectoryIsUnlinkedAndTargetSurvives) {
    make_dir("/tmp/target");
    testfiles::write("/tmp/target/keep", "keep");
    make_dir("/tmp/tree");
    ASSERT_EQ(0, symlink("/tmp/target", "/tmp/tree/link"));
    EXPECT_EQ(0, util_remove_file("/tmp/tree"));
    EXPECT_FALSE(testfiles::exists("/tmp/tree"));
    EXPECT_EQ("keep", testfiles::read("/tmp/target/keep"));
}

TEST(UtilRemoveFile, EntryThatCannotBeUnlinkedStopsTheWalk) {
    make_dir("/tmp/tree");
    testfiles::write("/tmp/tree/busy", "");
    testfiles::write("/tmp/source", "");
    // A mount point cannot be unlinked, even by root (EBUSY).
    ASSERT_EQ(0, mount("/tmp/source", "/tmp/tree/busy", nullptr, MS_BIND, nullptr));
    EXPECT_EQ(-2, util_remove_file("/tmp/tree"));
    EXPECT_TRUE(testfiles::exists("/tmp/tree/busy"));
    EXPECT_NE(std::string::npos,
              testfiles::trace_log().find(
                  "In Function util_remove_file::unlink failed and the error code is [-1].\n"));
    umount("/tmp/tree/busy");
}

TEST(UtilRemoveFile, OverlongEntryPathLeavesDirectoryInPlace) {
    std::string dir = "/tmp/" + std::string(200, 'd');
    make_dir(dir);
    std::string name = std::string(100, 'f'); // joined path exceeds 255 characters
    testfiles::write(dir + "/" + name, "");
    EXPECT_EQ(-1, util_remove_file(dir.c_str()));
    EXPECT_TRUE(testfiles::exists(dir + "/" + name));
    EXPECT_NE(std::string::npos,
              testfiles::trace_log().find("rmdir error and the error code is [-1].\n"));
}

} // namespace
