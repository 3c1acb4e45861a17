// How the management controller's answers and job texts end a controller package: backup bank,
// detail codes, the known failures, polls without a job state and a refused request. Each case
// is a whole run on the simulated host; the runs follow one another in one provider process.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "run_host.h"
#include "run_packages.h"

namespace {

using namespace runhost;

constexpr const char *kDir = "/tmp/pkgs";
constexpr const char *kBase = "file:///tmp/pkgs/";
constexpr const char *kInstalled = "50: Package installation successfully.";
constexpr const char *kError = "57: Package installation error happened.";
constexpr const char *kFfdc = "53: Need download FFDC File from ESXi.";

const Json kNoJobState = nullptr; // a poll whose job carries no JobStatus

// The job's texts, one per poll (an explicit array: a braced single element would not be one).
Json texts(std::initializer_list<Json> steps) {
    Json list = Json::array();
    for (const Json &step : steps) {
        list.push_back(step);
    }
    return list;
}

struct Case {
    const char *what;
    Json steps;             // the job's JobStatus texts, one per poll
    Json install = nullptr; // the InstallFromURI reply; null: the shipped one
    const char *updateArgs = nullptr;
    std::string last; // the package's final "code: message"
    size_t polls;     // job enumerations
    int bank = 0;     // Update_Operation sent
};

class ControllerOutcomes : public RunHost {
  protected:
    void SetUp() override {
        RunHost::SetUp();
        runpkg::write_package(kDir, {"uefi", "UEFI", "QEL_UEFI_7.2", {}});
        runpkg::write_package(kDir, {"vxc", "VXC", "QEL_VXC_3.0", {}});
    }

    static void use_controller(const Json &steps, const Json &install,
                               const Json &otherJobs = Json::array()) {
        Json scenario = default_scenario();
        Json &controller = scenario["controller"];
        controller["job"]["steps"]["JobStatus"] = steps;
        if (!install.is_null()) {
            controller["methods"]["InstallFromURI"] = install;
        }
        if (!otherJobs.empty()) {
            controller["instances"]["CIM_ConcreteJob"] = otherJobs;
        }
        use_scenario(scenario);
    }
};

TEST_F(ControllerOutcomes, JobTextsAndDetailCodesDecideTheOutcome) {
    const Json none = kNoJobState;
    const Case cases[] = {
        {"backup bank", texts({"0x00|updating firmware", "0x00|Process Completed"}), nullptr,
         "--backup", kInstalled, 2, 1},
        {"primary bank again", texts({"0x00|Process Completed"}), nullptr, "--primary", kInstalled,
         1},
        {"no detail part", texts({"Process Completed"}), nullptr, nullptr, kInstalled, 1},
        {"detail 0x10 stops at once",
         texts({"0x00|Initialization", "0x10|updating firmware", "0x00|Process Completed"}),
         nullptr, nullptr, kFfdc, 2},
        {"detail 0x42 wins over a completed text", texts({"0x42|Process Completed"}), nullptr,
         nullptr, kFfdc, 1},
        {"detail 0x43 and 0x0f go on polling",
         texts({"0x43|updating firmware", "0x0f|VXC rebooting", "0x00|Process Completed"}), nullptr,
         nullptr, kInstalled, 3},
        {"unreachable controller",
         texts({"0x00|Initialization", "0x00|Unable to ping through VXC IP address"}), nullptr,
         nullptr, "53: Unable to ping through VXC IP address.", 2},
        {"no IPMI", texts({"0x00|Unable to connect VXC through IPMI over KCS"}), nullptr, nullptr,
         "53: Unable to connect VXC through IPMI over KCS.", 1},
        {"lock", texts({"0x00|Get active lock failed"}), nullptr, nullptr,
         "53: Get active lock failed.", 1},
        {"unlisted final text", texts({"0x00|Transfering file to VXC", "0x00|process completed"}),
         nullptr, nullptr, kError, 2},
        {"three polls without a job state", texts({none}), nullptr, nullptr, kError, 3},
        {"a job text refills the allowance",
         texts({none, none, "0x00|updating firmware", none, none, "0x00|Process Completed"}),
         nullptr, nullptr, kInstalled, 6},
        {"the refilled allowance runs out", texts({none, none, "0x00|updating firmware", none}),
         nullptr, nullptr, kError, 6},
        {"request refused with a code", texts({"0x00|Process Completed"}), Json{{"return", 1}},
         nullptr, "56: Package installation error message: ", 0},
        {"request refused with a CIM error", texts({"0x00|Process Completed"}),
         Json{{"status", {{"rc", 1}, {"message", "VXC is busy"}}}}, nullptr,
         "56: Package installation error message: VXC is busy", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        use_controller(c.steps, c.install);
        RunRecord run = run_uris(runpkg::uri_list(kBase, {"uefi"}), c.updateArgs);
        EXPECT_EQ("1|uefi: " + c.last + "|", run.statusText);
        std::vector<std::string> statuses = statuses_of(run.trace, "uefi");
        ASSERT_FALSE(statuses.empty());
        EXPECT_EQ(c.last, statuses.back());
        EXPECT_EQ(c.polls, requests(run.journal, "CIM_ConcreteJob", "EnumerateInstances").size());
        std::vector<Json> sent =
            requests(run.journal, "QEL_SoftwareInstallationService", "InstallFromURI");
        ASSERT_EQ(1u, sent.size());
        EXPECT_EQ(Json::array({"uint8", c.bank}), entry(sent[0]["args"], "Update_Operation"));
    }
}

TEST_F(ControllerOutcomes, InProgressTextsAreRecordedAsTheJobWalksThem) {
    use_controller(texts({"0x00|Initialization", "0x00|Initialization", "0x00|VXC rebooting",
                          "0x00|Process Completed"}),
                   nullptr);
    RunRecord run = run_uris(runpkg::uri_list(kBase, {"uefi"}));
    EXPECT_EQ((std::vector<std::string>{"0: Package Initialization finished successfully",
                                        "62: Initialization and Package installation is running.",
                                        "62: Initialization and Package installation is running.",
                                        "62: VXC rebooting and Package installation is running.",
                                        kInstalled}),
              statuses_of(run.trace, "uefi"));
}

// A refused package is marked failed and never asked for again; the run goes on with the next.
TEST_F(ControllerOutcomes, RefusedRequestIsNotRetried) {
    use_controller(texts({"0x00|Process Completed"}), Json{{"return", {1, 4096}}});
    RunRecord run = run_uris(runpkg::uri_list(kBase, {"uefi", "vxc"}));
    EXPECT_EQ("1|uefi: 56: Package installation error message: |"
              "vxc: 50: Package installation successfully.|",
              run.statusText);
    EXPECT_EQ(
        (std::vector<std::string>{kBase + std::string("uefi.bin"), kBase + std::string("vxc.bin")}),
        arg_values(run.journal, "QEL_SoftwareInstallationService", "InstallFromURI", "URI"));
}

// Only the last job instance enumerated decides, whatever the others say.
TEST_F(ControllerOutcomes, LastOfSeveralJobsDecides) {
    const Json stale =
        Json::array({{{"keys", {{"InstanceID", "QEL:VXCUpdate:0"}}},
                      {"properties", {{"JobStatus", "0x00|Get active lock failed"}}}},
                     {{"keys", {{"InstanceID", "QEL:VXCUpdate:00"}}},
                      {"properties", {{"JobStatus", "0x20|updating firmware"}}}}});
    use_controller(texts({"0x00|updating firmware", "0x00|Process Completed"}), nullptr, stale);
    RunRecord run = run_uris(runpkg::uri_list(kBase, {"vxc"}));
    EXPECT_EQ("1|vxc: 50: Package installation successfully.|", run.statusText);
}

} // namespace
