#include <gtest/gtest.h>

#include <climits>
#include <minizip/zip.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "test_files.h"
#include "unzipfile.h"

namespace {

namespace mr = minizip_result;

const std::string kArchive = "/tmp/pkg.zip";
const std::string kDest = "/var/tmp/QEL/Xorvo/Package/";

struct Entry {
    std::string name;
    std::string data;
    unsigned long unix_mode = 0100644; // 0: made on MS-DOS, no unix attributes
    int method = Z_DEFLATED;
    const char *password = nullptr;
};

Entry dir(const std::string &name) {
    return {name, "", 040755};
}

void make_zip(const std::string &path, const std::vector<Entry> &entries) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(nullptr, zip);
    for (const Entry &e : entries) {
        zip_fileinfo info{};
        const bool unix_made = e.unix_mode != 0;
        info.external_fa =
            unix_made ? e.unix_mode << 16 : (!e.name.empty() && e.name.back() == '/' ? 0x10 : 0);
        const auto *bytes = reinterpret_cast<const Bytef *>(e.data.data());
        ASSERT_EQ(ZIP_OK, zipOpenNewFileInZip4_64(
                              zip, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, e.method,
                              e.method ? Z_DEFAULT_COMPRESSION : 0, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                              Z_DEFAULT_STRATEGY, e.password,
                              crc32(0, bytes, static_cast<uInt>(e.data.size())),
                              unix_made ? (3 << 8) | 20 : 20, 0, 0));
        ASSERT_EQ(ZIP_OK,
                  zipWriteInFileInZip(zip, e.data.data(), static_cast<unsigned>(e.data.size())));
        ASSERT_EQ(ZIP_OK, zipCloseFileInZip(zip));
    }
    ASSERT_EQ(ZIP_OK, zipClose(zip, nullptr));
}

int32_t unzip(const std::string &archive = kArchive, const std::string &dest = kDest) {
    return Minizip(archive.c_str(), dest.c_str());
}

unsigned mode_of(const std::string &path) {
    struct stat info {};
    EXPECT_EQ(0, lstat(path.c_str(), &info)) << path;
    return info.st_mode & 07777;
}

TEST(Minizip, ExtractsNestedTreeWithModes) {
    make_zip(kArchive, {dir("image/"),
                        {"image/payload.xml", "<updateConfiguration/>"},
                        {"image/fw/x/flash.sh", "#!/bin/sh\n", 0100775}, // no entry for fw/x
                        {"image/empty.bin", ""},
                        {"image/world.txt", "w", 0100666},
                        {"dos.txt", "d", 0},
                        {"dosdir/", "", 0},
                        dir("emptydir/"),
                        dir("./")});
    ASSERT_EQ(mr::kOk, unzip("/" + kArchive)); // callers pass "file:///p" minus "file:"

    EXPECT_EQ("<updateConfiguration/>", testfiles::read(kDest + "image/payload.xml"));
    EXPECT_EQ("#!/bin/sh\n", testfiles::read(kDest + "image/fw/x/flash.sh"));
    EXPECT_EQ(0755u, mode_of(kDest + "image/fw/x/flash.sh"));
    EXPECT_TRUE(testfiles::exists(kDest + "image/empty.bin"));
    EXPECT_EQ("", testfiles::read(kDest + "image/empty.bin"));
    EXPECT_EQ(0644u, mode_of(kDest + "image/world.txt"));
    EXPECT_EQ(0644u, mode_of(kDest + "dos.txt"));
    for (const char *d : {"image", "image/fw", "image/fw/x", "emptydir", "dosdir"}) {
        EXPECT_EQ(0755u, mode_of(kDest + d)) << d;
    }
}

TEST(Minizip, LargeEntriesStreamIntact) {
    std::string big(6 << 20, '\0');
    unsigned state = 12345;
    for (char &c : big) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    make_zip(kArchive, {{"deflated.bin", big}, {"stored.bin", big, 0100644, 0}});
    ASSERT_EQ(mr::kOk, unzip());
    EXPECT_TRUE(testfiles::read(kDest + "deflated.bin") == big);
    EXPECT_TRUE(testfiles::read(kDest + "stored.bin") == big);
}

TEST(Minizip, RefusesUnsafeEntriesBeforeWritingAnything) {
    const std::vector<Entry> bad = {
        {"../evil", "x"},
        {"/tmp/abs", "x"},
        {"a/../../evil", "x"},
        {"a/..", "", 040755},
        {"link", "/tmp", 0120777},
        {"fifo", "", 010644},
        {"", "x"},
    };
    for (const Entry &e : bad) {
        make_zip(kArchive, {{"good.txt", "g"}, e});
        EXPECT_EQ(mr::kUnsafeEntry, unzip()) << e.name;
        EXPECT_FALSE(testfiles::exists(kDest)) << e.name;
    }
    EXPECT_FALSE(testfiles::exists("/var/tmp/QEL/Xorvo/evil"));
    EXPECT_FALSE(testfiles::exists("/tmp/abs"));
}

TEST(Minizip, NeverWritesThroughLinksInDestination) {
    ASSERT_EQ(0, mkdir("/var/tmp/outside", 0755));
    testfiles::write("/var/tmp/outside/target", "orig");
    testfiles::write("/var/tmp/outside/hard", "orig");
    make_zip(kArchive, {dir("d/")});
    ASSERT_EQ(mr::kOk, unzip());
    ASSERT_EQ(0, symlink("/var/tmp/outside", (kDest + "sub").c_str()));
    ASSERT_EQ(0, symlink("/var/tmp/outside/target", (kDest + "leaf").c_str()));
    ASSERT_EQ(0, link("/var/tmp/outside/hard", (kDest + "d/hard").c_str()));

    // A planted link at a file's place is replaced, its target untouched.
    make_zip(kArchive, {{"leaf", "new"}, {"d/hard", "new"}});
    EXPECT_EQ(mr::kOk, unzip());
    EXPECT_EQ(0644u, mode_of(kDest + "leaf"));
    EXPECT_EQ("new", testfiles::read(kDest + "leaf"));
    EXPECT_EQ("new", testfiles::read(kDest + "d/hard"));
    EXPECT_EQ("orig", testfiles::read("/var/tmp/outside/target"));
    EXPECT_EQ("orig", testfiles::read("/var/tmp/outside/hard"));

    // A planted link where a directory is needed stops the call.
    for (const Entry &e : {Entry{"sub/file", "x"}, dir("sub/new/")}) {
        make_zip(kArchive, {e});
        EXPECT_EQ(mr::kUnsafeEntry, unzip()) << e.name;
    }
    EXPECT_FALSE(testfiles::exists("/var/tmp/outside/file"));
    EXPECT_FALSE(testfiles::exists("/var/tmp/outside/new"));
}

TEST(Minizip, CorruptArchivesKeepEarlierEntriesOnly) {
    make_zip(kArchive, {{"first.txt", "one"}, {"second.txt", "PAYLOAD-PAYLOAD", 0100644, 0}});
    const std::string whole = testfiles::read(kArchive);

    testfiles::write(kArchive, whole.substr(0, whole.size() / 2));
    EXPECT_EQ(mr::kArchiveCorrupt, unzip());
    EXPECT_FALSE(testfiles::exists(kDest));
    testfiles::write(kArchive, "not a zip at all");
    EXPECT_EQ(mr::kArchiveCorrupt, unzip());

    std::string damaged = whole;
    damaged.replace(damaged.find("PAYLOAD-PAYLOAD"), 7, "DAMAGED");
    testfiles::write(kArchive, damaged);
    EXPECT_EQ(mr::kArchiveCorrupt, unzip());
    EXPECT_EQ("one", testfiles::read(kDest + "first.txt"));
    EXPECT_FALSE(testfiles::exists(kDest + "second.txt"));

    // Headers that promise more data than the entry holds: a short file is no success.
    make_zip(kArchive, {{"short.txt", "abc"}});
    std::string lying = testfiles::read(kArchive);
    lying[22] = 4;                                        // local header's uncompressed size
    lying[lying.find(std::string("PK\1\2", 4)) + 24] = 4; // central directory's
    testfiles::write(kArchive, lying);
    EXPECT_EQ(mr::kArchiveCorrupt, unzip());
    EXPECT_FALSE(testfiles::exists(kDest + "short.txt"));
}

TEST(Minizip, RefusesUnsupportedAndOverlongEntries) {
    make_zip(kArchive, {{"secret.txt", "s", 0100644, Z_DEFLATED, "pw"}});
    EXPECT_EQ(mr::kUnsupportedEntry, unzip());

    make_zip(kArchive, {{"stored.txt", "s", 0100644, 0}});
    std::string bytes = testfiles::read(kArchive);
    bytes[8] = Z_BZIP2ED;                                         // local header's method
    bytes[bytes.find(std::string("PK\1\2", 4)) + 10] = Z_BZIP2ED; // central directory's
    testfiles::write(kArchive, bytes);
    EXPECT_EQ(mr::kUnsupportedEntry, unzip());

    std::string deep;
    while (deep.size() < PATH_MAX) {
        deep += "d/";
    }
    std::string under_dest; // short components, but too long below the destination
    while (under_dest.size() < PATH_MAX - kDest.size() - 1) {
        under_dest += "a/";
    }
    under_dest.resize(PATH_MAX - kDest.size() - 1);
    std::string nested; // 257 components, short enough
    for (int i = 0; i < minizip_limit::kMaxNameComponents; ++i) {
        nested += "a/";
    }
    for (const std::string &name :
         {std::string(NAME_MAX + 1, 'n'), deep + "f", under_dest, nested + "f"}) {
        make_zip(kArchive, {{name, "x"}});
        EXPECT_EQ(mr::kPathTooLong, unzip()) << name.size();
    }
    EXPECT_FALSE(testfiles::exists(kDest));
}

TEST(Minizip, ReportsBadArgumentsAndMissingArchive) {
    EXPECT_EQ(mr::kBadArgument, Minizip(nullptr, kDest.c_str()));
    EXPECT_EQ(mr::kBadArgument, Minizip(kArchive.c_str(), nullptr));
    EXPECT_EQ(mr::kBadArgument, unzip("", kDest));
    EXPECT_EQ(mr::kBadArgument, unzip(kArchive, ""));
    EXPECT_EQ(mr::kBadArgument, unzip(kArchive, "/tmp/" + std::string(PATH_MAX, 'a')));

    EXPECT_EQ(mr::kArchiveMissing, unzip("/tmp/nothing.zip"));
    EXPECT_EQ(mr::kArchiveMissing, unzip("//tmp"));
    // Devices and pipes are no archives: never read (or waited for).
    ASSERT_EQ(0, mkfifo("/tmp/fifo.zip", 0644));
    ASSERT_EQ(0, symlink("/dev/zero", "/tmp/zero.zip"));
    for (const char *path : {"/dev/zero", "/tmp/zero.zip", "/tmp/fifo.zip"}) {
        EXPECT_EQ(mr::kArchiveMissing, unzip(path)) << path;
    }
    EXPECT_FALSE(testfiles::exists(kDest));
}

TEST(Minizip, WriteFailuresStopAndRemoveThePartialFile) {
    make_zip(kArchive, {{"a.txt", "a"}});
    testfiles::write("/tmp/file", "");
    EXPECT_EQ(mr::kWriteFailed, unzip(kArchive, "/tmp/file"));
    EXPECT_EQ(mr::kWriteFailed, unzip(kArchive, "/tmp/file/dest/"));
    make_zip(kArchive, {{"a", "file"}, {"a/b", "x"}});
    EXPECT_EQ(mr::kWriteFailed, unzip());
}

std::string seed(const char *name) {
    return std::string(ZELK_SOURCE_DIR) + "/tests/fuzz/corpus/fuzz_minizip/" + name;
}

// Archives written by zip -fz: sizes in Zip64 extra fields, deflated and stored.
TEST(Minizip, ExtractsZip64Archives) {
    for (const char *name : {"zip64.zip", "zip64-stored.zip"}) {
        ASSERT_EQ(mr::kOk, unzip(seed(name))) << name;
        EXPECT_EQ("hello\n", testfiles::read(kDest + "a.txt")) << name;
        EXPECT_EQ("deflated text deflated text deflated text\n",
                  testfiles::read(kDest + "d/b.txt"));
    }
}

// What an archive expands to must fit in the free space of the destination's file system.
TEST(Minizip, ExpansionIsBoundByTheFreeSpace) {
    ASSERT_EQ(0, mkdir("/tmp/small", 0755));
    // Closed to other users: a destination in a directory anyone may write is refused.
    ASSERT_EQ(0, mount("none", "/tmp/small", "tmpfs", 0, "size=64k,nr_inodes=8,mode=0755"));
    make_zip(kArchive, {{"a.txt", "a"}, {"zeros.bin", std::string(1 << 20, '\0')}});
    EXPECT_EQ(mr::kNoSpace, unzip(kArchive, "/tmp/small/pkg"));
    EXPECT_FALSE(testfiles::exists("/tmp/small/pkg"));

    // Declares 10 bytes in its Zip64 field and inflates to 1 MiB: stopped at 10 bytes (the
    // 64 KiB never fill up) and removed.
    EXPECT_EQ(mr::kArchiveCorrupt, unzip(seed("zip64-bomb.zip"), "/tmp/small/pkg"));
    EXPECT_FALSE(testfiles::exists("/tmp/small/pkg/zeros.bin"));

    // Directories that the names imply run out of inodes while writing.
    make_zip(kArchive, {{"a.txt", "a"}, {"n1/n2/n3/n4/n5/n6/f", "x"}});
    EXPECT_EQ(mr::kNoSpace, unzip(kArchive, "/tmp/small/pkg"));
    EXPECT_EQ("a", testfiles::read("/tmp/small/pkg/a.txt"));
    umount("/tmp/small");
}

} // namespace
