#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
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
    testfiles::write("/tmp/file", "");
    EXPECT_EQ(1, util_remove_file("/tmp/file/")); // no directory, as lstat finds
    EXPECT_TRUE(testfiles::exists("/tmp/file"));
    const std::string missing =
        "In Function util_remove_file::The directory doesn't exist and the error code [1].";
    EXPECT_EQ((std::vector<std::string>{missing, missing}), testfiles::trace_messages());
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

// Builds `levels` nested directories `name` below `root`, with a file at the bottom.
void make_chain(const std::string &root, int levels, const char *name) {
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_LE(0, fd) << root;
    for (int i = 0; i < levels; ++i) {
        ASSERT_EQ(0, mkdirat(fd, name, 0755)) << i;
        int next = openat(fd, name, O_RDONLY | O_DIRECTORY);
        close(fd);
        ASSERT_LE(0, next) << i;
        fd = next;
    }
    close(openat(fd, "f", O_WRONLY | O_CREAT, 0644));
    close(fd);
}

// Paths past 255 characters are never cut: the walk goes relative to each open directory, so
// the tree from a hostile archive ("aa/" 130 times, then "f") is removed. A tree deeper than
// the limit is refused with -1 and left in place.
TEST(UtilRemoveFile, DeepTreesAreRemovedUpToTheLimit) {
    std::filesystem::create_directories("/var/tmp/QEL/Xorvo/Package");
    make_chain("/var/tmp/QEL/Xorvo/Package", 130, "aa");
    EXPECT_EQ(0, util_remove_file("/var/tmp/QEL/Xorvo/Package/"));
    EXPECT_FALSE(testfiles::exists("/var/tmp/QEL/Xorvo/Package"));

    std::string dir = "/tmp/" + std::string(200, 'd');
    make_dir(dir);
    testfiles::write(dir + "/" + std::string(100, 'f'), "");
    EXPECT_EQ(0, util_remove_file(dir.c_str()));
    EXPECT_FALSE(testfiles::exists(dir));

    make_dir("/tmp/deepest");
    make_chain("/tmp/deepest", kMaxRemovalDepth, "d");
    EXPECT_EQ(0, util_remove_file("/tmp/deepest"));
    EXPECT_FALSE(testfiles::exists("/tmp/deepest"));
    EXPECT_EQ("", testfiles::trace_log());

    make_dir("/tmp/deeper");
    make_chain("/tmp/deeper", kMaxRemovalDepth + 1, "d");
    EXPECT_EQ(-1, util_remove_file("/tmp/deeper"));
    EXPECT_TRUE(testfiles::exists("/tmp/deeper/d"));
    EXPECT_EQ(std::vector<std::string>{"In Function util_remove_file::directory tree deeper than "
                                       "512 levels and the error code is [-1]."},
              testfiles::trace_messages());
}

} // namespace
