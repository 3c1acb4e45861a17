// Hypervisor bundle runs ("ftp://" locations): what the hypervisor's update service is asked and
// how its job texts end the package. The bundle is never fetched by the provider.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_host.h"

namespace {

using namespace runhost;

constexpr const char *kBundle = "ftp://depot.example/bundles/esxi-8.0u2/";
constexpr const char *kService = "VMware_SoftwareInstallationService";
constexpr const char *kScanning = "Scanning URI for installable packages";
constexpr const char *kScanned =
    "Scan of URI Complete and installable packages found. Starting Update.";
constexpr const char *kCompleted = "The update completed successfully, but the system needs to be "
                                   "rebooted for the changes to be effective.";
constexpr const char *kError = "57: Package installation error happened.";

Json service_of(const std::string &host) {
    return {{"keys",
             {{"CreationClassName", kService},
              {"SystemName", host},
              {"Name", "SoftwareInstallationService"},
              {"SystemCreationClassName", "OMC_UnitaryComputerSystem"}}}};
}

Json system_of(const std::string &host) {
    return {{"keys", {{"CreationClassName", "OMC_UnitaryComputerSystem"}, {"Name", host}}}};
}

class HypervisorRuns : public RunHost {};

// The bundle location is a directory; its package id is empty, so status lines begin with ": ".
TEST_F(HypervisorRuns, BundleInstallsFromItsMetadataFile) {
    RunRecord run = run_uris(kBundle);
    EXPECT_EQ("1|: 50: Package installation successfully.|", run.statusText);
    EXPECT_EQ((std::vector<std::string>{
                  "0: Package Initialization finished successfully",
                  "60: Scanning URI for installable packages.",
                  "61: Scan of URI Complete and installable packages found. Starting Update.",
                  "50: Package installation successfully."}),
              statuses_of(run.trace, ""));

    std::vector<Json> sent = requests(run.journal, kService, "InstallFromURI");
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ("root/cimv2", sent[0]["namespace"]);
    EXPECT_EQ(Json::parse(R"([["CreationClassName","string","VMware_SoftwareInstallationService"],
        ["SystemName","string","esxi-sim.example"],["Name","string","SoftwareInstallationService"],
        ["SystemCreationClassName","string","OMC_UnitaryComputerSystem"]])"),
              sent[0]["keys"]);
    EXPECT_EQ(
        Json::parse(R"([["URI","string","ftp://depot.example/bundles/esxi-8.0u2/metadata.zip"],
        ["Target","ref","root/cimv2:OMC_UnitaryComputerSystem.CreationClassName=\"OMC_UnitaryComputerSystem\",Name=\"esxi-sim.example\""]])"),
        sent[0]["args"]);
    EXPECT_EQ(1u, requests(run.journal, kService, "EnumerateInstances").size());
    EXPECT_EQ(3u, requests(run.journal, "VMware_ConcreteJob", "EnumerateInstances").size());
    for (const Json &record : run.journal) {
        EXPECT_NE("QEL_FileTransferService", record["class"]) << record.dump();
    }
}

TEST_F(HypervisorRuns, JobTextsAndRefusalsEndTheBundle) {
    struct Case {
        const char *what;
        Json hypervisor; // members replacing the shipped section's
        std::string last;
        size_t polls;
    } cases[] = {
        {"obsolete",
         {{"job",
           {{"class", "VMware_ConcreteJob"},
            {"steps",
             {{"JobStatus",
               Json::array({"Updates at supplied URI are obsolete or already installed"})}}}}}},
         "59: The Updates are obsolete or already installed.",
         1},
        {"unlisted text",
         {{"job",
           {{"class", "VMware_ConcreteJob"},
            {"steps", {{"JobStatus", Json::array({kScanning, kScanning + std::string(".")})}}}}}},
         kError,
         2},
        {"no job", {{"job", nullptr}}, kError, 1},
        {"request refused",
         {{"methods",
           {{"InstallFromURI", {{"status", {{"rc", 1}, {"message", "bundle unreadable"}}}}}}}},
         "56: Package installation error message: bundle unreadable",
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Json scenario = default_scenario();
        for (const auto &item : c.hypervisor.items()) {
            if (item.value().is_null()) {
                scenario["hypervisor"].erase(item.key());
            } else {
                scenario["hypervisor"][item.key()] = item.value();
            }
        }
        use_scenario(scenario);
        RunRecord run = run_uris(kBundle);
        EXPECT_EQ("1|: " + c.last + "|", run.statusText);
        EXPECT_EQ(c.polls,
                  requests(run.journal, "VMware_ConcreteJob", "EnumerateInstances").size());
    }
}

// The host name comes from the last service instance enumerated; without any, the request names
// no service the hypervisor knows.
TEST_F(HypervisorRuns, HostNameComesFromTheLastServiceInstance) {
    Json scenario = default_scenario();
    Json &instances = scenario["hypervisor"]["instances"];
    instances[kService] = Json::array({service_of("esxi-a"), service_of("esxi-b")});
    instances["OMC_UnitaryComputerSystem"] =
        Json::array({system_of("esxi-a"), system_of("esxi-b")});
    use_scenario(scenario);
    RunRecord run = run_uris(kBundle);
    EXPECT_EQ("1|: 50: Package installation successfully.|", run.statusText);
    std::vector<Json> sent = requests(run.journal, kService, "InstallFromURI");
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ(Json::parse(R"(["string", "esxi-b"])"), entry(sent[0]["keys"], "SystemName"));
    EXPECT_NE(std::string::npos,
              hostsim::sim::json_text(entry(sent[0]["args"], "Target")[1]).find("Name=\"esxi-b\""));

    instances[kService] = Json::array();
    use_scenario(scenario);
    run = run_uris(kBundle);
    EXPECT_EQ(0u,
              run.statusText.find("1|: 56: Package installation error message: no such instance"))
        << run.statusText;
}

// Only the first record is the bundle; the others of the run have nothing to fetch.
TEST_F(HypervisorRuns, FurtherLocationsOfABundleRunAreSkipped) {
    RunRecord run = run_uris(std::string(kBundle) + "|ftp://depot.example/bundles/other/index.xml");
    EXPECT_EQ("0|: 50: Package installation successfully.|"
              "index: 0: Package Initialization finished successfully|",
              run.statusText);
    EXPECT_EQ(1u, requests(run.journal, kService, "InstallFromURI").size());
}

} // namespace
