// The status texts that `hostsim install` reads back from a job.
#include <gtest/gtest.h>

#include "install_status.h"

namespace {

using hostsim::cli::parse_status_text;
using hostsim::cli::StatusText;

std::string summary(const StatusText &text) {
    std::string out = text.complete ? "complete" : "open";
    for (const auto &package : text.packages) {
        out += package.reported ? " [" + package.id + "|" + std::to_string(package.code) + "|" +
                                      package.message + "]"
                                : " []";
    }
    return out;
}

TEST(InstallStatusText, FieldsBecomePackagesInListOrder) {
    struct Case {
        std::string text, expected;
    } cases[] = {
        {"", "open"},
        {"0|a: 0: Package Initialization finished successfully|",
         "open [a|0|Package Initialization finished successfully]"},
        {"1|a: 50: done.|b: 57: failed.|", "complete [a|50|done.] [b|57|failed.]"},
        // An unreported package, an empty id, a broker text holding "|" and ": ".
        {"0|a: 62: running.||: 12: gone.|", "open [a|62|running.] [] [|12|gone.]"},
        {"0|b: 56: Package installation error message: flash|locked: retry|c: 50: ok.|",
         "open [b|56|Package installation error message: flash|locked: retry] [c|50|ok.]"},
        // Cut at the reader's limit: the unfinished field is not a status.
        {"0|a: 50: done.|b: 62: Upda", "open [a|50|done.]"},
        {"0|a: 57: No driver file name that need to be update.\n|",
         "open [a|57|No driver file name that need to be update.\n]"},
        // The job's one line ends at that message's line feed: its field is whole.
        {"0|a: 50: done.|b: 57: No driver file name that need to be update.\n",
         "open [a|50|done.] [b|57|No driver file name that need to be update.\n]"},
        // Not status lines at all.
        {"garbage", "open"},
        {"1|x|y: 99999999999999: z|", "complete [] []"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.expected, summary(parse_status_text(c.text))) << c.text;
    }
    EXPECT_EQ("a: 57: line\\nbreak",
              hostsim::cli::status_line(parse_status_text("0|a: 57: line\nbreak|").packages[0]));
}

TEST(InstallStatusText, PackageIdsAndFinalCodes) {
    EXPECT_EQ("pkg_1.20", hostsim::cli::package_id("tftp://h/pkgs/pkg_1.20.xml"));
    EXPECT_EQ("", hostsim::cli::package_id("file:///pkgs/"));
    EXPECT_EQ("metadata", hostsim::cli::package_id("ftp://h/bundle/metadata.zip"));
    for (int code : {0, 10, 15, 60, 61, 62}) {
        EXPECT_FALSE(hostsim::cli::is_final_code(code)) << code;
    }
    for (int code : {11, 12, 18, 50, 53, 57, 59, 80}) {
        EXPECT_TRUE(hostsim::cli::is_final_code(code)) << code;
    }
}

} // namespace
