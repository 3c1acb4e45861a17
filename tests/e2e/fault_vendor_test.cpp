// A vendor provider that dies or stops answering on its InstallFromURI in the middle of a run of
// every package family. The simulated host's broker fails a call whose provider dies with
// CIM_ERR_FAILED in sfcb's words, and waits for one that hangs as sfcb does, unless a call
// timeout is set; only that vendor's package fails, with the code its installer records for a
// failed call to its provider, and every other package installs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "family_runs.h"
#include "vendor_host.h"

namespace {

using namespace vendorhost;

constexpr const char *kFailedCall = "57: Package installation error happened.";
constexpr const char *kCallError = "56: Package installation error message: ";

using familyruns::archive_package;
using familyruns::kInstalled;
using familyruns::shipped_default;
using familyruns::statuses;

// One package of each family; the controller's only once, since a controller that fails takes
// every controller package with it.
std::vector<Package> every_family() {
    std::vector<Package> packages = familyruns::every_family();
    packages.erase(std::remove_if(packages.begin(), packages.end(),
                                  [](const Package &p) {
                                      return p.id == "diag" || p.id == "vxc" || p.id == "fpga";
                                  }),
                   packages.end());
    return packages;
}

struct VendorFault {
    const char *name;
    const char *section; // the scenario section of the faulty vendor
    const char *method;  // its method entry
    const char *service; // the class whose InstallFromURI fails
    const char *provider;
    const char *package;    // the package that fails
    bool callErrorInStatus; // the installer puts the broker's message into the status
};

void PrintTo(const VendorFault &fault, std::ostream *os) {
    *os << fault.name;
}

const VendorFault kFaults[] = {
    {"Brocade", "brocade", "InstallFromURI", "BROCADE_HBASoftwareInstallationService",
     "BROCADE_Provider", "brcd", false},
    {"EmulexCna", "emulex", "ELXUCNA_SoftwareInstallationService.InstallFromURI",
     "ELXUCNA_SoftwareInstallationService", "ELX_Provider", "cna", false},
    {"EmulexFc", "emulex", "ELXHBA_SoftwareInstallationService.InstallFromURI",
     "ELXHBA_SoftwareInstallationService", "ELX_Provider", "fc", false},
    {"QLogic", "qlogic", "InstallFromURI", "QLogicFCHBA_SoftwareInstallationService",
     "QLGC_Provider", "qlgc", false},
    {"Broadcom", "broadcom", "InstallFromURI", "BRCMFWUP_SoftwareInstallationService",
     "BRCMFWUP_Provider", "nic", false},
    {"Lsi", "lsi", "InstallFromURI", "ORPV_SoftwareInstallationService", "ORPV_Provider", "sas",
     false},
    {"Controller", "controller", "InstallFromURI", "QEL_SoftwareInstallationService",
     "QEL_ControllerProvider", "uefi", true},
};

class VendorFaults : public VendorHost {
  protected:
    void TearDown() override {
        // An abandoned call ends by itself once its hang is over; none outlives the test.
        const auto cap = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (hostsim::abandoned_calls() > 0 && std::chrono::steady_clock::now() < cap) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(0u, hostsim::abandoned_calls());
        hostsim::set_call_timeout(std::chrono::milliseconds(0));
        VendorHost::TearDown();
    }

    // Runs every family with `reply` merged into the faulty vendor's method entry.
    RunOutcome run_with(const VendorFault &fault, const Json &reply) {
        Json scenario = shipped_default();
        for (const auto &item : reply.items()) {
            scenario[fault.section]["methods"][fault.method][item.key()] = item.value();
        }
        use_scenario(scenario);
        return install(every_family());
    }

    // Only the faulty vendor's package failed, after exactly one request to that vendor, and
    // the broker's text reached the trace log (and the status, for the installers that put it
    // there; a line end of the text stands in the status, and ends the trace record).
    static void expect_only_package_failed(const VendorFault &fault, const RunOutcome &run,
                                           const std::string &brokerAnswer) {
        const std::string brokerText = brokerAnswer.substr(0, brokerAnswer.find('\n'));
        std::map<std::string, std::string> last = statuses(run.statusText);
        ASSERT_EQ(every_family().size(), last.size()) << run.statusText;
        for (const Package &p : every_family()) {
            if (p.id != fault.package) {
                EXPECT_EQ(kInstalled, last[p.id]) << p.id;
            }
        }
        EXPECT_EQ(fault.callErrorInStatus ? kCallError + brokerAnswer : std::string(kFailedCall),
                  last[fault.package]);
        EXPECT_EQ(1u, requests(run.journal, fault.service, "InstallFromURI").size());
        EXPECT_NE(0u, count_of(run.trace, "Package installation error message: " + brokerText) +
                          count_of(run.trace,
                                   fault.package + std::string(": ") + kCallError + brokerText))
            << "the broker's text is traced";
        EXPECT_EQ(7u, run.jobState) << "the job still completes";
    }
};

class VendorCrash : public VendorFaults, public ::testing::WithParamInterface<VendorFault> {};
class VendorHang : public VendorFaults, public ::testing::WithParamInterface<VendorFault> {};

TEST_P(VendorCrash, OnlyThatVendorsPackageFails) {
    const VendorFault &fault = GetParam();
    RunOutcome run = run_with(fault, {{"fault", "crash"}});
    expect_only_package_failed(fault, run,
                               std::string("*** Provider ") + fault.provider + "(" +
                                   std::to_string(getpid()) +
                                   ") exiting due to a SIGSEGV signal\n");
}

// With a call timeout (HOSTSIM_CALL_TIMEOUT), a hanging call is abandoned when it is up.
TEST_P(VendorHang, OnlyThatVendorsPackageFails) {
    const VendorFault &fault = GetParam();
    hostsim::set_call_timeout(std::chrono::seconds(2));
    RunOutcome run = run_with(fault, {{"fault", "hang"}, {"hang_seconds", 3}});
    expect_only_package_failed(fault, run,
                               std::string("provider ") + fault.provider +
                                   " did not answer InstallFromURI within 2 s; the call was "
                                   "abandoned");
}

INSTANTIATE_TEST_SUITE_P(Families, VendorCrash, ::testing::ValuesIn(kFaults),
                         [](const auto &info) { return std::string(info.param.name); });
// A hang costs a call timeout: one adapter family and the controller, whose installer records
// the broker's text.
INSTANTIATE_TEST_SUITE_P(Families, VendorHang, ::testing::Values(kFaults[0], kFaults[6]),
                         [](const auto &info) { return std::string(info.param.name); });

// The provider that died is reached again by the next request: of two Broadcom packages, the
// one installed first meets the crash and the other installs.
TEST_F(VendorFaults, CrashedProviderAnswersTheNextRequest) {
    Json scenario = shipped_default();
    scenario["broadcom"]["methods"]["InstallFromURI"]["fault"] = {"crash", nullptr};
    use_scenario(scenario);
    // Installed from the last listed to the first.
    RunOutcome run = install({archive_package("nic1", "Broadcom NetXtreme II firmware", "Network"),
                              archive_package("nic2", "Broadcom NetXtreme E firmware", "Network"),
                              archive_package("sas", "SAS HBA firmware", "SAS")});
    std::map<std::string, std::string> last = statuses(run.statusText);
    EXPECT_EQ(kInstalled, last["nic1"]);
    EXPECT_EQ(kFailedCall, last["nic2"]);
    EXPECT_EQ(kInstalled, last["sas"]);
    EXPECT_EQ(
        2u, requests(run.journal, "BRCMFWUP_SoftwareInstallationService", "InstallFromURI").size());
}

// Without a call timeout a hanging call is waited for, as sfcb waits: the run holds the
// provider busy, every later InstallFromURI is refused and ResetCimmon does not help, until the
// call answers (here when its hang is over) and the run goes on to its end.
TEST_F(VendorFaults, HangingCallHoldsTheRunUntilItAnswers) {
    unsetenv(hostsim::kCallTimeoutVariable);
    hostsim::set_call_timeout(std::chrono::milliseconds(0));
    Json scenario = shipped_default();
    scenario["brocade"]["methods"]["InstallFromURI"]["fault"] = "hang";
    scenario["brocade"]["methods"]["InstallFromURI"]["hang_seconds"] = 3;
    use_scenario(scenario);
    const std::vector<Package> brocade = {familyruns::every_family()[0]};
    RunOutcome run;
    std::thread runner([&] { run = install(brocade); });
    while (requests(hostsim::sim::read_journal(runhost::kJournal),
                    "BROCADE_HBASoftwareInstallationService", "InstallFromURI")
               .empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (bool reset : {false, true}) {
        if (reset) {
            hostsim::CallScope scope;
            CMPIObjectPath *service = CMNewObjectPath(hostsim::broker(), "zelk/cimv2",
                                                      "XORVO_VMpkgInstallationService", nullptr);
            CMPIArgs *none = CMNewArgs(hostsim::broker(), nullptr);
            CMPIContext *context = hostsim::new_context();
            CMPIStatus status{CMPI_RC_OK, nullptr};
            CBInvokeMethod(hostsim::broker(), context, service, "ResetCimmon", none, none, &status);
            CMRelease(context);
            EXPECT_EQ(CMPI_RC_OK, status.rc);
        }
        runhost::Call refused = runhost::RunHost::install(brocade[0].uri());
        EXPECT_EQ(CMPI_RC_ERR_FAILED, refused.rc) << reset;
        EXPECT_EQ(runhost::kBusy, refused.message) << reset;
    }
    EXPECT_EQ(0u, hostsim::abandoned_calls());
    runner.join();
    EXPECT_GE(run.seconds, 3.0);
    EXPECT_EQ(kFailedCall, statuses(run.statusText)["brcd"]);
    EXPECT_EQ(1u, count_of(run.trace, "Package installation error message: brocade: method "
                                      "brocade.InstallFromURI: hung, as the scenario asks"));
}

} // namespace
