// Whole runs fed what an attacker would give them: an archive whose tree is deeper than any path
// can name, and descriptors that are devices, pipes or links to them. Every run ends, every
// package gets a status, and the working area is gone afterwards.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

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

} // namespace
