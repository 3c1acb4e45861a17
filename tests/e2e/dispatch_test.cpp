// InstallFromURI through the real libzelkprovider.so: argument handling, the synchronous and
// asynchronous paths, the job it returns, and one run at a time however the calls arrive. Runs
// install a firmware package through an in-process controller whose job lasts until the test
// opens its gate.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <dirent.h>
#include <future>
#include <optional>
#include <sys/mount.h>
#include <thread>

#include "gated_controller.h"
#include "provider_session.h"
#include "test_clock.h"
#include "test_files.h"

namespace {

using namespace testprovider;

constexpr const char *kPackage = "file:///tmp/pkgs/uefi.xml";
constexpr const char *kJobLibrary = "/usr/lib/cim/libconcretejob.so";
constexpr const char *kRunning = "An installation process is running";

std::string descriptor() {
    return "<INSTANCE CLASSNAME=\"XORVO_Package\">\n"
           "  <PROPERTY NAME=\"Name\" TYPE=\"string\">\n    <VALUE>System UEFI</VALUE>\n"
           "  </PROPERTY>\n"
           "  <PROPERTY NAME=\"type\" TYPE=\"uint16\">\n    <VALUE>1</VALUE>\n  </PROPERTY>\n"
           "  <PROPERTY NAME=\"category\" TYPE=\"string\">\n    <VALUE>UEFI</VALUE>\n"
           "  </PROPERTY>\n"
           "  <PROPERTY NAME=\"payload\" TYPE=\"string\">\n    <VALUE>uefi.bin</VALUE>\n"
           "  </PROPERTY>\n"
           "</INSTANCE>\n";
}

struct Request {
    std::optional<std::string> uri = std::string(kPackage);
    bool uriAsArray = false;
    std::optional<std::vector<CMPIUint16>> options;
    std::optional<std::string> updateArgs;
    bool nullIn = false;
    bool otherTypes = false; // InstallOptions as uint32[] {32768}, UpdateArgs as uint32 1
};

struct Outcome {
    CMPIrc rc = CMPI_RC_OK;
    std::string message;
    std::vector<CMPIUint32> data;
    std::string job;     // the InstanceID key of the out Job, empty when none
    std::string jobPath; // namespace:class of the out Job
};

size_t count_of(const std::vector<std::string> &messages, const std::string &message) {
    return static_cast<size_t>(std::count(messages.begin(), messages.end(), message));
}

// Occurrences of `text` in the trace log. Threads write their records without a lock, so one
// may land between another's text and its untimed continuation, on the same line.
size_t traced(const std::string &text) {
    const std::string log = testfiles::trace_log();
    size_t n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
        ++n;
    }
    return n;
}

std::vector<std::string> job_files() {
    std::vector<std::string> files;
    if (DIR *dir = opendir("/var/tmp/concretejob")) {
        while (const dirent *entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".job") == 0) {
                files.push_back(name);
            }
        }
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

class DispatchHost : public ::testing::Test {
  protected:
    void SetUp() override {
        provider = load();
        ASSERT_NE(nullptr, provider);
        hostsim::register_provider(kNameSpace, kClass, provider);
        ASSERT_EQ(0, system("mkdir -p /tmp/pkgs"));
        testfiles::write("/tmp/pkgs/uefi.xml", descriptor());
        testfiles::write("/tmp/pkgs/uefi.bin", "firmware");
    }

    void TearDown() override {
        controller.open();
        EXPECT_TRUE(wait_for_runs_to_end()) << "a run never ended";
        hostsim::clear_registrations();
    }

    Outcome install(const Request &request) {
        hostsim::CallScope scope;
        const CMPIBroker *broker = hostsim::broker();
        CMPIArgs *in = CMNewArgs(broker, nullptr);
        if (request.uri && request.uriAsArray) {
            CMPIArray *uris = CMNewArray(broker, 1, CMPI_string, nullptr);
            CMSetArrayElementAt(uris, 0, request.uri->c_str(), CMPI_chars);
            CMAddArg(in, "URI", &uris, CMPI_stringA);
        } else if (request.uri) {
            CMAddArg(in, "URI", request.uri->c_str(), CMPI_chars);
        }
        if (request.options) {
            CMPIArray *options = CMNewArray(broker, static_cast<CMPICount>(request.options->size()),
                                            CMPI_uint16, nullptr);
            for (size_t i = 0; i < request.options->size(); ++i) {
                CMPIValue option{};
                option.uint16 = (*request.options)[i];
                CMSetArrayElementAt(options, static_cast<CMPICount>(i), &option, CMPI_uint16);
            }
            CMAddArg(in, "InstallOptions", &options, CMPI_uint16A);
        }
        if (request.updateArgs) {
            CMAddArg(in, "UpdateArgs", request.updateArgs->c_str(), CMPI_chars);
        }
        if (request.otherTypes) {
            CMPIArray *options = CMNewArray(broker, 1, CMPI_uint32, nullptr);
            CMPIValue option{};
            option.uint32 = 32768;
            CMSetArrayElementAt(options, 0, &option, CMPI_uint32);
            CMAddArg(in, "InstallOptions", &options, CMPI_uint32A);
            CMPIUint32 one = 1;
            CMAddArg(in, "UpdateArgs", &one, CMPI_uint32);
        }
        CMPIArgs *out = CMNewArgs(broker, nullptr);
        CMPIContext *context = hostsim::new_context();
        hostsim::Result result;
        CMPIStatus status = provider->methodMI->ft->invokeMethod(
            provider->methodMI, context, result.get(), service_path(), "InstallFromURI",
            request.nullIn ? nullptr : in, out);
        CMRelease(context);

        Outcome outcome;
        outcome.rc = status.rc;
        outcome.message = status.msg ? CMGetCharsPtr(status.msg, nullptr) : "";
        for (const CMPIData &data : result.data()) {
            outcome.data.push_back(data.type == CMPI_uint32 ? data.value.uint32 : 99999);
        }
        CMPIData job = CMGetArg(out, "Job", nullptr);
        if (job.type == CMPI_ref && job.value.ref != nullptr) {
            outcome.job = key(job.value.ref, "InstanceID");
            outcome.jobPath =
                std::string(CMGetCharsPtr(CMGetNameSpace(job.value.ref, nullptr), nullptr)) + ":" +
                CMGetCharsPtr(CMGetClassName(job.value.ref, nullptr), nullptr);
        }
        runs += !outcome.job.empty();
        return outcome;
    }

    bool wait_for_runs_to_end() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (count_of(testfiles::trace_messages(), "asyncInstallAllPkgs finish.") < runs) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    // The job as a client sees it: JobState and JobStatus read through the job provider.
    std::pair<unsigned, std::string> job_state(const std::string &id) {
        if (jobs == nullptr) {
            std::string error;
            jobs = hostsim::load_provider(kJobLibrary, "ZELK_ConcreteJobProvider", &error);
            EXPECT_NE(nullptr, jobs) << error;
            hostsim::register_provider(kNameSpace, "CIM_ConcreteJob", jobs);
        }
        hostsim::CallScope scope;
        CMPIObjectPath *path =
            CMNewObjectPath(hostsim::broker(), kNameSpace, "CIM_ConcreteJob", nullptr);
        CMAddKey(path, "InstanceID", id.c_str(), CMPI_chars);
        CMPIContext *context = hostsim::new_context();
        CMPIStatus status{CMPI_RC_OK, nullptr};
        CMPIInstance *job = CBGetInstance(hostsim::broker(), context, path, nullptr, &status);
        CMRelease(context);
        EXPECT_EQ(CMPI_RC_OK, status.rc);
        if (job == nullptr) {
            return {0, ""};
        }
        return {CMGetProperty(job, "JobState", nullptr).value.uint16, property(job, "JobStatus")};
    }

    testclock::FastSleep fastSleep;
    std::shared_ptr<hostsim::Provider> provider;
    std::shared_ptr<hostsim::Provider> jobs;
    gatedcontroller::Controller controller;
    std::atomic<size_t> runs{0};
};

using MethodDispatch = DispatchHost;
using DispatchThreads = DispatchHost;

TEST_F(MethodDispatch, BadArgumentsAreRefusedAndLeaveTheProviderIdle) {
    Request asArray;
    asArray.uriAsArray = true;
    Request missing;
    missing.uri.reset();
    for (const Request &request : {asArray, missing}) {
        Outcome refused = install(request);
        EXPECT_EQ(CMPI_RC_ERR_FAILED, refused.rc);
        EXPECT_EQ("Invalid parameter URI.", refused.message);
        EXPECT_EQ(std::vector<CMPIUint32>{3}, refused.data);
        EXPECT_EQ("", refused.job);
    }
    Request nullIn;
    nullIn.nullIn = true;
    Outcome refused = install(nullIn);
    EXPECT_EQ(CMPI_RC_ERR_METHOD_NOT_FOUND, refused.rc);
    EXPECT_EQ("IN Parameter is NULL", refused.message);
    EXPECT_TRUE(job_files().empty());
    EXPECT_EQ(0u, count_of(testfiles::trace_messages(), "Enter initPkgInstall."));

    controller.open();
    Outcome started = install(Request{});
    EXPECT_EQ(CMPI_RC_OK, started.rc) << started.message;
    EXPECT_EQ("ZELK-1", started.job);
}

TEST_F(MethodDispatch, SynchronousOptionStartsNothingForTheLifeOfTheProcess) {
    Request both;
    both.options = std::vector<CMPIUint16>{32768, 32769};
    for (const Request &request : {both, Request{}}) {
        Outcome outcome = install(request);
        EXPECT_EQ(CMPI_RC_OK, outcome.rc) << outcome.message;
        EXPECT_TRUE(outcome.data.empty());
        EXPECT_EQ("", outcome.job);
    }
    std::vector<std::string> trace = testfiles::trace_messages();
    EXPECT_EQ(2u, count_of(trace, "Enter initPkgInstall."));
    EXPECT_EQ(0u, count_of(trace, "using async installation."));
    EXPECT_EQ(0u, count_of(trace, "Enter asyncInstallAllPkgs."));
    EXPECT_TRUE(job_files().empty());
    EXPECT_TRUE(controller.operations().empty());
}

TEST_F(MethodDispatch, AsynchronousStartReturnsTheJobTheLibraryCreated) {
    controller.open();
    Request other;
    other.options = std::vector<CMPIUint16>{5};
    std::vector<std::string> expected;
    for (const Request &request : {other, Request{}}) {
        Outcome started = install(request);
        EXPECT_EQ(CMPI_RC_OK, started.rc) << started.message;
        EXPECT_EQ(std::vector<CMPIUint32>{4096}, started.data);
        expected.push_back("ZELK-" + std::to_string(expected.size() + 1));
        EXPECT_EQ(expected.back(), started.job);
        EXPECT_EQ("zelk/cimv2:CIM_ConcreteJob", started.jobPath);
        ASSERT_TRUE(wait_for_runs_to_end());
    }
    EXPECT_EQ((std::vector<std::string>{"ZELK-1.job", "ZELK-2.job"}), job_files());
    auto [state, status] = job_state("ZELK-2");
    EXPECT_EQ(7u, state);
    EXPECT_EQ("1|uefi: 50: Package installation successfully.|", status);
    EXPECT_EQ(status, testfiles::read("/tmp/zelkstatZELK-2.txt"));
}

TEST_F(MethodDispatch, UpdateArgsChoosesTheBankAndAbsentKeepsTheLastChoice) {
    controller.open();
    const std::string longArgs = std::string(300, 'x') + " --backup";
    std::optional<std::string> updateArgs[] = {
        "--force --backup --quiet", std::nullopt, "", std::nullopt, "--backupfirst", longArgs};
    for (const auto &args : updateArgs) {
        Request request;
        request.updateArgs = args;
        EXPECT_EQ(CMPI_RC_OK, install(request).rc);
        ASSERT_TRUE(wait_for_runs_to_end());
    }
    EXPECT_EQ((std::vector<int>{1, 1, 0, 0, 1, 1}), controller.operations());
    std::vector<std::string> trace = testfiles::trace_messages();
    EXPECT_EQ(1u, count_of(trace, "UpdateArgs = --force --backup --quiet"));
    EXPECT_EQ(1u, count_of(trace, "UpdateArgs = "));
    EXPECT_EQ(3u, count_of(trace, "--backup is selected."));
    EXPECT_EQ(1u, count_of(trace, "--backup is not selected."));
    // A long value is cut inside its line, which keeps its line end.
    const std::string cut = "] UpdateArgs = " + std::string(175, 'x');
    const std::vector<std::string> lines = testfiles::lines(testfiles::trace_log());
    EXPECT_EQ(1, std::count_if(lines.begin(), lines.end(), [&](const std::string &line) {
                  return line.size() == 9 + cut.size() && line.compare(9, cut.size(), cut) == 0;
              }));
}

// Options and update arguments of another type count as absent: a uint32 array holding 32768
// asks for nothing (the run starts in the background) and a uint32 UpdateArgs keeps the bank
// that the call before chose.
TEST_F(MethodDispatch, OptionalArgumentsOfAnotherTypeCountAsAbsent) {
    controller.open();
    Request backup;
    backup.updateArgs = "--backup";
    Request otherTypes;
    otherTypes.otherTypes = true;
    for (const Request &request : {backup, otherTypes}) {
        Outcome started = install(request);
        EXPECT_EQ(CMPI_RC_OK, started.rc) << started.message;
        EXPECT_EQ(std::vector<CMPIUint32>{4096}, started.data);
        EXPECT_NE("", started.job);
        ASSERT_TRUE(wait_for_runs_to_end());
    }
    EXPECT_EQ((std::vector<int>{1, 1}), controller.operations());
    std::vector<std::string> trace = testfiles::trace_messages();
    EXPECT_EQ(1u, count_of(trace, "UpdateArgs = --backup"));
    EXPECT_EQ(1u, count_of(trace, "--backup is selected."));
    EXPECT_EQ(0u, count_of(trace, "--backup is not selected."));
}

TEST_F(MethodDispatch, MissingJobLibraryFailsAfterTheRunIsInitialised) {
    // Hidden in this test's private mount namespace; the build directory stays untouched.
    testfiles::write("/tmp/empty.so", "");
    ASSERT_EQ(0, mount("/tmp/empty.so", kJobLibrary, nullptr, MS_BIND, nullptr));
    Outcome failed = install(Request{});
    EXPECT_EQ(CMPI_RC_ERR_FAILED, failed.rc);
    EXPECT_EQ("Fail to create job instance", failed.message);
    EXPECT_EQ(std::vector<CMPIUint32>{1}, failed.data);
    EXPECT_EQ("", failed.job);
    std::vector<std::string> trace = testfiles::trace_messages();
    EXPECT_EQ(1u, count_of(trace, "Total Package number is 1"));
    EXPECT_EQ(1u, count_of(trace, "using async installation."));
    EXPECT_EQ(0u, count_of(trace, "New Job Created."));
    EXPECT_EQ("0|uefi: 0: Package Initialization finished successfully|",
              testfiles::read("/tmp/zelkstat.txt"));

    ASSERT_EQ(0, umount(kJobLibrary));
    controller.open();
    Outcome started = install(Request{});
    EXPECT_EQ(CMPI_RC_OK, started.rc) << started.message;
    EXPECT_EQ("ZELK-1", started.job);
}

TEST_F(DispatchThreads, SecondCallWhileARunIsAliveIsRefused) {
    Outcome first = install(Request{});
    ASSERT_EQ("ZELK-1", first.job) << first.message;
    ASSERT_TRUE(controller.wait_for_polls(2));

    Outcome second = install(Request{});
    EXPECT_EQ(CMPI_RC_ERR_FAILED, second.rc);
    EXPECT_EQ(kRunning, second.message);
    EXPECT_EQ(std::vector<CMPIUint32>{1}, second.data);
    EXPECT_EQ("", second.job);
    EXPECT_EQ(std::vector<std::string>{"ZELK-1.job"}, job_files());
    EXPECT_EQ(1u, traced("Enter initPkgInstall."));

    controller.open();
    ASSERT_TRUE(wait_for_runs_to_end());
    EXPECT_EQ("ZELK-2", install(Request{}).job);
}

TEST_F(DispatchThreads, ConcurrentCallsAdmitExactlyOneRun) {
    constexpr int kCallers = 8;
    std::promise<void> go;
    std::shared_future<void> released = go.get_future().share();
    std::vector<std::future<Outcome>> calls;
    for (int i = 0; i < kCallers; ++i) {
        calls.push_back(std::async(std::launch::async, [this, released] {
            released.wait();
            return install(Request{});
        }));
    }
    go.set_value();
    int admitted = 0, refused = 0;
    for (auto &call : calls) {
        Outcome outcome = call.get();
        if (outcome.rc == CMPI_RC_OK) {
            ++admitted;
            EXPECT_EQ("ZELK-1", outcome.job);
            EXPECT_EQ(std::vector<CMPIUint32>{4096}, outcome.data);
        } else {
            ++refused;
            EXPECT_EQ(kRunning, outcome.message);
            EXPECT_EQ(std::vector<CMPIUint32>{1}, outcome.data);
            EXPECT_EQ("", outcome.job);
        }
    }
    EXPECT_EQ(1, admitted);
    EXPECT_EQ(kCallers - 1, refused);
    EXPECT_EQ(std::vector<std::string>{"ZELK-1.job"}, job_files());
    EXPECT_EQ(1u, traced("Enter initPkgInstall."));
}

TEST_F(DispatchThreads, ProviderAnswersWhileTheWorkerBlocksInAControllerJob) {
    Outcome started = install(Request{});
    ASSERT_EQ("ZELK-1", started.job) << started.message;
    ASSERT_TRUE(controller.wait_for_polls(3));
    ASSERT_TRUE(testfiles::exists("/tmp/sfcb/zelk.safelock"));

    hostsim::CallScope scope;
    CMPIContext *context = hostsim::new_context();
    CMPIStatus status{CMPI_RC_OK, nullptr};
    CMPIEnumeration *found =
        CBEnumInstances(hostsim::broker(), context, service_path(), nullptr, &status);
    EXPECT_EQ(CMPI_RC_OK, status.rc);
    ASSERT_NE(nullptr, found);
    int instances = 0;
    for (; CMHasNext(found, nullptr); CMGetNext(found, nullptr)) {
        ++instances;
    }
    EXPECT_EQ(1, instances);

    hostsim::Result reset;
    CMPIArgs *none = CMNewArgs(hostsim::broker(), nullptr);
    status = provider->methodMI->ft->invokeMethod(provider->methodMI, context, reset.get(),
                                                  service_path(), "ResetCimmon", none, none);
    CMRelease(context);
    EXPECT_EQ(CMPI_RC_OK, status.rc);
    ASSERT_EQ(1u, reset.data().size());
    EXPECT_EQ(0u, reset.data()[0].value.uint32);
    EXPECT_FALSE(testfiles::exists("/tmp/sfcb/zelk.safelock"));

    auto [state, text] = job_state("ZELK-1");
    EXPECT_EQ(4u, state);
    EXPECT_EQ("0|uefi: 62: Updating and Package installation is running.|", text);

    // All of that was answered while the worker stayed in the controller's job.
    size_t polls = controller.polls();
    EXPECT_TRUE(controller.wait_for_polls(polls + 2));
    EXPECT_EQ(0u, count_of(testfiles::trace_messages(), "asyncInstallAllPkgs finish."));

    controller.open();
    ASSERT_TRUE(wait_for_runs_to_end());
    auto [finalState, finalText] = job_state("ZELK-1");
    EXPECT_EQ(7u, finalState);
    EXPECT_EQ("1|uefi: 50: Package installation successfully.|", finalText);
}

} // namespace
