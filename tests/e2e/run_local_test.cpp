// Runs of local ("file://") controller packages: the installation order across categories and
// prerequisites, the status file a whole run leaves, descriptors that cannot be used, and the
// real length of the provider's pauses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_host.h"
#include "run_packages.h"

namespace {

using namespace runhost;
using runpkg::Package;

constexpr const char *kDir = "/tmp/pkgs";
constexpr const char *kBase = "file:///tmp/pkgs/";
constexpr const char *kInstalled = "50: Package installation successfully.";

class LocalRuns : public RunHost {};

TEST_F(LocalRuns, EveryCategoryInstallsInCategoryAndPrerequisiteOrder) {
    // Listed scrambled; the VXC packages need the diagnostics and the FPGA package first.
    const std::vector<Package> packages = {
        {"diag", "Diagnostics", "QEL_DIAG_2.1", {}},        {"fpga", "FPGA", "QEL_FPGA_1.4", {}},
        {"vxc2", "VXC2", "QEL_VXC2_3.0", {"QEL_FPGA_1.4"}}, {"uefi", "UEFI", "QEL_UEFI_7.2", {}},
        {"vxc", "VXC", "QEL_VXC_3.0", {"QEL_DIAG_2.1"}},
    };
    for (const Package &p : packages) {
        runpkg::write_package(kDir, p);
    }
    RunRecord run = run_uris(runpkg::uri_list(kBase, {"diag", "fpga", "vxc2", "uefi", "vxc"}));

    const std::string service = "QEL_SoftwareInstallationService";
    EXPECT_EQ(
        (std::vector<std::string>{kBase + std::string("uefi.bin"), kBase + std::string("fpga.bin"),
                                  kBase + std::string("diag.bin"), kBase + std::string("vxc.bin"),
                                  kBase + std::string("vxc2.bin")}),
        arg_values(run.journal, service, "InstallFromURI", "URI"));
    for (const Json &request : requests(run.journal, service, "InstallFromURI")) {
        EXPECT_EQ("qel/cimv2", request["namespace"]);
        EXPECT_EQ(Json::parse(R"([["SystemCreationClassName","string","QEL_ManagementController"],
            ["SystemName","string","ManagementController"],
            ["CreationClassName","string","QEL_SoftwareInstallationService"],
            ["Name","string","VXCSoftwareInstallatiIonService"]])"),
                  request["keys"]);
        EXPECT_EQ(Json::parse(R"(["uint8", 0])"), entry(request["args"], "Update_Operation"));
        EXPECT_EQ("string", entry(request["args"], "URI")[0]);
    }
    // Each package's job walks the shipped controller's five texts.
    EXPECT_EQ(25u, requests(run.journal, "CIM_ConcreteJob", "EnumerateInstances").size());
    EXPECT_EQ((std::vector<std::string>{
                  "0: Package Initialization finished successfully",
                  "62: Initialization and Package installation is running.",
                  "62: Transfering file to VXC and Package installation is running.",
                  "62: Updating and Package installation is running.",
                  "62: VXC rebooting and Package installation is running.", kInstalled}),
              statuses_of(run.trace, "fpga"));

    // The last status written is vxc2's, which is not the last record: completion flag 0.
    EXPECT_EQ("0|diag: 50: Package installation successfully.|"
              "fpga: 50: Package installation successfully.|"
              "vxc2: 50: Package installation successfully.|"
              "uefi: 50: Package installation successfully.|"
              "vxc: 50: Package installation successfully.|",
              run.statusText);

    // Local files are never fetched; their deletion is asked for and refused by the store.
    EXPECT_TRUE(requests(run.journal, "QEL_FileTransferService", "TransferViaTFTP").empty());
    EXPECT_TRUE(requests(run.journal, "QEL_FileTransferService", "TransferViaURL").empty());
    EXPECT_EQ(
        (std::vector<std::string>{kBase + std::string("diag.xml"), kBase + std::string("fpga.xml"),
                                  kBase + std::string("vxc2.xml"), kBase + std::string("uefi.xml"),
                                  kBase + std::string("vxc.xml"), kBase + std::string("uefi.bin"),
                                  kBase + std::string("fpga.bin"), kBase + std::string("diag.bin"),
                                  kBase + std::string("vxc.bin"), kBase + std::string("vxc2.bin")}),
        arg_values(run.journal, "QEL_FileTransferService", "DeleteTransferredFile", "FileURI"));
    for (const Package &p : packages) {
        EXPECT_TRUE(testfiles::exists(kDir + ("/" + p.id + ".bin"))) << p.id;
    }
}

TEST_F(LocalRuns, UnreadableDescriptorsAndUnsupportedTypesInstallNothing) {
    // The unsupported tool names uefi as its prerequisite, which leaves uefi's order alone.
    runpkg::write_package(kDir, {"tool", "Diagnostics", "QEL_TOOL_1", {"QEL_UEFI_7.2"}, "2"});
    runpkg::write_package(kDir, {"tool01", "Diagnostics", "QEL_TOOL_2", {}, "01"});
    runpkg::write_package(kDir, {"uefi", "UEFI", "QEL_UEFI_7.2", {}});
    RunRecord run = run_uris(runpkg::uri_list(kBase, {"missing", "tool", "tool01", "uefi"}));

    // Order: uefi (250), then the unsupported ones (1001, higher index first), then the
    // descriptor that could not be opened (1002), which no installer takes.
    EXPECT_EQ("0|missing: 12: Pakcage XML can't be opened.|"
              "tool: 80: This package is not supported by current ZELK provider.|"
              "tool01: 80: This package is not supported by current ZELK provider.|"
              "uefi: 50: Package installation successfully.|",
              run.statusText);
    EXPECT_EQ((std::vector<std::string>{kBase + std::string("uefi.bin")}),
              arg_values(run.journal, "QEL_SoftwareInstallationService", "InstallFromURI", "URI"));
    EXPECT_EQ(
        (std::vector<std::string>{"0: Package Initialization finished successfully",
                                  "80: This package is not supported by current ZELK provider."}),
        statuses_of(run.trace, "tool01"));
}

// Without the fast clock: the pause after the request to the controller (10 s) is really waited
// for, though the job completes at its first poll.
TEST_F(LocalRuns, PausesLastTheirRealLength) {
    use_real_clock();
    Json scenario = default_scenario();
    scenario["controller"]["job"]["steps"]["JobStatus"] = Json::array({"0x00|Process Completed"});
    use_scenario(scenario);
    runpkg::write_package(kDir, {"uefi", "UEFI", "QEL_UEFI_7.2", {}});
    RunRecord run = run_uris(runpkg::uri_list(kBase, {"uefi"}));

    EXPECT_EQ("1|uefi: 50: Package installation successfully.|", run.statusText);
    EXPECT_EQ(1u, requests(run.journal, "CIM_ConcreteJob", "EnumerateInstances").size());
    EXPECT_GE(run.seconds, 10.0);
    EXPECT_LT(run.seconds, 20.0) << "a pause that was not asked for";
}

} // namespace
