// Adapter packages (Brocade, Emulex CNA and FC, QLogic) installed by whole runs of the real
// provider on the simulated host: which adapters the vendors' providers report, what the
// installers send them, and what each outcome leaves in the status file and the job.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vendor_host.h"

namespace {

using namespace vendorhost;

// ---- The vendors' instances, as their providers report them ----

Json brocade_card(const std::string &model, const std::string &serial) {
    return {{"keys", {{"CreationClassName", "BROCADE_PhysicalPackage"}, {"Tag", "card-" + serial}}},
            {"properties", {{"Model", model}, {"SerialNumber", serial}}}};
}

// A port names its card by the card's serial number.
Json brocade_port(const std::string &cardSerial, const std::string &deviceId) {
    return {{"keys",
             {{"CreationClassName", "BROCADE_PortController"},
              {"DeviceID", deviceId},
              {"SystemCreationClassName", "BROCADE_ComputerSystem"},
              {"SystemName", "brocade-host"}}},
            {"properties", {{"Name", cardSerial}}}};
}

Json brocade_service(const std::string &systemName) {
    return {{"keys",
             {{"CreationClassName", "BROCADE_HBASoftwareInstallationService"},
              {"SystemName", systemName},
              {"Name", "Brocade Adapter Software Update Service"},
              {"SystemCreationClassName", "BROCADE_ComputerSystem"}}}};
}

Json emulex_service(const std::string &className, const std::string &name) {
    return {{"keys",
             {{"SystemCreationClassName", "OMC_UnitaryComputerSystem"},
              {"SystemName", "esxi-sim.example"},
              {"CreationClassName", className},
              {"Name", name}}}};
}

// The keys of an Emulex port that an installer names as its Target.
Json emulex_port_keys(const std::string &className, const std::string &deviceId) {
    return {{"SystemCreationClassName", "OMC_UnitaryComputerSystem"},
            {"SystemName", "esxi-sim.example"},
            {"CreationClassName", className},
            {"DeviceID", deviceId}};
}

// A CNA port's DeviceID key is the text after the first ":" of its InstanceID.
Json cna_port(const Json &instanceId) {
    const std::string id = instanceId.is_string() ? instanceId.get<std::string>() : "";
    const size_t colon = id.find(':');
    Json port = {{"keys", emulex_port_keys("ELXUCNA_EthernetPort",
                                           colon == std::string::npos ? id : id.substr(colon + 1))},
                 {"properties", Json::object()}};
    if (!instanceId.is_null()) {
        port["properties"]["InstanceID"] = instanceId;
    }
    return port;
}

Json fc_product(const Json &instanceId, const std::string &fieldV2) {
    Json product = {{"keys", Json::object()}, {"properties", {{"FieldV2", fieldV2}}}};
    if (!instanceId.is_null()) {
        product["keys"]["InstanceID"] = instanceId;
    }
    return product;
}

// The FC port of the adapter whose vital product data has this InstanceID.
Json fc_port(const std::string &instanceId) {
    return {{"keys", emulex_port_keys("ELXHBA_FCPort", instanceId)}};
}

Json qlogic_port(const std::string &deviceId, const Json &model) {
    Json port = {{"keys",
                  {{"CreationClassName", "QLogicFCHBA_FCPort"},
                   {"DeviceID", deviceId},
                   {"SystemCreationClassName", "QLogicFCHBA_ComputerSystem"},
                   {"SystemName", "qlogic-host"}}},
                 {"properties", Json::object()}};
    if (!model.is_null()) {
        port["properties"]["Model"] = model;
    }
    return port;
}

// The adapter of the ports whose DeviceID keys begin with `deviceId` and "_".
Json qlogic_adapter(const std::string &deviceId) {
    return {{"keys",
             {{"CreationClassName", "QLogicFCHBA_PortController"},
              {"DeviceID", deviceId},
              {"SystemCreationClassName", "QLogicFCHBA_ComputerSystem"},
              {"SystemName", "qlogic-host"}}}};
}

Json qlogic_service() {
    return {{"keys",
             {{"CreationClassName", "QLogicFCHBA_SoftwareInstallationService"},
              {"SystemName", "qlogic-host"},
              {"Name", "FC_SW_INSTALLER"},
              {"SystemCreationClassName", "QLogicFCHBA_ComputerSystem"}}}};
}

// One adapter of each family (a one-port Brocade card BRCD-A, CNA driver OCE, FC model LPE,
// QLogic model QLE) and InstallFromURI replies per family.
Json one_of_each(const Json &brocadeReply, const Json &cnaReply, const Json &fcReply,
                 const Json &qlogicReply) {
    return {
        {"brocade",
         {{"instances",
           {{"BROCADE_PhysicalPackage", {brocade_card("BRCD-A", "SNA")}},
            {"BROCADE_PortController", {brocade_port("SNA", "SNA-0")}},
            {"BROCADE_HBASoftwareInstallationService", {brocade_service("brocade-host")}}}},
          {"methods", {{"InstallFromURI", brocadeReply}}}}},
        {"emulex",
         {{"instances",
           {{"ELXUCNA_EthernetPort", {cna_port("OCE:0000:05:00.0")}},
            {"ELXUCNA_SoftwareInstallationService",
             {emulex_service("ELXUCNA_SoftwareInstallationService",
                             "ELXUCNA_SoftwareInstallationService")}},
            {"ELXHBA_VitalProductData", {fc_product("10000000C9A1B2C3", "LPE")}},
            {"ELXHBA_FCPort", {fc_port("10000000C9A1B2C3")}},
            {"ELXHBA_SoftwareInstallationService",
             {emulex_service("ELXHBA_SoftwareInstallationService",
                             "ELXHBA_FCSoftwareInstallationService")}}}},
          {"methods",
           {{"ELXUCNA_SoftwareInstallationService.InstallFromURI", cnaReply},
            {"ELXHBA_SoftwareInstallationService.InstallFromURI", fcReply}}}}},
        {"qlogic",
         {{"instances",
           {{"QLogicFCHBA_FCPort", {qlogic_port("2100001B32A1B2C3_0", "QLE")}},
            {"QLogicFCHBA_PortController", {qlogic_adapter("2100001B32A1B2C3")}},
            {"QLogicFCHBA_SoftwareInstallationService", {qlogic_service()}}}},
          {"methods", {{"InstallFromURI", qlogicReply}}}}},
    };
}

bool traced(const RunOutcome &run, const std::string &message) {
    return count_of(run.trace, message) > 0;
}

constexpr const char *kInstalled = "50: Package installation successfully.";
constexpr const char *kNoAdapter = "57: No driver file name that need to be update.";

using AdapterRuns = VendorHost;

// Every port of every card gets its card model's payload: one request per port, the same URI,
// each with its own Target. A card without a serial number and a port naming no card are not
// adapters. The service path's SystemName is the last service instance's.
TEST_F(AdapterRuns, BrocadePortsOfEveryCardGetTheirModelsPayload) {
    Json scenario = {
        {"brocade",
         {{"instances",
           {{"BROCADE_PhysicalPackage",
             {brocade_card("Brocade-825", "SN825"),
              brocade_card("Brocade-1860", "SN1860"),
              {{"keys", {{"CreationClassName", "BROCADE_PhysicalPackage"}, {"Tag", "x"}}},
               {"properties", {{"Model", "Brocade-415"}}}}}},
            {"BROCADE_PortController",
             {brocade_port("SN825", "SN825-0"), brocade_port("SN1860", "SN1860-0"),
              brocade_port("SN825", "SN825-1"), brocade_port("SN999", "SN999-0")}},
            {"BROCADE_HBASoftwareInstallationService",
             {brocade_service("old-host"), brocade_service("brocade-host")}}}}}}};
    use_scenario(scenario);
    RunOutcome run = install({adapter_package("brcd", "Brocade FC HBA firmware", "Fibre",
                                              {{"brocade/bfa825.bin", {"Brocade-825"}},
                                               {"brocade/bfa1860.bin", {"Brocade-1860"}},
                                               {"brocade/bfa415.bin", {"Brocade-415", "SN999"}}})});

    EXPECT_EQ((std::vector<std::string>{
                  "BROCADE_HBASoftwareInstallationService SN825-0 brocade/bfa825.bin",
                  "BROCADE_HBASoftwareInstallationService SN825-1 brocade/bfa825.bin",
                  "BROCADE_HBASoftwareInstallationService SN1860-0 brocade/bfa1860.bin",
              }),
              installs(run.journal));
    std::vector<Json> calls =
        requests(run.journal, "BROCADE_HBASoftwareInstallationService", "InstallFromURI");
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(Json::parse(R"({"namespace": "root/brocade",
        "class": "BROCADE_HBASoftwareInstallationService", "operation": "InstallFromURI",
        "keys": [["CreationClassName", "string", "BROCADE_HBASoftwareInstallationService"],
                 ["SystemName", "string", "brocade-host"],
                 ["Name", "string", "Brocade Adapter Software Update Service"],
                 ["SystemCreationClassName", "string", "BROCADE_ComputerSystem"]],
        "args": [["InstallOptions", "uint16[]", [4]],
                 ["Target", "ref", "root/brocade:BROCADE_PortController.CreationClassName=\"BROCADE_PortController\",DeviceID=\"SN825-0\",SystemCreationClassName=\"BROCADE_ComputerSystem\",SystemName=\"brocade-host\""],
                 ["URI", "string", "file:///var/tmp/QEL/Xorvo/Package/brocade/bfa825.bin"]]})"),
              calls[0]);

    EXPECT_EQ(std::string("1|brcd: ") + kInstalled + "|", run.statusText);
    EXPECT_EQ(7u, run.jobState);
    EXPECT_EQ(run.statusText, run.jobStatus);
    EXPECT_TRUE(traced(run, "util_remove_file successfully."));
}

// Each family finds its adapters as its vendor spells them: a CNA InstanceID split at its first
// ":" (the device id keeps the others), FC vital product data taken whole (one model on two
// adapters installs twice), a QLogic port's DeviceID cut at "_" (two ports of one adapter
// install twice on the adapter). Entries the vendors cannot address are left out.
TEST_F(AdapterRuns, EmulexAndQlogicAddressTheirAdaptersAsTheVendorsSpellThem) {
    Json scenario = one_of_each(Json::object(), Json::object(), Json::object(), Json::object());
    scenario["emulex"]["instances"]["ELXUCNA_EthernetPort"] = {cna_port("OCE:0000:05:00.0"),
                                                               cna_port(":0000:05:00.1"),
                                                               cna_port("OCE"), cna_port(nullptr)};
    scenario["emulex"]["instances"]["ELXHBA_VitalProductData"] = {
        fc_product("10000000C9A1B2C3", "LPE"), fc_product("10000000C9A1B2C4", "LPE"),
        fc_product(nullptr, "LPE")};
    scenario["emulex"]["instances"]["ELXHBA_FCPort"] = {fc_port("10000000C9A1B2C3"),
                                                        fc_port("10000000C9A1B2C4")};
    scenario["qlogic"]["instances"]["QLogicFCHBA_FCPort"] = {
        qlogic_port("2100001B32A1B2C3_0", "QLE"), qlogic_port("2100001B32A1B2C3_1", "QLE")};
    use_scenario(scenario);
    // Installed in reverse: CNA, FC, QLogic.
    RunOutcome run = install({
        adapter_package("qlgc", "QLogic 2500 Series FC HBA firmware", "Fibre",
                        {{"qlogic/ql25.bin", {"QLE"}}}),
        adapter_package("fc", "Emulex LPe FC HBA firmware", "Fibre", {{"emulex/lpe.grp", {"LPE"}}}),
        adapter_package("cna", "Emulex OneConnect CNA firmware", "Network",
                        {{"emulex/oce.ufi", {"OCE"}}}),
    });

    EXPECT_EQ((std::vector<std::string>{
                  "ELXUCNA_SoftwareInstallationService 0000:05:00.0 emulex/oce.ufi",
                  "ELXHBA_SoftwareInstallationService 10000000C9A1B2C3 emulex/lpe.grp",
                  "ELXHBA_SoftwareInstallationService 10000000C9A1B2C4 emulex/lpe.grp",
                  "QLogicFCHBA_SoftwareInstallationService 2100001B32A1B2C3 qlogic/ql25.bin",
                  "QLogicFCHBA_SoftwareInstallationService 2100001B32A1B2C3 qlogic/ql25.bin",
              }),
              installs(run.journal));

    std::vector<Json> cna =
        requests(run.journal, "ELXUCNA_SoftwareInstallationService", "InstallFromURI");
    ASSERT_EQ(1u, cna.size());
    EXPECT_EQ(Json::parse(R"({"namespace": "root/emulex",
        "class": "ELXUCNA_SoftwareInstallationService", "operation": "InstallFromURI",
        "keys": [["SystemCreationClassName", "string", "OMC_UnitaryComputerSystem"],
                 ["SystemName", "string", "esxi-sim.example"],
                 ["CreationClassName", "string", "ELXUCNA_SoftwareInstallationService"],
                 ["Name", "string", "ELXUCNA_SoftwareInstallationService"]],
        "args": [["Target", "ref", "root/emulex:ELXUCNA_EthernetPort.SystemCreationClassName=\"OMC_UnitaryComputerSystem\",SystemName=\"esxi-sim.example\",CreationClassName=\"ELXUCNA_EthernetPort\",DeviceID=\"0000:05:00.0\""],
                 ["URI", "string", "file:///var/tmp/QEL/Xorvo/Package/emulex/oce.ufi"]]})"),
              cna[0]);
    std::vector<Json> fc =
        requests(run.journal, "ELXHBA_SoftwareInstallationService", "InstallFromURI");
    ASSERT_EQ(2u, fc.size());
    EXPECT_EQ(Json::parse(R"([["SystemCreationClassName", "string", "OMC_UnitaryComputerSystem"],
        ["SystemName", "string", "esxi-sim.example"],
        ["CreationClassName", "string", "ELXHBA_SoftwareInstallationService"],
        ["Name", "string", "ELXHBA_FCSoftwareInstallationService"]])"),
              fc[1]["keys"]);
    EXPECT_EQ(
        Json::parse(
            R"([["Target", "ref", "root/emulex:ELXHBA_FCPort.SystemCreationClassName=\"OMC_UnitaryComputerSystem\",SystemName=\"esxi-sim.example\",CreationClassName=\"ELXHBA_FCPort\",DeviceID=\"10000000C9A1B2C4\""],
        ["URI", "string", "file:///var/tmp/QEL/Xorvo/Package/emulex/lpe.grp"]])"),
        fc[1]["args"]);
    std::vector<Json> qlogic =
        requests(run.journal, "QLogicFCHBA_SoftwareInstallationService", "InstallFromURI");
    ASSERT_EQ(2u, qlogic.size());
    EXPECT_EQ(Json::parse(R"({"namespace": "qlogic/cimv2",
        "class": "QLogicFCHBA_SoftwareInstallationService", "operation": "InstallFromURI",
        "keys": [["CreationClassName", "string", "QLogicFCHBA_SoftwareInstallationService"],
                 ["SystemName", "string", "qlogic-host"],
                 ["Name", "string", "FC_SW_INSTALLER"],
                 ["SystemCreationClassName", "string", "QLogicFCHBA_ComputerSystem"]],
        "args": [["InstallOptions", "uint16[]", [4]],
                 ["Target", "ref", "qlogic/cimv2:QLogicFCHBA_PortController.CreationClassName=\"QLogicFCHBA_PortController\",DeviceID=\"2100001B32A1B2C3\",SystemCreationClassName=\"QLogicFCHBA_ComputerSystem\",SystemName=\"qlogic-host\""],
                 ["URI", "string", "file:///var/tmp/QEL/Xorvo/Package/qlogic/ql25.bin"]]})"),
              qlogic[0]);

    EXPECT_EQ(std::string("0|qlgc: ") + kInstalled + "|fc: " + kInstalled + "|cna: " + kInstalled +
                  "|",
              run.statusText);
    EXPECT_EQ(7u, run.jobState);
    EXPECT_TRUE(traced(run, "util_remove_file() successfully."));
}

// The first payload that fails ends its package with the status of its code; the package's
// later payloads are never offered, and the working area stays until the run ends. Payloads
// go in their order numbers, not in file order.
TEST_F(AdapterRuns, FirstFailingPayloadEndsItsPackageWithItsCodesStatus) {
    Json scenario =
        one_of_each({{"return", {4097, 7, 1}}}, {{"return", 4097}},
                    {{"status", {{"rc", 1}, {"message", "adapter busy"}}}}, Json::object());
    use_scenario(scenario);
    auto two_payloads = [](const std::string &dir, const std::string &dfn, bool firstThere) {
        Payload second{dir + "/second.bin", {dfn}, 2};
        Payload first{dir + "/first.bin", {dfn}, 1, firstThere};
        return std::vector<Payload>{second, first};
    };
    // Installed in reverse: three Brocade packages (4097, 7, 1), CNA (4097), FC (broker
    // failure) and QLogic, whose first payload is missing from its archive (4107).
    RunOutcome run = install({
        adapter_package("qlgc", "QLogic FC HBA", "Fibre", two_payloads("q", "QLE", false)),
        adapter_package("fc", "Emulex FC", "Fibre", two_payloads("f", "LPE", true)),
        adapter_package("cna", "Emulex CNA", "Network", two_payloads("c", "OCE", true)),
        adapter_package("brcd3", "Brocade 3", "Fibre", two_payloads("b3", "BRCD-A", true)),
        adapter_package("brcd2", "Brocade 2", "Fibre", two_payloads("b2", "BRCD-A", true)),
        adapter_package("brcd1", "Brocade 1", "Fibre", two_payloads("b1", "BRCD-A", true)),
    });

    EXPECT_EQ((std::vector<std::string>{
                  "BROCADE_HBASoftwareInstallationService SNA-0 b1/first.bin",
                  "BROCADE_HBASoftwareInstallationService SNA-0 b2/first.bin",
                  "BROCADE_HBASoftwareInstallationService SNA-0 b3/first.bin",
                  "ELXUCNA_SoftwareInstallationService 0000:05:00.0 c/first.bin",
                  "ELXHBA_SoftwareInstallationService 10000000C9A1B2C3 f/first.bin",
                  "QLogicFCHBA_SoftwareInstallationService 2100001B32A1B2C3 q/first.bin",
              }),
              installs(run.journal));
    EXPECT_EQ("0|qlgc: 55: The path or file does not exist."
              "|fc: 57: Package installation error happened."
              "|cna: 58: Unsupported target type."
              "|brcd3: 54: Error when Create Input Parameter and the installation failed."
              "|brcd2: 57: Package installation error happened."
              "|brcd1: 58: Unsupported Target Type.|",
              run.statusText);
    EXPECT_EQ(10u, run.jobState);
    EXPECT_FALSE(traced(run, "util_remove_file successfully."));
    EXPECT_FALSE(traced(run, "util_remove_file() successfully."));
    EXPECT_TRUE(traced(run, "Package installation error message: adapter busy"));
}

// No adapter of the package's family: status 57 (with a line end for Brocade and Emulex FC),
// nothing unpacked, nothing installed; whether the vendor reports none or is not there at all.
TEST_F(AdapterRuns, PackagesWithoutAdaptersRecordFiftySevenAndUnpackNothing) {
    Json scenario = one_of_each(Json::object(), Json::object(), Json::object(), Json::object());
    scenario["brocade"]["instances"]["BROCADE_PortController"] = {brocade_port("SNX", "SNX-0")};
    scenario["emulex"] = {{"present", false}};
    scenario["qlogic"]["instances"]["QLogicFCHBA_FCPort"] = {
        qlogic_port("2100001B32A1B2C3_0", nullptr)};
    use_scenario(scenario);
    const std::vector<Payload> anything = {{"fw.bin", {"BRCD-A", "OCE", "LPE", "QLE"}}};
    RunOutcome run = install({
        adapter_package("qlgc", "QLogic FC HBA", "Fibre", anything),
        adapter_package("fc", "Emulex FC", "Fibre", anything),
        adapter_package("cna", "Emulex CNA", "Network", anything),
        adapter_package("brcd", "Brocade FC HBA", "Fibre", anything),
    });

    EXPECT_TRUE(installs(run.journal).empty());
    EXPECT_EQ(std::string("0|qlgc: ") + kNoAdapter + "|fc: " + kNoAdapter +
                  "\n|cna: " + kNoAdapter + "|brcd: " + kNoAdapter + "\n|",
              run.statusText);
    EXPECT_EQ(10u, run.jobState);
    EXPECT_EQ(run.statusText.substr(0, run.statusText.find('\n') + 1), run.jobStatus)
        << "the job reads the status file's first line";
    EXPECT_TRUE(traced(run, "enumerateInstances() returns NULL."));
    EXPECT_FALSE(traced(run, "minizip successfully."));
    for (const std::string &line : run.trace) {
        EXPECT_EQ(std::string::npos, line.find("Effective path:")) << line;
    }
}

// An archive that cannot be unpacked: Brocade goes on with whatever the working area holds (a
// failed package's leftovers are installed again; after a success there is nothing), Emulex
// stops with the Minizip code and installs nothing.
TEST_F(AdapterRuns, UnpackFailureGoesOnForBrocadeAndStopsEmulex) {
    Json scenario = one_of_each({{"return", {4097, 0}}}, {{"return", {4097, 0}}}, Json::object(),
                                Json::object());
    use_scenario(scenario);
    // Installed in reverse: A fails and leaves its files, B (broken) installs A's payload
    // and removes the area, C (broken) finds nothing; D fails and leaves its files, E (broken)
    // stops.
    RunOutcome run = install({
        broken_package("E", "Emulex CNA broken", "Network"),
        adapter_package("D", "Emulex CNA", "Network", {{"emulex/oce.ufi", {"OCE"}}}),
        broken_package("C", "Brocade broken too", "Fibre"),
        broken_package("B", "Brocade broken", "Fibre"),
        adapter_package("A", "Brocade", "Fibre", {{"brocade/bfa.bin", {"BRCD-A"}}}),
    });

    EXPECT_EQ((std::vector<std::string>{
                  "BROCADE_HBASoftwareInstallationService SNA-0 brocade/bfa.bin",
                  "BROCADE_HBASoftwareInstallationService SNA-0 brocade/bfa.bin",
                  "ELXUCNA_SoftwareInstallationService 0000:05:00.0 emulex/oce.ufi",
              }),
              installs(run.journal));
    const std::string initialised = "0: Package Initialization finished successfully";
    EXPECT_EQ("0|E: " + initialised + "|D: 58: Unsupported target type.|C: " + initialised +
                  "|B: " + kInstalled + "|A: 58: Unsupported Target Type.|",
              run.statusText);
    EXPECT_EQ(1u, count_of(run.trace, "Minizip() failed: 3"));
    EXPECT_EQ(1u, count_of(run.trace, "util_remove_file successfully."));
}

} // namespace
