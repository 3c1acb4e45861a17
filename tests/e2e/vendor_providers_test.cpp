// The simulated vendor providers as any client sees them through the broker: InstallFromURI
// installs only a payload that is really there, on a service instance the host lists, and
// answers the scenario's codes call by call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vendor_host.h"

namespace {

using namespace vendorhost;

struct Answer {
    CMPIrc rc = CMPI_RC_OK;
    CMPIUint32 returned = 0;
};

// InstallFromURI on the service of `className` whose keys are those of the scenario's first
// instance, with `systemName` in place of its SystemName when given.
Answer install_from(const Json &scenario, const std::string &section, const std::string &className,
                    const Json &uri, const std::string &systemName = "") {
    hostsim::CallScope scope;
    const CMPIBroker *broker = hostsim::broker();
    const Json &service = scenario[section]["instances"][className][0];
    std::string nameSpace = section == "brocade"    ? "root/brocade"
                            : section == "emulex"   ? "root/emulex"
                            : section == "broadcom" ? "brcmfwup/cimv2"
                                                    : "orpv/cimv2";
    CMPIObjectPath *path = CMNewObjectPath(broker, nameSpace.c_str(), className.c_str(), nullptr);
    for (const auto &key : service["keys"].items()) {
        std::string value = key.key() == "SystemName" && !systemName.empty()
                                ? systemName
                                : key.value().get<std::string>();
        CMAddKey(path, key.key().c_str(), value.c_str(), CMPI_chars);
    }
    CMPIArgs *in = CMNewArgs(broker, nullptr);
    if (!uri.is_null()) {
        CMAddArg(in, "URI", uri.get<std::string>().c_str(), CMPI_chars);
    }
    CMPIContext *context = hostsim::new_context();
    CMPIStatus status{CMPI_RC_OK, nullptr};
    CMPIData returned = CBInvokeMethod(broker, context, path, "InstallFromURI", in,
                                       CMNewArgs(broker, nullptr), &status);
    CMRelease(context);
    return {status.rc, returned.type == CMPI_uint32 ? returned.value.uint32 : 99999};
}

using VendorProviders = VendorHost;

TEST_F(VendorProviders, InstallOnlyWhatIsThereOnAListedService) {
    Json scenario = runhost::default_scenario();
    scenario["brocade"]["methods"]["InstallFromURI"] = {{"return", {4097, 5}}};
    scenario["emulex"]["methods"]["ELXUCNA_SoftwareInstallationService.InstallFromURI"] = {
        {"status", {{"rc", 1}, {"message", "flash locked"}}}};
    use_scenario(scenario);
    testfiles::write("/tmp/fw.bin", "image");
    const std::string brocade = "BROCADE_HBASoftwareInstallationService";
    const std::string elxFc = "ELXHBA_SoftwareInstallationService";
    const std::string broadcom = "BRCMFWUP_SoftwareInstallationService";
    const std::string lsi = "ORPV_SoftwareInstallationService";
    struct Case {
        std::string section, className;
        Json uri;
        CMPIrc rc;
        CMPIUint32 returned;
    } cases[] = {
        // One payload file: a file:// URI or an absolute path; the scenario's codes in turn,
        // each call taking its turn even when the file is missing.
        {"brocade", brocade, "file:///tmp/fw.bin", CMPI_RC_OK, 4097},
        {"brocade", brocade, "file:///tmp/missing.bin", CMPI_RC_OK, 4107},
        {"brocade", brocade, "/tmp/fw.bin", CMPI_RC_OK, 5},
        {"emulex", elxFc, "file:///tmp/fw.bin", CMPI_RC_OK, 0},
        {"emulex", elxFc, "file:///tmp", CMPI_RC_OK, 4107},
        {"emulex", elxFc, "tftp://server/tmp/fw.bin", CMPI_RC_OK, 4107},
        {"emulex", elxFc, "tmp/fw.bin", CMPI_RC_OK, 4107},
        {"emulex", elxFc, nullptr, CMPI_RC_OK, 4107},
        // A failing status wins over everything; the other Emulex service has its own replies.
        {"emulex", "ELXUCNA_SoftwareInstallationService", "file:///tmp/missing", CMPI_RC_ERR_FAILED,
         99999},
        // A directory of unpacked firmware.
        {"broadcom", broadcom, "/tmp/", CMPI_RC_OK, 0},
        {"broadcom", broadcom, "/tmp/fw.bin", CMPI_RC_OK, 4107},
        {"lsi", lsi, "file:///tmp", CMPI_RC_OK, 0},
        {"lsi", lsi, "/tmp/none/", CMPI_RC_OK, 4107},
    };
    for (const Case &c : cases) {
        Answer answer = install_from(scenario, c.section, c.className, c.uri);
        EXPECT_EQ(c.rc, answer.rc) << c.className << " " << c.uri;
        EXPECT_EQ(c.returned, answer.returned) << c.className << " " << c.uri;
    }
    // A service instance the host does not list.
    Answer unknown = install_from(scenario, "lsi", lsi, "/tmp/", "Other Controller");
    EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND, unknown.rc);
}

} // namespace
