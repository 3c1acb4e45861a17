// libhostsimtest.so, a provider library for the simulated host's own tests:
// - HostsimTest_EchoProvider: a hostsimkit SimProvider serving scenario section "hostsim_test";
// - HostsimTest_WorkerProvider: a method provider whose "Start" clones the call's context with
//   native_clone_CMPIContext and returns at once, leaving a worker thread that calls the Echo
//   provider through the broker while the caller sits inside "Wait", a second call; "Relay"
//   calls the Echo provider from inside its own call.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include <cmpi/cmpimacs.h>

#include "hostsimkit.h"

extern "C" CMPIContext *native_clone_CMPIContext(const CMPIContext *ctx);

namespace {

constexpr const char *kNameSpace = "test/cimv2";
constexpr const char *kEcho = "HostsimTest_Echo";

class EchoProvider : public hostsim::sim::SimProvider {
    using SimProvider::SimProvider;
};

const CMPIBroker *workerBroker = nullptr;
std::atomic<int> methodFactoryCalls{0};

struct WorkerState {
    std::mutex lock;
    std::condition_variable changed;
    bool running = false;
    bool waiting = false; // the caller is inside Wait
    bool done = false;
    CMPIUint32 instances = 0, pings = 0, failures = 0;
    std::string tag;
};

WorkerState &state() {
    static WorkerState instance;
    return instance;
}

std::string tag_of(const CMPIContext *context) {
    CMPIData tag = CMGetContextEntry(context, "hostsim.tag", nullptr);
    return hostsim::sim::json_text(hostsim::sim::value_to_json(tag));
}

void work(CMPIContext *context, CMPIUint32 rounds) {
    WorkerState &s = state();
    {
        std::unique_lock<std::mutex> guard(s.lock);
        s.changed.wait_for(guard, std::chrono::seconds(30), [&s] { return s.waiting; });
    }
    CMPIUint32 instances = 0, pings = 0, failures = 0;
    std::string tag = tag_of(context);
    CMPIObjectPath *path = CMNewObjectPath(workerBroker, kNameSpace, kEcho, nullptr);
    for (CMPIUint32 round = 0; round < rounds; ++round) {
        CMPIStatus rc{CMPI_RC_OK, nullptr};
        CMPIEnumeration *found = CBEnumInstances(workerBroker, context, path, nullptr, &rc);
        if (rc.rc != CMPI_RC_OK || found == nullptr) {
            ++failures;
        } else {
            for (; CMHasNext(found, nullptr); CMGetNext(found, nullptr)) {
                ++instances;
            }
            CMRelease(found);
        }
        CMPIArgs *in = CMNewArgs(workerBroker, nullptr);
        CMAddArg(in, "Round", &round, CMPI_uint32);
        CMPIData returned = CBInvokeMethod(workerBroker, context, path, "Ping", in, nullptr, &rc);
        (rc.rc == CMPI_RC_OK && returned.type == CMPI_uint32 ? pings : failures) += 1;
        CMRelease(in);
    }
    CMRelease(path);
    CMRelease(context);
    std::lock_guard<std::mutex> guard(s.lock);
    s.instances = instances;
    s.pings = pings;
    s.failures = failures;
    s.tag = tag;
    s.done = true;
    s.running = false;
    s.changed.notify_all();
}

CMPIUint32 start(const CMPIContext *context, const CMPIArgs *in) {
    CMPIData rounds = CMGetArg(in, "Rounds", nullptr);
    WorkerState &s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.running) {
        return 1;
    }
    CMPIContext *copy = native_clone_CMPIContext(context);
    if (copy == nullptr) {
        return 2;
    }
    s.running = true;
    s.waiting = false;
    s.done = false;
    std::thread(work, copy, rounds.type == CMPI_uint32 ? rounds.value.uint32 : 1).detach();
    return 0;
}

CMPIUint32 wait_for_worker(CMPIArgs *out) {
    WorkerState &s = state();
    std::unique_lock<std::mutex> guard(s.lock);
    s.waiting = true;
    s.changed.notify_all();
    bool done = s.changed.wait_for(guard, std::chrono::seconds(30), [&s] { return s.done; });
    s.waiting = false;
    CMAddArg(out, "Instances", &s.instances, CMPI_uint32);
    CMAddArg(out, "Pings", &s.pings, CMPI_uint32);
    CMAddArg(out, "Failures", &s.failures, CMPI_uint32);
    CMAddArg(out, "Tag", s.tag.c_str(), CMPI_chars);
    return done ? 0 : 1;
}

CMPIStatus relay(const CMPIContext *context, const CMPIResult *result) {
    CMPIObjectPath *path = CMNewObjectPath(workerBroker, kNameSpace, kEcho, nullptr);
    CMPIStatus rc{CMPI_RC_OK, nullptr};
    CMPIData returned = CBInvokeMethod(workerBroker, context, path, "Ping", nullptr, nullptr, &rc);
    if (rc.rc == CMPI_RC_OK) {
        hostsim::sim::return_uint32(result, returned.value.uint32);
    }
    return rc;
}

CMPIStatus WorkerMethodCleanup(CMPIMethodMI *, const CMPIContext *, CMPIBoolean) {
    return hostsim::sim::ok_status();
}

CMPIStatus WorkerInvokeMethod(CMPIMethodMI *, const CMPIContext *context, const CMPIResult *result,
                              const CMPIObjectPath *, const char *method, const CMPIArgs *in,
                              CMPIArgs *out) {
    std::string name = method ? method : "";
    if (name == "Start") {
        hostsim::sim::return_uint32(result, start(context, in));
    } else if (name == "Wait") {
        hostsim::sim::return_uint32(result, wait_for_worker(out));
    } else if (name == "Relay") {
        return relay(context, result);
    } else {
        return CMPIStatus{CMPI_RC_ERR_METHOD_NOT_FOUND, nullptr};
    }
    return hostsim::sim::ok_status();
}

} // namespace

HOSTSIM_SIM_PROVIDER(HostsimTest_EchoProvider, EchoProvider, "hostsim_test")

CMMethodMIStub(Worker, HostsimTest_WorkerProvider, workerBroker, ++methodFactoryCalls);

// How often the worker's factory ran, so tests see a provider loaded once.
CMPI_EXTERN_C int hostsimtest_factory_calls() {
    return methodFactoryCalls.load();
}
