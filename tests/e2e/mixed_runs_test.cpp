// Broadcom and LSI packages, which hand the whole unpacked archive to their vendor, and a run
// of every package family together on the shipped default host.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "family_runs.h"
#include "vendor_host.h"

namespace {

using namespace vendorhost;

using familyruns::archive_package;
using familyruns::every_family;
using familyruns::shipped_default;
using familyruns::statuses;

using FirmwareRuns = VendorHost;
using MixedRun = VendorHost;

// Broadcom and LSI packages give their vendor the working area itself; the categories
// "Korvastor", "SAS" and "Hard Disk Drive" go to LSI whatever the name says. A package whose
// archive cannot be unpacked still asks its vendor, who finds no directory (the package before
// it succeeded and removed the working area).
TEST_F(FirmwareRuns, BroadcomAndLsiInstallFromTheWorkingArea) {
    Json scenario = shipped_default();
    scenario["lsi"]["methods"]["InstallFromURI"] = {{"return", {0, 0, 0, 4096}}};
    use_scenario(scenario);
    // Installed in reverse.
    RunOutcome run = install({
        archive_package("hdd", "Disk drive firmware", "Hard Disk Drive"),
        broken_package("broken", "SAS HBA firmware", "SAS"),
        archive_package("sas", "Broadcom SAS 9300 HBA firmware", "SAS"),
        archive_package("raid", "RAID adapter firmware", "Korvastor"),
        archive_package("nic", "Broadcom NetXtreme II firmware", "Network"),
    });

    EXPECT_EQ((std::vector<std::string>{
                  "BRCMFWUP_SoftwareInstallationService - /var/tmp/QEL/Xorvo/Package/",
                  "ORPV_SoftwareInstallationService - /var/tmp/QEL/Xorvo/Package/",
                  "ORPV_SoftwareInstallationService - /var/tmp/QEL/Xorvo/Package/",
                  "ORPV_SoftwareInstallationService - /var/tmp/QEL/Xorvo/Package/",
                  "ORPV_SoftwareInstallationService - /var/tmp/QEL/Xorvo/Package/",
              }),
              installs(run.journal));
    std::vector<Json> broadcom =
        requests(run.journal, "BRCMFWUP_SoftwareInstallationService", "InstallFromURI");
    ASSERT_EQ(1u, broadcom.size());
    EXPECT_EQ(Json::parse(R"({"namespace": "brcmfwup/cimv2",
        "class": "BRCMFWUP_SoftwareInstallationService", "operation": "InstallFromURI",
        "keys": [["SystemCreationClassName", "string", "BRCMFWUP Provider"],
                 ["SystemName", "string", "Management Controller"],
                 ["Name", "string", "BRCMFWUPSoftwareInstallationService"],
                 ["CreationClassName", "string", "BRCMFWUP_SoftwareInstallationService"]],
        "args": [["URI", "string", "/var/tmp/QEL/Xorvo/Package/"]]})"),
              broadcom[0]);
    std::vector<Json> lsi =
        requests(run.journal, "ORPV_SoftwareInstallationService", "InstallFromURI");
    ASSERT_EQ(4u, lsi.size());
    EXPECT_EQ(Json::parse(R"({"namespace": "orpv/cimv2",
        "class": "ORPV_SoftwareInstallationService", "operation": "InstallFromURI",
        "keys": [["SystemCreationClassName", "string", "ORPV Provider"],
                 ["SystemName", "string", "Management Controller"],
                 ["Name", "string", "ORPVSoftwareInstallationService"],
                 ["CreationClassName", "string", "ORPV_SoftwareInstallationService"]],
        "args": [["URI", "string", "/var/tmp/QEL/Xorvo/Package/"]]})"),
              lsi[0]);

    EXPECT_EQ("0|hdd: 57: Package installation error happened."
              "|broken: 55: The path or file does not exist."
              "|sas: 50: Package installation successfully."
              "|raid: 50: Package installation successfully."
              "|nic: 50: Package installation successfully.|",
              run.statusText);
    EXPECT_EQ(7u, run.jobState);
    EXPECT_EQ(3u, count_of(run.trace, "util_remove_file successfully."));
}

// Every package family in one InstallFromURI on the shipped default host: controller firmware
// of each category, Brocade, Emulex CNA and FC, QLogic, Broadcom and LSI. Every package ends
// at 50 and the job is Completed.
TEST_F(MixedRun, EveryFamilyInstallsOnTheDefaultHost) {
    use_scenario(shipped_default());
    const std::vector<Package> packages = every_family();
    RunOutcome run = install(packages);

    // System firmware first, controller and FPGA last, the rest from the last listed down.
    EXPECT_EQ((std::vector<std::string>{
                  "QEL_SoftwareInstallationService - file:///tmp/pkgs/uefi.bin",
                  "QEL_SoftwareInstallationService - file:///tmp/pkgs/diag.bin",
                  "ORPV_SoftwareInstallationService - /var/tmp/QEL/Xorvo/Package/",
                  "BRCMFWUP_SoftwareInstallationService - /var/tmp/QEL/Xorvo/Package/",
                  "QLogicFCHBA_SoftwareInstallationService 2100001B32A1B2C3 qlogic/qle2562.bin",
                  "QLogicFCHBA_SoftwareInstallationService 2100001B32A1B2C3 qlogic/qle2562.bin",
                  "ELXHBA_SoftwareInstallationService 10000000C9A1B2C3 emulex/lpe12002.grp",
                  "ELXUCNA_SoftwareInstallationService 0000:05:00.0 emulex/oce11102.ufi",
                  "ELXUCNA_SoftwareInstallationService 0000:05:00.1 emulex/oce11102.ufi",
                  "BROCADE_HBASoftwareInstallationService BUK0825A01-0 brocade/bfa825.bin",
                  "BROCADE_HBASoftwareInstallationService BUK0825A01-1 brocade/bfa825.bin",
                  "QEL_SoftwareInstallationService - file:///tmp/pkgs/vxc.bin",
                  "QEL_SoftwareInstallationService - file:///tmp/pkgs/fpga.bin",
              }),
              installs(run.journal));
    std::map<std::string, std::string> last = statuses(run.statusText);
    ASSERT_EQ(packages.size(), last.size()) << run.statusText;
    for (const Package &p : packages) {
        EXPECT_EQ("50: Package installation successfully.", last[p.id]) << p.id;
    }
    EXPECT_EQ(0u, run.statusText.rfind("1|", 0)) << "the last package finished the run";
    EXPECT_EQ(7u, run.jobState);
    EXPECT_EQ(run.statusText, run.jobStatus);
}

} // namespace
