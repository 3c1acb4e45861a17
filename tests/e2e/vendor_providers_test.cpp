// The simulated services as any client sees them through the broker: they take a request only
// as the real vendors' providers do (every key of a listed service instance, the arguments with
// their types, a Target naming a listed instance of the right class and namespace), journal why
// they refuse one, and install only a payload that is really there, answering the scenario's
// codes call by call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vendor_host.h"

namespace {

using namespace vendorhost;

constexpr const char *kBrocade =
    "root/brocade:BROCADE_HBASoftwareInstallationService.CreationClassName="
    "\"BROCADE_HBASoftwareInstallationService\",SystemName=\"brocade-host\",Name=\"Brocade "
    "Adapter Software Update Service\",SystemCreationClassName=\"BROCADE_ComputerSystem\"";
constexpr const char *kBrocadePort =
    "root/brocade:BROCADE_PortController.CreationClassName=\"BROCADE_PortController\",DeviceID="
    "\"BUK0825A01-1\",SystemCreationClassName=\"BROCADE_ComputerSystem\",SystemName=\"brocade-"
    "host\"";
constexpr const char *kEmulexFc =
    "root/emulex:ELXHBA_SoftwareInstallationService.SystemCreationClassName="
    "\"OMC_UnitaryComputerSystem\",SystemName=\"esxi-sim.example\",CreationClassName="
    "\"ELXHBA_SoftwareInstallationService\",Name=\"ELXHBA_FCSoftwareInstallationService\"";
constexpr const char *kCnaPort =
    "root/emulex:ELXUCNA_EthernetPort.SystemCreationClassName=\"OMC_UnitaryComputerSystem\","
    "SystemName=\"esxi-sim.example\",CreationClassName=\"ELXUCNA_EthernetPort\",DeviceID="
    "\"0000:05:00.1\"";
constexpr const char *kFcPort =
    "root/emulex:ELXHBA_FCPort.SystemCreationClassName=\"OMC_UnitaryComputerSystem\","
    "SystemName=\"esxi-sim.example\",CreationClassName=\"ELXHBA_FCPort\",DeviceID="
    "\"10000000C9A1B2C3\"";
constexpr const char *kQlogic =
    "qlogic/cimv2:QLogicFCHBA_SoftwareInstallationService.CreationClassName="
    "\"QLogicFCHBA_SoftwareInstallationService\",SystemName=\"qlogic-host\",Name="
    "\"FC_SW_INSTALLER\",SystemCreationClassName=\"QLogicFCHBA_ComputerSystem\"";
constexpr const char *kQlogicAdapter =
    "qlogic/cimv2:QLogicFCHBA_PortController.CreationClassName=\"QLogicFCHBA_PortController\","
    "DeviceID=\"2100001B32A1B2C3\",SystemCreationClassName=\"QLogicFCHBA_ComputerSystem\","
    "SystemName=\"qlogic-host\"";
constexpr const char *kHypervisor =
    "root/cimv2:VMware_SoftwareInstallationService.CreationClassName="
    "\"VMware_SoftwareInstallationService\",SystemName=\"esxi-sim.example\",Name="
    "\"SoftwareInstallationService\",SystemCreationClassName=\"OMC_UnitaryComputerSystem\"";
constexpr const char *kLsi =
    "orpv/cimv2:ORPV_SoftwareInstallationService.SystemCreationClassName=\"ORPV Provider\","
    "SystemName=\"Management Controller\",Name=\"ORPVSoftwareInstallationService\","
    "CreationClassName=\"ORPV_SoftwareInstallationService\"";
constexpr const char *kBroadcom =
    "brcmfwup/cimv2:BRCMFWUP_SoftwareInstallationService.SystemCreationClassName=\"BRCMFWUP "
    "Provider\",SystemName=\"Management Controller\",Name=\"BRCMFWUPSoftwareInstallationService\","
    "CreationClassName=\"BRCMFWUP_SoftwareInstallationService\"";

Json ref(const std::string &path) {
    return {{"type", "ref"}, {"value", path}};
}

const Json kOptions = {{"type", "uint16[]"}, {"value", {4}}};

struct Answer {
    CMPIrc rc = CMPI_RC_OK;
    CMPIUint32 returned = 0;
    std::string refusal; // "answer: reason" of the journal's refusal record, if any
};

// `method` on `path` with `args` (scenario JSON values), as a client calls it.
Answer call(const std::string &path, const std::string &method, const Json &args) {
    std::remove(runhost::kJournal);
    hostsim::CallScope scope;
    const CMPIBroker *broker = hostsim::broker();
    CMPIArgs *in = CMNewArgs(broker, nullptr);
    hostsim::sim::set_args(broker, in, args);
    CMPIContext *context = hostsim::new_context();
    CMPIStatus status{CMPI_RC_OK, nullptr};
    CMPIData returned = CBInvokeMethod(broker, context, hostsim::sim::path_from_text(broker, path),
                                       method.c_str(), in, CMNewArgs(broker, nullptr), &status);
    CMRelease(context);
    Answer answer{status.rc, returned.type == CMPI_uint32 ? returned.value.uint32 : 99999, ""};
    for (const Json &record : hostsim::sim::read_journal(runhost::kJournal)) {
        if (record["operation"] == "Refused") {
            answer.refusal =
                record["answer"].get<std::string>() + ": " + record["reason"].get<std::string>();
        }
    }
    return answer;
}

using VendorProviders = VendorHost;

// Each deviation from what the installers send gets the answer a real provider gives it; the
// journal says why.
TEST_F(VendorProviders, RequestsAreTakenOnlyAsTheRealProvidersTakeThem) {
    testfiles::write("/tmp/fw.bin", "image");
    const Json brocade = {
        {"InstallOptions", kOptions}, {"Target", ref(kBrocadePort)}, {"URI", "file:///tmp/fw.bin"}};
    auto with = [](Json args, const std::string &name, const Json &value) {
        if (value.is_null()) {
            args.erase(name);
        } else {
            args[name] = value;
        }
        return args;
    };
    const std::string kNotFound = "CIM_ERR_NOT_FOUND: no such instance: ";
    struct Case {
        std::string path, method;
        Json args;
        CMPIrc rc;
        CMPIUint32 returned;
        std::string refusal; // its beginning
    } cases[] = {
        // As the installers send them.
        {kBrocade, "InstallFromURI", brocade, CMPI_RC_OK, 0, ""},
        {kEmulexFc,
         "InstallFromURI",
         {{"Target", ref(kFcPort)}, {"URI", "/tmp/fw.bin"}},
         CMPI_RC_OK,
         0,
         ""},
        {kQlogic, "InstallFromURI", with(brocade, "Target", ref(kQlogicAdapter)), CMPI_RC_OK, 0,
         ""},
        // A Target of another vendor, of no listed port, or none at all: unsupported.
        {kBrocade, "InstallFromURI", with(brocade, "Target", ref(kCnaPort)), CMPI_RC_OK, 4097,
         "4097: Target names no BROCADE_PortController of root/brocade: root/emulex:"},
        {kQlogic, "InstallFromURI",
         with(brocade, "Target", ref("qlogic/cimv2:QLogicFCHBA_PortController.DeviceID=\"x\"")),
         CMPI_RC_OK, 4097, "4097: Target names no QLogicFCHBA_PortController"},
        {kHypervisor,
         "InstallFromURI",
         {{"Target", ref("root/cimv2:OMC_UnitaryComputerSystem.CreationClassName="
                         "\"OMC_UnitaryComputerSystem\",Name=\"other-host\"")},
          {"URI", "ftp://depot/metadata.zip"}},
         CMPI_RC_OK,
         4097,
         "4097: Target names no OMC_UnitaryComputerSystem"},
        {kBrocade, "InstallFromURI", with(brocade, "Target", nullptr), CMPI_RC_OK, 4097,
         "4097: no Target"},
        // Arguments missing or of another type.
        {kBrocade,
         "InstallFromURI",
         {{"URI", "file:///tmp/fw.bin"}},
         CMPI_RC_ERR_INVALID_PARAMETER,
         99999,
         "CIM_ERR_INVALID_PARAMETER: InstallFromURI needs InstallOptions (uint16[])"},
        {kQlogic, "InstallFromURI",
         with(with(brocade, "Target", ref(kQlogicAdapter)), "InstallOptions",
              {{"type", "uint16"}, {"value", 4}}),
         CMPI_RC_ERR_INVALID_PARAMETER, 99999,
         "CIM_ERR_INVALID_PARAMETER: InstallOptions is uint16, not uint16[]"},
        {kEmulexFc,
         "InstallFromURI",
         {{"Target", "10000000C9A1B2C3"}, {"URI", "/tmp/fw.bin"}},
         CMPI_RC_ERR_INVALID_PARAMETER,
         99999,
         "CIM_ERR_INVALID_PARAMETER: Target is string, not ref"},
        {"qel/cimv2:QEL_FileTransferService",
         "TransferViaTFTP",
         {{"SourceURI", "tftp://h/p.xml"},
          {"TransferOptions", {{"type", "uint16[]"}, {"value", {0}}}}},
         CMPI_RC_ERR_INVALID_PARAMETER,
         99999,
         "CIM_ERR_INVALID_PARAMETER: TransferViaTFTP needs BlockSize (uint16)"},
        // Service paths that lack keys name no instance.
        {"root/brocade:BROCADE_HBASoftwareInstallationService", "InstallFromURI", brocade,
         CMPI_RC_ERR_NOT_FOUND, 99999, kNotFound},
        {"orpv/cimv2:ORPV_SoftwareInstallationService",
         "InstallFromURI",
         {{"URI", "/tmp/"}},
         CMPI_RC_ERR_NOT_FOUND,
         99999,
         kNotFound},
        {"root/emulex:ELXHBA_SoftwareInstallationService.Name="
         "\"ELXHBA_FCSoftwareInstallationService\"",
         "InstallFromURI",
         {{"Target", ref(kFcPort)}, {"URI", "/tmp/fw.bin"}},
         CMPI_RC_ERR_NOT_FOUND,
         99999,
         kNotFound},
    };
    for (const Case &c : cases) {
        Answer answer = call(c.path, c.method, c.args);
        SCOPED_TRACE(c.path + " " + c.args.dump());
        EXPECT_EQ(c.rc, answer.rc);
        EXPECT_EQ(c.returned, answer.returned);
        EXPECT_EQ(c.refusal, answer.refusal.substr(0, c.refusal.size()));
        EXPECT_EQ(c.refusal.empty(), answer.refusal.empty()) << answer.refusal;
    }
}

// A request that passes installs what is there: a payload file, or a directory of unpacked
// firmware, named by a file:// URI or an absolute path; the scenario's codes come in turn, each
// call taking its turn even when the payload is missing, and a failing status wins over all.
TEST_F(VendorProviders, InstallOnlyWhatIsThere) {
    Json scenario = runhost::default_scenario();
    scenario["brocade"]["methods"]["InstallFromURI"] = {{"return", {4097, 5}}};
    scenario["emulex"]["methods"]["ELXHBA_SoftwareInstallationService.InstallFromURI"] = {
        {"status", {{"rc", 1}, {"message", "flash locked"}}}};
    use_scenario(scenario);
    testfiles::write("/tmp/fw.bin", "image");
    auto brocade = [](const char *uri) {
        return Json{{"InstallOptions", kOptions}, {"Target", ref(kBrocadePort)}, {"URI", uri}};
    };
    struct Case {
        const char *path;
        Json args;
        CMPIrc rc;
        CMPIUint32 returned;
    } cases[] = {
        {kBrocade, brocade("file:///tmp/fw.bin"), CMPI_RC_OK, 4097},
        {kBrocade, brocade("file:///tmp/missing.bin"), CMPI_RC_OK, 4107},
        {kBrocade, brocade("/tmp/fw.bin"), CMPI_RC_OK, 5},
        {kBrocade, brocade("tftp://server/tmp/fw.bin"), CMPI_RC_OK, 4107},
        {kBrocade, brocade("file:///tmp"), CMPI_RC_OK, 4107},
        {kEmulexFc,
         {{"Target", ref(kFcPort)}, {"URI", "file:///tmp/missing"}},
         CMPI_RC_ERR_FAILED,
         99999},
        {kBroadcom, {{"URI", "/tmp/"}}, CMPI_RC_OK, 0},
        {kBroadcom, {{"URI", "/tmp/fw.bin"}}, CMPI_RC_OK, 4107},
        {kLsi, {{"URI", "file:///tmp"}}, CMPI_RC_OK, 0},
        {kLsi, {{"URI", "tmp/"}}, CMPI_RC_OK, 4107},
    };
    for (const Case &c : cases) {
        Answer answer = call(c.path, "InstallFromURI", c.args);
        SCOPED_TRACE(std::string(c.path) + " " + c.args.dump());
        EXPECT_EQ(c.rc, answer.rc);
        EXPECT_EQ(c.returned, answer.returned);
    }
}

} // namespace
