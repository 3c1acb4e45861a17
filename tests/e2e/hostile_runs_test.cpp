// Whole runs fed what an attacker would give them: an archive whose tree is deeper than any path
// can name, descriptors that are devices, pipes or links to them, and a link planted on the
// working area's path. Every run ends and every package gets a status.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "vendor_host.h"

namespace {

using namespace vendorhost;

using HostileRuns = VendorHost;

// A Broadcom package whose archive holds one file 130 directories deep: the installer removes
// the working area after the vendor succeeds, and the run removes it again at its end.
TEST_F(HostileRuns, ArchiveTreeDeeperThanAnyPathIsRemoved) {
    std::string deep;
    for (int i = 0; i < 130; ++i) {
        deep += "aa/";
    }
    RunOutcome run =
        install({{"nic", "Broadcom NetXtreme II firmware", "Network", {{deep + "f", "image"}}}});

    EXPECT_EQ("1|nic: 50: Package installation successfully.|", run.statusText);
    EXPECT_EQ(1u, count_of(run.trace, "util_remove_file successfully."));
    EXPECT_EQ(1u, count_of(run.trace, runhost::kRunEnd));
    EXPECT_FALSE(testfiles::exists(kWorkingArea));
}

// Descriptors that are a device, a link to one or a pipe: each cannot be opened, the run ends
// and the provider takes the next call.
TEST_F(HostileRuns, DescriptorsThatAreNoRegularFilesCannotBeOpened) {
    std::filesystem::create_directories(kPackageDir);
    ASSERT_EQ(0, symlink("/dev/urandom", "/tmp/pkgs/urandom.xml"));
    ASSERT_EQ(0, mkfifo("/tmp/pkgs/fifo.xml", 0644));
    const std::string uris =
        "file:///dev/zero|file:///tmp/pkgs/urandom.xml|file:///tmp/pkgs/fifo.xml";
    for (int run = 0; run < 2; ++run) {
        runhost::RunRecord record = run_uris(uris);
        EXPECT_EQ("1|zero: 12: Pakcage XML can't be opened.|urandom: 12: Pakcage XML can't be "
                  "opened.|fifo: 12: Pakcage XML can't be opened.|",
                  record.statusText);
    }
}

// Another user links /var/tmp/QEL to a directory of root's before the run, to have root unpack
// into it (and empty it afterwards). The archive is not unpacked there, nothing there is
// removed, and the run ends with the vendor's answer for a working area it cannot find.
TEST_F(HostileRuns, WorkingAreaBehindAPlantedLinkIsNeitherFilledNorRemoved) {
    ASSERT_EQ(0, mkdir("/tmp/victim", 0755));
    testfiles::write("/tmp/victim/precious", "root's");
    ASSERT_EQ(0, symlink("/tmp/victim", "/var/tmp/QEL"));

    RunOutcome run =
        install({{"nic", "Broadcom NetXtreme II firmware", "Network", {{"fw/nic.bin", "image"}}}});

    EXPECT_EQ("1|nic: 55: The path or file does not exist.|", run.statusText);
    EXPECT_EQ(1u, count_of(run.trace, runhost::kRunEnd));
    EXPECT_EQ(1u, count_of(run.trace, "Fail to delete files under ZELK_UNZIP_PATH. "));
    EXPECT_EQ(1u, count_of(run.trace, "In Function util_remove_file::/var/tmp/QEL is a symbolic "
                                      "link; nothing removed."));
    std::vector<std::string> left;
    for (const auto &entry : std::filesystem::recursive_directory_iterator("/tmp/victim")) {
        left.push_back(entry.path());
    }
    EXPECT_EQ(std::vector<std::string>{"/tmp/victim/precious"}, left);
    EXPECT_EQ("root's", testfiles::read("/tmp/victim/precious"));
}

} // namespace
