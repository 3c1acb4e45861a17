// Broker objects and whole runs: whatever a run makes through the broker (the provider, the job
// library and the vendors' providers alike) is freed by the time its worker has left, whether
// every package succeeds or every family fails in its own way. The memcheck test runs these
// cases under valgrind as well.
#include <gtest/gtest.h>

#include <cmpi/cmpimacs.h>
#include <string>
#include <thread>

#include "family_runs.h"
#include "process_usage.h"

namespace {

using namespace familyruns;

// The count follows the broker's ownership rules: scope objects go with their scope, objects of
// a thread outside any scope with the thread, clones and containers' copies when released.
TEST(BrokerObjectCount, FollowsScopesThreadsClonesAndContainers) {
    const CMPIBroker *broker = hostsim::broker();
    const size_t before = hostsim::live_objects();
    CMPIString *kept = nullptr;
    {
        hostsim::CallScope scope;
        CMPIObjectPath *path = CMNewObjectPath(broker, "root/x", "X_Thing", nullptr);
        CMAddKey(path, "Name", "one", CMPI_chars);
        CMPIInstance *instance = CMNewInstance(broker, path, nullptr);
        CMSetProperty(instance, "Note", "text", CMPI_chars);
        EXPECT_LT(before, hostsim::live_objects());
        kept = CMClone(CMNewString(broker, "kept", nullptr), nullptr);
        CMPIArgs *args = CMNewArgs(broker, nullptr);
        CMAddArg(args, "Target", &path, CMPI_ref);
        CMRelease(args);
    }
    EXPECT_EQ(before + 1, hostsim::live_objects()) << "only the clone outlives its scope";
    CMRelease(kept);
    EXPECT_EQ(before, hostsim::live_objects());

    std::thread([broker] {
        CMNewString(broker, "the thread's own", nullptr);
        CMNewArray(broker, 2, CMPI_string, nullptr);
    }).join();
    EXPECT_EQ(before, hostsim::live_objects()) << "a thread's objects go with the thread";
}

class RunObjects : public vendorhost::VendorHost {
  protected:
    void SetUp() override {
        VendorHost::SetUp();
        threads_ = procusage::threads();
        objects_ = hostsim::live_objects();
    }

    // The objects alive once every worker has left.
    size_t settled_objects() const {
        EXPECT_TRUE(procusage::wait_for_threads(threads_)) << "a worker did not leave";
        return hostsim::live_objects();
    }

    size_t threads_ = 0;
    size_t objects_ = 0;
};

TEST_F(RunObjects, EveryFamilyRunFreesItsObjects) {
    const std::vector<Package> packages = every_family();
    vendorhost::RunOutcome run = install(packages);
    std::map<std::string, std::string> last = statuses(run.statusText);
    ASSERT_EQ(packages.size(), last.size()) << run.statusText;
    for (const Package &p : packages) {
        EXPECT_EQ(kInstalled, last[p.id]) << p.id;
    }
    EXPECT_EQ(7u, run.jobState);

    runhost::RunRecord bundle = run_uris(kBundle);
    EXPECT_EQ("1|: 50: Package installation successfully.|", bundle.statusText);

    EXPECT_EQ(objects_, settled_objects());
}

TEST_F(RunObjects, FailingRunsFreeTheirObjects) {
    use_scenario(failing_host());
    runhost::RunRecord run = run_uris(uri_list(every_family_failing(), missing_uri()));
    EXPECT_EQ(kFailedStatus, run.statusText);

    runhost::RunRecord bundle = run_uris(kBundle);
    EXPECT_EQ("1|: 56: Package installation error message: bundle unreadable|", bundle.statusText);

    EXPECT_EQ(objects_, settled_objects());
}

} // namespace
