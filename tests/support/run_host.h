// Whole installation runs of controller and hypervisor packages on the simulated host, in this
// process: the shipped registration file loads the real provider, the job library and the
// simulated file-transfer, controller and hypervisor providers from the build's /usr/lib/cim; a
// test writes a scenario and packages, calls InstallFromURI through the broker as a client
// would, waits for the worker to finish and reads back the journal, the status file and the
// trace log. Waits of the provider pass at the fast clock unless a test asks for real time.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <cmpi/cmpimacs.h>

#include "hostsim_broker.h"
#include "hostsimkit.h"
#include "test_clock.h"
#include "test_files.h"

namespace runhost {

using hostsim::sim::Json;

constexpr const char *kScenario = "/tmp/run-scenario.json";
constexpr const char *kJournal = "/tmp/run-journal.jsonl";
constexpr const char *kTraceLog = "/tmp/zelkdebug.txt";
constexpr const char *kStore = "/var/tmp/filestore";
constexpr const char *kWorkingArea = "/var/tmp/QEL/Xorvo/Package/";
constexpr const char *kRunEnd = "asyncInstallAllPkgs finish.";
constexpr const char *kBusy = "An installation process is running";

inline std::string source_file(const std::string &relative) {
    const std::string self = __FILE__;
    return self.substr(0, self.rfind("tests/support/")) + relative;
}

// The healthy host that ships with hostsim.
inline Json default_scenario() {
    return hostsim::sim::load_scenario_file(source_file("hostsim/scenarios/default.json"));
}

// What InstallFromURI answered.
struct Call {
    CMPIrc rc = CMPI_RC_OK;
    std::string message;
    CMPIUint32 returned = 0;
    std::string jobId; // InstanceID of the Job reference
};

// What a run left behind.
struct RunRecord {
    Call call;
    std::string statusText; // the status file
    std::vector<Json> journal;
    std::vector<std::string> trace; // trace records without their time prefix
    double seconds = 0;             // from the call to the end of the worker
};

// The records of one operation on one class, in order.
inline std::vector<Json> requests(const std::vector<Json> &journal, const std::string &className,
                                  const std::string &operation) {
    std::vector<Json> found;
    for (const Json &record : journal) {
        if (record["class"] == className && record["operation"] == operation) {
            found.push_back(record);
        }
    }
    return found;
}

// The value of a journaled argument or key as [type, value]; null when absent.
inline Json entry(const Json &list, const std::string &name) {
    for (const Json &item : list) {
        if (item[0] == name) {
            return Json::array({item[1], item[2]});
        }
    }
    return nullptr;
}

// One argument of every request of `operation` on `className`, as text.
inline std::vector<std::string> arg_values(const std::vector<Json> &journal,
                                           const std::string &className,
                                           const std::string &operation, const std::string &name) {
    std::vector<std::string> values;
    for (const Json &record : requests(journal, className, operation)) {
        Json value = entry(record["args"], name);
        values.push_back(value.is_null() ? "<none>" : hostsim::sim::json_text(value[1]));
    }
    return values;
}

// The status lines a package went through, as the trace log records them: "code: message".
inline std::vector<std::string> statuses_of(const std::vector<std::string> &trace,
                                            const std::string &id) {
    std::vector<std::string> found;
    const std::string head = id + ": ";
    for (const std::string &line : trace) {
        if (line.compare(0, head.size(), head) == 0 && line.size() > head.size() &&
            line[head.size()] >= '0' && line[head.size()] <= '9') {
            found.push_back(line.substr(head.size()));
        }
    }
    return found;
}

inline size_t count_of(const std::vector<std::string> &lines, const std::string &line) {
    size_t n = 0;
    for (const std::string &l : lines) {
        n += l == line;
    }
    return n;
}

class RunHost : public ::testing::Test {
  protected:
    void SetUp() override {
        fastClock_ = std::make_unique<testclock::FastSleep>();
        setenv(hostsim::sim::kScenarioVariable, kScenario, 1);
        setenv(hostsim::sim::kJournalVariable, kJournal, 1);
        use_scenario(default_scenario());
        hostsim::RegistryLoad load;
        std::string error;
        ASSERT_TRUE(hostsim::load_registry(source_file("hostsim/registry/hostsim.reg"),
                                           hostsim::kDefaultLibraryDir, &load, &error))
            << error;
    }
    void TearDown() override { hostsim::clear_registrations(); }

    // The provider's pauses last as long as they say.
    void use_real_clock() { fastClock_.reset(); }

    // Replaces the scenario file whole, so providers see a new file and start every list anew.
    static void use_scenario(const Json &scenario) {
        const std::string next = std::string(kScenario) + ".next";
        testfiles::write(next, scenario.dump(2));
        ASSERT_EQ(0, std::rename(next.c_str(), kScenario));
    }

    static Call install(const std::string &uris, const char *updateArgs = nullptr) {
        Call call;
        hostsim::CallScope scope;
        const CMPIBroker *broker = hostsim::broker();
        CMPIObjectPath *service =
            CMNewObjectPath(broker, "zelk/cimv2", "XORVO_VMpkgInstallationService", nullptr);
        CMPIArgs *in = CMNewArgs(broker, nullptr);
        CMPIArgs *out = CMNewArgs(broker, nullptr);
        CMAddArg(in, "URI", uris.c_str(), CMPI_chars);
        if (updateArgs != nullptr) {
            CMAddArg(in, "UpdateArgs", updateArgs, CMPI_chars);
        }
        CMPIContext *context = hostsim::new_context();
        CMPIStatus status{CMPI_RC_OK, nullptr};
        CMPIData returned =
            CBInvokeMethod(broker, context, service, "InstallFromURI", in, out, &status);
        CMRelease(context);
        call.rc = status.rc;
        call.message = status.msg ? CMGetCharsPtr(status.msg, nullptr) : "";
        call.returned = returned.type == CMPI_uint32 ? returned.value.uint32 : 0;
        CMPIData ref = CMGetArg(out, "Job", nullptr);
        if (ref.type == CMPI_ref && ref.value.ref != nullptr) {
            call.jobId = hostsim::to_text(CMGetKey(ref.value.ref, "InstanceID", nullptr));
        }
        return call;
    }

    // One whole background run of `uris`; journal and trace hold this run only.
    static RunRecord run_uris(const std::string &uris, const char *updateArgs = nullptr) {
        std::remove(kJournal);
        std::remove(kTraceLog);
        RunRecord result;
        const auto start = std::chrono::steady_clock::now();
        // The worker of the previous run may not yet have left when its last trace was written.
        for (int tries = 0; tries < 300; ++tries) {
            result.call = install(uris, updateArgs);
            if (result.call.message != kBusy) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(CMPI_RC_OK, result.call.rc) << result.call.message;
        EXPECT_EQ(4096u, result.call.returned);
        EXPECT_TRUE(wait_for_run_end()) << "the run did not end";
        result.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        result.statusText = testfiles::read("/tmp/zelkstat" + result.call.jobId + ".txt");
        result.journal = hostsim::sim::read_journal(kJournal);
        result.trace = testfiles::trace_messages();
        EXPECT_FALSE(testfiles::exists(kWorkingArea)) << "the run left its working area";
        return result;
    }

  private:
    static bool wait_for_run_end() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (count_of(testfiles::trace_messages(), kRunEnd) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    std::unique_ptr<testclock::FastSleep> fastClock_;
};

} // namespace runhost
