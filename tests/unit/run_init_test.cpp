#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pkg_table.h"
#include "run_init.h"
#include "test_files.h"

namespace {

std::string uri_list(int count, const char *scheme = "tftp://10.0.0.1") {
    std::string list;
    for (int i = 0; i < count; ++i) {
        list += (i ? "|" : "") + std::string(scheme) + "/pkgs/p" + std::to_string(i) + ".xml";
    }
    return list;
}

TEST(RunInit, BuildsOneRecordPerEntryUpToTwenty) {
    for (int count : {1, 20, 25}) {
        initPkgInstall(uri_list(count).c_str());
        int expected = count > 20 ? 20 : count;
        ASSERT_EQ(expected, pkgnum) << count;
        for (int i = 0; i < expected; ++i) {
            const PkgInstance &pkg = pkgInstance[i];
            EXPECT_EQ("tftp://10.0.0.1/pkgs/p" + std::to_string(i) + ".xml", pkg.XMLPath);
            EXPECT_STREQ("tftp://10.0.0.1/pkgs/", pkg.TFTPPayloadPkgURIs);
            EXPECT_EQ(450, pkg.OrderFlag);
            EXPECT_STREQ("No supersedes", pkg.supersedes);
            EXPECT_EQ(0, pkg.preReqCount);
            EXPECT_EQ("p" + std::to_string(i) + ": 0: Package Initialization finished successfully",
                      pkg.StatusLine);
        }
    }
    EXPECT_NE(std::string::npos, testfiles::trace_log().find("Total Package number is 20\n"));
}

TEST(RunInit, LocationKindFromFirstEntryInTestOrder) {
    struct Case {
        const char *list;
        int location;
    } cases[] = {
        {"file:///p/a.xml", 1},    {"tftp://h/p/a.xml", 2},
        {"ftp://h/bundle.zip", 3}, {"sftp://h/p/a.xml|file:///p/b.xml", 4},
        {"http://h/p/a.xml", 5},
    };
    for (const Case &c : cases) {
        initPkgInstall(c.list);
        EXPECT_EQ(c.location, filelocation) << c.list;
    }
    EXPECT_NE(std::string::npos, testfiles::trace_log().find("Unknown file location .\n"));
}

TEST(RunInit, RecordsBeyondTheNewRunKeepOldContents) {
    initPkgInstall(uri_list(3).c_str());
    pkgInstance[2].OrderFlag = 1000;
    initPkgInstall("file:///p/x.xml");
    EXPECT_EQ(1, pkgnum);
    EXPECT_EQ(1000, pkgInstance[2].OrderFlag);
    EXPECT_EQ(0, totalstatus.load()); // record 0 of a 3-package count is not the last
}

TEST(RunInit, MalformedEntriesStayInsideTheirRecords) {
    std::string longEntry = "file:///" + std::string(400, 'x') + "/p.xml";
    std::string list = longEntry + "||nodirectory|file:///p/last.xml|";
    initPkgInstall(list.c_str());
    ASSERT_EQ(5, pkgnum);
    EXPECT_EQ(zelk::kTextSize - 1, static_cast<int>(std::strlen(pkgInstance[0].XMLPath)));
    EXPECT_STREQ("", pkgInstance[1].XMLPath);
    EXPECT_STREQ("", pkgInstance[1].TFTPPayloadPkgURIs);
    EXPECT_STREQ("nodirectory", pkgInstance[2].XMLPath);
    EXPECT_STREQ("", pkgInstance[2].TFTPPayloadPkgURIs);
    EXPECT_STREQ("file:///p/last.xml", pkgInstance[3].XMLPath);
    EXPECT_STREQ("file:///p/", pkgInstance[3].TFTPPayloadPkgURIs);
    EXPECT_STREQ("", pkgInstance[4].XMLPath);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(450, pkgInstance[i].OrderFlag) << i;
    }

    initPkgInstall(nullptr);
    EXPECT_EQ(1, pkgnum);
    EXPECT_EQ(5, filelocation);
}

} // namespace
