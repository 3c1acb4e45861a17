// Runs that reach every vendor family of the simulated host: the management controller's
// firmware categories, Brocade, Emulex CNA and FC, QLogic, Broadcom and LSI packages in one
// InstallFromURI, and a hypervisor bundle. One set of runs succeeds on the shipped default host,
// the other fails in a different way for every family. Tests that look for what runs leave
// behind (objects, descriptors, threads, memory) make them again and again.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "vendor_host.h"

namespace familyruns {

using hostsim::sim::Json;
using vendorhost::adapter_archive;
using vendorhost::Package;
using vendorhost::PayloadForm;

constexpr const char *kBundle = "ftp://depot.example/bundles/esxi-8.0u2/";
constexpr const char *kInstalled = "50: Package installation successfully.";

inline Json shipped_default() {
    return Json::parse(testfiles::read(runhost::source_file("hostsim/scenarios/default.json")));
}

// Package id -> "code: message" of its last status in a status text "n|id: code: message|...".
inline std::map<std::string, std::string> statuses(const std::string &statusText) {
    std::map<std::string, std::string> found;
    size_t start = statusText.find('|') + 1;
    for (size_t bar; (bar = statusText.find('|', start)) != std::string::npos; start = bar + 1) {
        const std::string line = statusText.substr(start, bar - start);
        const size_t colon = line.find(": ");
        found[line.substr(0, colon)] = colon == std::string::npos ? "" : line.substr(colon + 2);
    }
    return found;
}

inline Package archive_package(const std::string &id, const std::string &name,
                               const std::string &category) {
    return {id, name, category, {{"fw/" + id + ".img", "image"}, {"fw/flash.cfg", "flash"}}};
}

inline Package firmware_package(const std::string &id, const std::string &category) {
    return {id, "System " + category + " firmware", category, {}, PayloadForm::kFirmware};
}

// One package of every family the default host has an adapter or a service for.
inline std::vector<Package> every_family() {
    return {
        {"brcd", "Brocade 825 FC HBA firmware", "Fibre",
         adapter_archive({{"brocade/bfa825.bin", {"Brocade-825"}}})},
        {"cna", "Emulex OneConnect CNA firmware", "Network",
         adapter_archive({{"emulex/oce11102.ufi", {"OCe11102"}}})},
        {"fc", "Emulex LPe12002 FC HBA firmware", "Fibre",
         adapter_archive({{"emulex/lpe12002.grp", {"LPe12002"}}})},
        {"qlgc", "QLogic QLE2562 FC HBA firmware", "Fibre",
         adapter_archive({{"qlogic/qle2562.bin", {"QLE2562"}}})},
        archive_package("nic", "Broadcom NetXtreme II firmware", "Network"),
        archive_package("sas", "SAS HBA firmware", "SAS"),
        firmware_package("uefi", "UEFI"),
        firmware_package("diag", "Diagnostics"),
        firmware_package("vxc", "VXC"),
        firmware_package("fpga", "FPGA"),
    };
}

// The default host where every family's request fails: the controller and Broadcom refuse
// with a code, Brocade and the Emulex CNA answer codes they do not know, the Emulex FC request
// fails as a call, QLogic's archive lacks its payload, the LSI archive is no zip at all, and
// the hypervisor's update service cannot read the bundle.
inline Json failing_host() {
    Json scenario = shipped_default();
    scenario["controller"]["methods"]["InstallFromURI"] = {{"return", 1}};
    scenario["brocade"]["methods"]["InstallFromURI"] = {{"return", 4097}};
    scenario["emulex"]["methods"]["ELXUCNA_SoftwareInstallationService.InstallFromURI"] = {
        {"return", 4097}};
    scenario["emulex"]["methods"]["ELXHBA_SoftwareInstallationService.InstallFromURI"] = {
        {"status", {{"rc", 1}, {"message", "adapter busy"}}}};
    scenario["broadcom"]["methods"]["InstallFromURI"] = {{"return", 1}};
    scenario["hypervisor"]["methods"]["InstallFromURI"] = {
        {"status", {{"rc", 1}, {"message", "bundle unreadable"}}}};
    return scenario;
}

// Every family's package for the failing host (ids apart from every_family()'s, so that both
// sets can lie side by side).
inline std::vector<Package> every_family_failing() {
    return {
        {"badbrcd", "Brocade 825 FC HBA firmware", "Fibre",
         adapter_archive({{"brocade/bfa825.bin", {"Brocade-825"}}})},
        {"badcna", "Emulex OneConnect CNA firmware", "Network",
         adapter_archive({{"emulex/oce11102.ufi", {"OCe11102"}}})},
        {"badfc", "Emulex LPe12002 FC HBA firmware", "Fibre",
         adapter_archive({{"emulex/lpe12002.grp", {"LPe12002"}}})},
        {"badqlgc", "QLogic QLE2562 FC HBA firmware", "Fibre",
         adapter_archive({{"qlogic/qle2562.bin", {"QLE2562"}, 0, false}})},
        archive_package("badnic", "Broadcom NetXtreme II firmware", "Network"),
        vendorhost::broken_package("badsas", "SAS HBA firmware", "SAS"),
        firmware_package("badvxc", "VXC"),
    };
}

// The status text of a run of every_family_failing() and missing_uri() on failing_host().
// Broadcom answers the same code as a Brocade request that cannot be built.
constexpr const char *kFailedStatus =
    "0|badbrcd: 58: Unsupported Target Type.|badcna: 58: Unsupported target type."
    "|badfc: 57: Package installation error happened."
    "|badqlgc: 55: The path or file does not exist."
    "|badnic: 54: Error when Create Input Parameter and the installation failed."
    "|badsas: 55: The path or file does not exist."
    "|badvxc: 56: Package installation error message: "
    "|missing: 12: Pakcage XML can't be opened.|";

// The URI of a package nobody wrote.
inline std::string missing_uri() {
    return "file://" + std::string(vendorhost::kPackageDir) + "missing.xml";
}

// Writes `packages` and joins their URIs, in the order given, with `extra` last.
inline std::string uri_list(const std::vector<Package> &packages, const std::string &extra = "") {
    std::string uris;
    for (const Package &p : packages) {
        vendorhost::write_package(p);
        uris += (uris.empty() ? "" : "|") + p.uri();
    }
    return extra.empty() ? uris : uris + "|" + extra;
}

} // namespace familyruns
