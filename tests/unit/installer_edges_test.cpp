// The vendor requests of the installers at their edges: return values of other integer widths
// or none at all, broker objects that cannot be made, vendors that cannot be enumerated, and
// the hypervisor's bundle location.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Emulex_update.h"
#include "Qlogic_update.h"
#include "brocade_update.h"
#include "facade_update.h"
#include "fake_vendor.h"
#include "hostsim_broker.h"
#include "installers.h"
#include "test_files.h"
#include "working_area.h"
#include "zelk_pkg_installer_broker.h"

namespace {

using fakevendor::Vendor;

constexpr const char *kArea = "/var/tmp/QEL/Xorvo/Package/";
const std::string kCap54 = "Error when Create Input Parameter and the installation failed.";
const std::string kLow54 = "Error when create input parameter and the installation failed.";
const std::string kError57 = "Package installation error happened.";

// One vendor request of an installer: the single-install call (returns the install code and
// records nothing) and the payload step around it (records the status of that code).
struct Request {
    const char *name;
    const char *nameSpace;
    const char *serviceClass;
    std::function<int32_t(const CMPIContext *)> single;
    std::function<int32_t(const CMPIContext *)> payloads;
    std::string createFailed, unsupported;
};

const std::vector<Request> &requests() {
    static const std::vector<Request> all = {
        {"Brocade", "root/brocade", "BROCADE_HBASoftwareInstallationService",
         [](const CMPIContext *c) { return installSingleBrcdFCpayload(c, "image/fw.bin", "D"); },
         [](const CMPIContext *c) { return installBrcdFCpayload(0, c); }, kCap54,
         "Unsupported Target Type."},
        {"Emulex CNA", "root/emulex", "ELXUCNA_SoftwareInstallationService",
         [](const CMPIContext *c) { return install_one_elxcna_payload(c, "image/fw.bin", "D"); },
         [](const CMPIContext *c) { return install_elxcna_payload(0, c); }, kLow54,
         "Unsupported target type."},
        {"Emulex FC", "root/emulex", "ELXHBA_SoftwareInstallationService",
         [](const CMPIContext *c) { return install_one_elxfc_payload(c, "image/fw.bin", "D"); },
         [](const CMPIContext *c) { return install_elxfc_payload(0, c); }, kLow54,
         "Unsupported target type."},
        {"QLogic", "qlogic/cimv2", "QLogicFCHBA_SoftwareInstallationService",
         [](const CMPIContext *c) { return installSingleQlgFCpayload(c, "image/fw.bin", "D"); },
         [](const CMPIContext *c) { return installQlgFCpayload(0, c); }, kCap54,
         "Unsupported Target Type."},
        {"Broadcom", "brcmfwup/cimv2", "BRCMFWUP_SoftwareInstallationService",
         [](const CMPIContext *c) {
             return static_cast<int32_t>(installSingleBroadcompayload(c, kArea));
         },
         [](const CMPIContext *c) { return installBroadcompayload(0, c, kArea); }, kCap54,
         "Unsupported Target Type."},
        {"LSI", "orpv/cimv2", "ORPV_SoftwareInstallationService",
         [](const CMPIContext *c) {
             return static_cast<int32_t>(installSingleLSIpayload(c, kArea));
         },
         [](const CMPIContext *c) { return installLSIpayload(0, c, kArea); }, kCap54,
         "Unsupported Target Type."},
    };
    return all;
}

// A broker whose constructors fail for one class (object paths) or for argument lists.
std::string gUnbuildableClass;
bool gNoArgs = false;
CMPIBrokerEncFT gFailingEft;
CMPIBroker gFailingBroker;

CMPIObjectPath *new_path_unless(const CMPIBroker *, const char *ns, const char *cls,
                                CMPIStatus *rc) {
    if (gUnbuildableClass == cls) {
        return nullptr;
    }
    return hostsim::broker()->eft->newObjectPath(hostsim::broker(), ns, cls, rc);
}

CMPIArgs *new_args_unless(const CMPIBroker *, CMPIStatus *rc) {
    return gNoArgs ? nullptr : hostsim::broker()->eft->newArgs(hostsim::broker(), rc);
}

const CMPIBroker *failing_broker(const std::string &unbuildableClass, bool noArgs) {
    gUnbuildableClass = unbuildableClass;
    gNoArgs = noArgs;
    gFailingBroker = *hostsim::broker();
    gFailingEft = *gFailingBroker.eft;
    gFailingEft.newObjectPath = new_path_unless;
    gFailingEft.newArgs = new_args_unless;
    gFailingBroker.eft = &gFailingEft;
    return &gFailingBroker;
}

class InstallerEdges : public ::testing::Test {
  protected:
    void SetUp() override {
        QEL_VMWarePackageInstallationBroker = hostsim::broker();
        reset();
    }
    void TearDown() override {
        QEL_VMWarePackageInstallationBroker = hostsim::broker();
        CMRelease(ctx);
    }

    // Package 0 with one payload for adapter D, its file in the working area.
    void reset() {
        std::memset(&pkgInstance[0], 0, sizeof pkgInstance[0]);
        copy_text(pkgInstance[0].XMLPath, "file:///tmp/pkg.xml");
        copy_text(pkgInstance[0].LocalFileURI, "file:///tmp/pkg.zip");
        pkgInstance[0].PayloadCount = 1;
        copy_text(pkgInstance[0].Payloads[0].PayloadPath, "image/fw.bin");
        copy_text(pkgInstance[0].Payloads[0].DeviceID, "D");
        pkgnum = 1;
        util_remove_file(kArea);
        mkdir("/var/tmp/QEL", 0755);
        mkdir("/var/tmp/QEL/Xorvo", 0755);
        mkdir(kArea, 0755);
        mkdir((std::string(kArea) + "image").c_str(), 0755);
        testfiles::write(std::string(kArea) + "image/fw.bin", "firmware");
    }
    std::string status() const { return pkgInstance[0].StatusLine; }

    hostsim::CallScope scope;
    CMPIContext *ctx = hostsim::new_context();
};

TEST_F(InstallerEdges, ReturnValueOfAnyIntegerWidthIsTheInstallCode) {
    struct Answer {
        CMPIType type;
        CMPIUint32 sent;
        int32_t code;
        int32_t statusCode;
    } answers[] = {
        {CMPI_uint32, 0, 0, 50},
        {CMPI_uint16, 4097, 4097, 58},
        {CMPI_sint16, 4107, 4107, 55},
        {CMPI_uint8, 1, 1, 54},
        {CMPI_uint64, 4096, 4096, 57},
        {CMPI_sint32, static_cast<CMPIUint32>(-5), -5, 57},
        {CMPI_sint64, static_cast<CMPIUint32>(-2), -2, 57},
        {CMPI_sint8, 0, 0, 50},
    };
    for (const Request &r : requests()) {
        for (const Answer &a : answers) {
            SCOPED_TRACE(std::string(r.name) + " type " + std::to_string(a.type) + " value " +
                         std::to_string(a.code));
            reset();
            Vendor vendor(r.nameSpace);
            vendor.add(r.serviceClass, {{{"SystemName", "host7"}}, {}});
            vendor.returnType = a.type;
            vendor.codes = {a.sent, a.sent};

            EXPECT_EQ(a.code, r.single(ctx));
            EXPECT_EQ("", status()); // a single request records nothing

            EXPECT_EQ(a.code == 0 ? 0 : 1, r.payloads(ctx));
            const std::string message = a.statusCode == 50   ? "Package installation successfully."
                                        : a.statusCode == 58 ? r.unsupported
                                        : a.statusCode == 55 ? "The path or file does not exist."
                                        : a.statusCode == 54 ? r.createFailed
                                                             : kError57;
            EXPECT_EQ("pkg: " + std::to_string(a.statusCode) + ": " + message, status());
            EXPECT_EQ(2u, vendor.calls.size());
        }
    }
}

TEST_F(InstallerEdges, AnswerWithoutAnIntegerIsNeverAnInstall) {
    // No return value, or a text where the number belongs: the package is not installed.
    for (CMPIType type : {CMPI_null, CMPI_chars}) {
        for (const Request &r : requests()) {
            SCOPED_TRACE(std::string(r.name) + " type " + std::to_string(type));
            reset();
            Vendor vendor(r.nameSpace);
            vendor.add(r.serviceClass, {{{"SystemName", "host7"}}, {}});
            vendor.returnType = type;

            EXPECT_NE(0, r.single(ctx));
            EXPECT_EQ(1, r.payloads(ctx));
            EXPECT_EQ("pkg: 57: " + kError57, status());
        }
    }
}

TEST_F(InstallerEdges, BrokerErrorIsCodeFortyNinetyEightForEveryRequest) {
    for (const Request &r : requests()) {
        SCOPED_TRACE(r.name);
        reset();
        Vendor vendor(r.nameSpace);
        vendor.add(r.serviceClass, {{{"SystemName", "host7"}}, {}});
        vendor.brokerError = true;

        EXPECT_EQ(4098, r.single(ctx));
        EXPECT_EQ("", status());
        EXPECT_EQ(1, r.payloads(ctx));
        EXPECT_EQ("pkg: 57: " + kError57, status());
    }
    EXPECT_NE(std::string::npos,
              testfiles::trace_log().find("Package installation error message: vendor provider "
                                          "failed\n"));
}

TEST_F(InstallerEdges, ObjectsThatCannotBeMadeAreCodeOneAndNoRequest) {
    for (const Request &r : requests()) {
        for (const bool noArgs : {false, true}) {
            SCOPED_TRACE(std::string(r.name) + (noArgs ? " argument list" : " service path"));
            reset();
            Vendor vendor(r.nameSpace);
            vendor.add(r.serviceClass, {{{"SystemName", "host7"}}, {}});
            QEL_VMWarePackageInstallationBroker =
                failing_broker(noArgs ? "" : r.serviceClass, noArgs);

            EXPECT_EQ(1, r.single(ctx));
            EXPECT_EQ(1, r.payloads(ctx));
            EXPECT_EQ("pkg: 54: " + r.createFailed, status());
            EXPECT_TRUE(vendor.calls.empty());
            QEL_VMWarePackageInstallationBroker = hostsim::broker();
        }
    }
}

TEST_F(InstallerEdges, BrocadeWithoutEnumerablePortsFindsNoAdapter) {
    // Cards are there but the port class is not served: no entry, and nothing is unpacked.
    Vendor vendor("root/brocade");
    vendor.add("BROCADE_HBASoftwareInstallationService", {{{"SystemName", "host7"}}, {}});
    vendor.add("BROCADE_PhysicalPackage", {{}, {{"Model", "BR-1860"}, {"SerialNumber", "S1"}}});
    pkgInstance[0].DFNDeviceCount = 3; // left from an earlier package: rebuilt from nothing
    util_remove_file(kArea);

    EXPECT_EQ(4098, installBrocadePkg(0, ctx));
    EXPECT_EQ(0, pkgInstance[0].DFNDeviceCount);
    EXPECT_EQ("pkg: 57: No driver file name that need to be update.\n", status());
    EXPECT_TRUE(vendor.calls.empty());
    EXPECT_FALSE(testfiles::exists(kArea));
}

class HypervisorEdges : public InstallerEdges {
  protected:
    void SetUp() override {
        InstallerEdges::SetUp();
        vendor.add("VMware_SoftwareInstallationService", {{{"SystemName", "esx1"}}, {}});
    }
    std::string sent_uri(size_t call) const {
        const std::string &args = vendor.calls.at(call).args;
        const size_t begin = args.find("URI:string=") + 11;
        return args.substr(begin, args.find(" | ", begin) - begin);
    }
    Vendor vendor{"root/cimv2"};
};

TEST_F(HypervisorEdges, BundleLocationGrowsByTheMetadataFileOnEveryCall) {
    copy_text(pkgInstance[0].TFTPPayloadPkgURIs, "ftp://depot/esx/");
    // No job is served: each call ends at the first poll with 57.
    EXPECT_EQ(0, installVMPkg(0, ctx));
    EXPECT_EQ("pkg: 57: " + kError57, status());
    EXPECT_EQ(0, installVMPkg(0, ctx));
    ASSERT_EQ(2u, vendor.calls.size());
    EXPECT_EQ("ftp://depot/esx/metadata.zip", sent_uri(0));
    EXPECT_EQ("ftp://depot/esx/metadata.zipmetadata.zip", sent_uri(1));
    EXPECT_STREQ("ftp://depot/esx/metadata.zipmetadata.zip", pkgInstance[0].TFTPPayloadPkgURIs);
}

TEST_F(HypervisorEdges, LocationWithoutRoomForTheSuffixFailsWithoutARequest) {
    // 187 characters leave room for "metadata.zip"; 188 do not: nothing is sent.
    const std::string fits = "ftp://d/" + std::string(179, 'a');
    const std::string full = fits + "b";
    copy_text(pkgInstance[0].TFTPPayloadPkgURIs, fits.c_str());
    installVMPkg(0, ctx);
    ASSERT_EQ(1u, vendor.calls.size());
    EXPECT_EQ(fits + "metadata.zip", sent_uri(0));
    EXPECT_EQ(199u, sent_uri(0).size());

    copy_text(pkgInstance[0].TFTPPayloadPkgURIs, full.c_str());
    pkgInstance[0].OrderFlag = order_flag::kUnread;
    EXPECT_EQ(0, installVMPkg(0, ctx));
    EXPECT_EQ(1u, vendor.calls.size());
    EXPECT_EQ(full, pkgInstance[0].TFTPPayloadPkgURIs);
    EXPECT_EQ("pkg: 57: " + kError57, status());
    EXPECT_EQ(order_flag::kFailed, pkgInstance[0].OrderFlag);
    EXPECT_NE(std::string::npos,
              testfiles::trace_log().find("Bundle location too long to append metadata.zip"));
}

TEST_F(HypervisorEdges, PathsThatCannotBeMadeEndTheInstallerWithoutARequest) {
    copy_text(pkgInstance[0].TFTPPayloadPkgURIs, "ftp://depot/esx/");
    QEL_VMWarePackageInstallationBroker = failing_broker("OMC_UnitaryComputerSystem", false);
    EXPECT_EQ(0, installVMPkg(0, ctx));
    EXPECT_EQ("pkg: 56: Create OMC_UnitaryComputerSystem failed.", status());
    EXPECT_NE(std::string::npos,
              testfiles::trace_log().find("Create OMC_UnitaryComputerSystem failed.\n"));

    // Without a service path nothing is recorded at all.
    std::memset(pkgInstance[0].StatusLine, 0, sizeof pkgInstance[0].StatusLine);
    QEL_VMWarePackageInstallationBroker =
        failing_broker("VMware_SoftwareInstallationService", false);
    EXPECT_EQ(0, installVMPkg(0, ctx));
    EXPECT_EQ("", status());
    EXPECT_TRUE(vendor.calls.empty());
}

} // namespace
