// Two hundred runs in one process, one that succeeds for every family and one that fails for
// every family by turns, at the fast clock: each run must leave the status text of its kind,
// and after a warm-up the process must not keep more descriptors, threads or broker objects
// than it had, nor grow its resident memory beyond a small allowance.
#include <gtest/gtest.h>

#include <string>

#include "family_runs.h"
#include "process_usage.h"

namespace {

using namespace familyruns;

constexpr int kRuns = 200;
// Runs before the first measure: the allocator's arenas and the thread stacks it keeps for
// reuse, the vendors' scenario caches and the trace log reach their working size.
constexpr int kWarmUp = 20;
// Resident memory moves by what the allocator and the thread stacks it caches keep between
// runs (up to a few hundred KiB); a run that kept even a few KiB would pass the allowance long
// before the last run.
constexpr size_t kResidentAllowanceKib = 1024;
// AddressSanitizer holds freed memory in quarantine, so resident memory grows by design there;
// descriptors, threads, objects and status texts are still checked.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCheckResidentMemory = false;
#else
constexpr bool kCheckResidentMemory = true;
#endif

struct Usage {
    size_t fds = 0;
    size_t threads = 0;
    size_t objects = 0;
    size_t residentKib = 0;
};

// Measured once every worker has left.
Usage usage_after_runs(size_t threadsAtRest) {
    EXPECT_TRUE(procusage::wait_for_threads(threadsAtRest)) << "a worker did not leave";
    return {procusage::open_fds(), procusage::threads(), hostsim::live_objects(),
            procusage::resident_kib()};
}

using SoakRuns = vendorhost::VendorHost;

TEST_F(SoakRuns, AlternatingRunsKeepNothing) {
    const size_t threadsAtRest = procusage::threads();
    const std::string succeeding = uri_list(every_family());
    const std::string failing = uri_list(every_family_failing(), missing_uri());
    const Json healthy = shipped_default();
    const Json broken = failing_host();
    std::string succeeded = "1";
    for (const Package &p : every_family()) {
        succeeded += "|" + p.id + ": " + kInstalled;
    }
    succeeded += "|";

    Usage warm;
    for (int i = 0; i < kRuns; ++i) {
        const bool fails = i % 2 != 0;
        use_scenario(fails ? broken : healthy);
        runhost::RunRecord run = run_uris(fails ? failing : succeeding);
        ASSERT_EQ(fails ? kFailedStatus : succeeded, run.statusText) << "run " << i;
        if (i + 1 == kWarmUp) {
            warm = usage_after_runs(threadsAtRest);
        }
    }
    const Usage last = usage_after_runs(threadsAtRest);

    EXPECT_EQ(warm.fds, last.fds);
    EXPECT_EQ(warm.threads, last.threads);
    EXPECT_EQ(warm.objects, last.objects);
    if (kCheckResidentMemory) {
        EXPECT_LE(last.residentKib, warm.residentKib + kResidentAllowanceKib)
            << "resident memory after warm-up " << warm.residentKib << " KiB";
    }
    RecordProperty("resident_kib_after_warm_up", std::to_string(warm.residentKib));
    RecordProperty("resident_kib_at_end", std::to_string(last.residentKib));
}

} // namespace
