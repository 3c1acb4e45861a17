// The adapter installers against in-process vendor providers: what each vendor receives, and
// the status and result each outcome gives.
#include <gtest/gtest.h>

#include <cstring>
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
#include "unzipfile.h"
#include "working_area.h"
#include "zelk_pkg_installer_broker.h"
#include "zip_writer.h"

namespace {

using fakevendor::Instance;
using fakevendor::Vendor;

constexpr const char *kArea = "/var/tmp/QEL/Xorvo/Package/";
constexpr const char *kUriPrefix = "file:///var/tmp/QEL/Xorvo/Package/";
const std::string kNoAdapter = "pkg: 57: No driver file name that need to be update.";
const std::string kInstalled = "pkg: 50: Package installation successfully.";

struct Payload {
    std::string file;
    std::vector<std::string> applies;
};

// An adapter package at /tmp/pkg.zip: image/payload.xml and every payload file.
void write_package(const std::vector<Payload> &payloads) {
    std::string xml = "<?xml version=\"1.0\"?>\n<updateConfiguration>\n";
    testzip::Files files;
    for (const Payload &p : payloads) {
        xml += "  <payload order=\"1\">" + p.file + "\n";
        for (const std::string &dfn : p.applies) {
            xml += "    <applicability type=\"DFN\">" + dfn + "</applicability>\n";
        }
        xml += "  </payload>\n";
        files.push_back({p.file, "firmware of " + p.file});
    }
    files.push_back({"image/payload.xml", xml + "</updateConfiguration>\n"});
    testzip::write("/tmp/pkg.zip", files);
}

bool area_exists() {
    return testfiles::exists(kArea);
}

// One adapter family member, its vendor, and what it sends for one payload on adapter DEV1.
struct Member {
    const char *name;
    InstallerFunc install;
    const char *nameSpace;
    const char *serviceClass;
    std::vector<std::pair<std::string, Instance>> adapter; // gives DFN MODEL-X
    std::string service;
    std::string args;
    struct {
        std::string createFailed, unsupported, noAdapter;
        int32_t failureResult;
    } own; // the member's own messages and result convention
};

const std::string kCap54 = "Error when Create Input Parameter and the installation failed.";
const std::string kLow54 = "Error when create input parameter and the installation failed.";

const std::vector<Member> &members() {
    static const std::vector<Member> all = {
        {"Brocade",
         installBrocadePkg,
         "root/brocade",
         "BROCADE_HBASoftwareInstallationService",
         {{"BROCADE_PhysicalPackage", {{}, {{"Model", "MODEL-X"}, {"SerialNumber", "SN1"}}}},
          {"BROCADE_PortController", {{}, {{"Name", "SN1"}, {"DeviceID", "DEV1"}}}}},
         "root/brocade:BROCADE_HBASoftwareInstallationService.CreationClassName=\"BROCADE_"
         "HBASoftwareInstallationService\",SystemName=\"host7\",Name=\"Brocade Adapter Software "
         "Update Service\",SystemCreationClassName=\"BROCADE_ComputerSystem\"",
         "InstallOptions:uint16[]=4 | Target:ref=root/brocade:BROCADE_PortController."
         "CreationClassName=\"BROCADE_PortController\",DeviceID=\"DEV1\",SystemCreationClassName="
         "\"BROCADE_ComputerSystem\",SystemName=\"host7\" | URI:string=",
         {kCap54, "Unsupported Target Type.", kNoAdapter + "\n", 1}},
        {"Emulex CNA",
         installElxCNAPkg,
         "root/emulex",
         "ELXUCNA_SoftwareInstallationService",
         {{"ELXUCNA_EthernetPort", {{}, {{"InstanceID", "MODEL-X:DEV1"}}}}},
         "root/emulex:ELXUCNA_SoftwareInstallationService.SystemCreationClassName=\"OMC_"
         "UnitaryComputerSystem\",SystemName=\"host7\",CreationClassName=\"ELXUCNA_"
         "SoftwareInstallationService\",Name=\"ELXUCNA_SoftwareInstallationService\"",
         "Target:ref=root/emulex:ELXUCNA_EthernetPort.SystemCreationClassName=\"OMC_"
         "UnitaryComputerSystem\",SystemName=\"host7\",CreationClassName=\"ELXUCNA_EthernetPort\","
         "DeviceID=\"DEV1\" | URI:string=",
         {kLow54, "Unsupported target type.", kNoAdapter, 0}},
        {"Emulex FC",
         installElxFCPkg,
         "root/emulex",
         "ELXHBA_SoftwareInstallationService",
         {{"ELXHBA_VitalProductData", {{}, {{"FieldV2", "MODEL-X"}, {"InstanceID", "DEV1"}}}}},
         "root/emulex:ELXHBA_SoftwareInstallationService.SystemCreationClassName=\"OMC_"
         "UnitaryComputerSystem\",SystemName=\"host7\",CreationClassName=\"ELXHBA_"
         "SoftwareInstallationService\",Name=\"ELXHBA_FCSoftwareInstallationService\"",
         "Target:ref=root/emulex:ELXHBA_FCPort.SystemCreationClassName=\"OMC_"
         "UnitaryComputerSystem\",SystemName=\"host7\",CreationClassName=\"ELXHBA_FCPort\","
         "DeviceID=\"DEV1\" | URI:string=",
         {kLow54, "Unsupported target type.", kNoAdapter + "\n", 0}},
        {"QLogic",
         installQlgPkg,
         "qlogic/cimv2",
         "QLogicFCHBA_SoftwareInstallationService",
         {{"QLogicFCHBA_FCPort", {{{"DeviceID", "DEV1_port0"}}, {{"Model", "MODEL-X"}}}}},
         "qlogic/cimv2:QLogicFCHBA_SoftwareInstallationService.CreationClassName=\"QLogicFCHBA_"
         "SoftwareInstallationService\",SystemName=\"host7\",Name=\"FC_SW_INSTALLER\","
         "SystemCreationClassName=\"QLogicFCHBA_ComputerSystem\"",
         "InstallOptions:uint16[]=4 | Target:ref=qlogic/cimv2:QLogicFCHBA_PortController."
         "CreationClassName=\"QLogicFCHBA_PortController\",DeviceID=\"DEV1\","
         "SystemCreationClassName=\"QLogicFCHBA_ComputerSystem\",SystemName=\"host7\" | "
         "URI:string=",
         {kCap54, "Unsupported Target Type.", kNoAdapter, 1}},
    };
    return all;
}

class AdapterInstall : public ::testing::Test {
  protected:
    void SetUp() override {
        QEL_VMWarePackageInstallationBroker = hostsim::broker();
        reset();
    }
    void TearDown() override { CMRelease(ctx); }

    void reset() {
        std::memset(&pkgInstance[0], 0, sizeof pkgInstance[0]);
        copy_text(pkgInstance[0].XMLPath, "file:///tmp/pkg.xml");
        copy_text(pkgInstance[0].LocalFileURI, "file:///tmp/pkg.zip");
        pkgnum = 1;
        util_remove_file(kArea);
    }
    // A vendor serving the member's service (host7) and, when asked, its adapter.
    std::unique_ptr<Vendor> vendor_for(const Member &m, bool withAdapter = true) {
        auto vendor = std::make_unique<Vendor>(m.nameSpace);
        vendor->add(m.serviceClass, {{{"SystemName", "host7"}}, {}});
        for (const auto &[cls, instance] : withAdapter ? m.adapter : decltype(m.adapter){}) {
            vendor->add(cls, instance);
        }
        return vendor;
    }
    std::string status() const { return pkgInstance[0].StatusLine; }

    hostsim::CallScope scope;
    CMPIContext *ctx = hostsim::new_context();
};

TEST_F(AdapterInstall, EachMemberSendsItsClassesKeysAndArgumentsInOrder) {
    for (const Member &m : members()) {
        SCOPED_TRACE(m.name);
        reset();
        auto vendor = vendor_for(m);
        write_package({{"image/fw.bin", {"MODEL-X"}}, {"image/other.bin", {"MODEL-Y"}}});

        EXPECT_EQ(0, m.install(0, ctx));
        ASSERT_EQ(1u, vendor->calls.size());
        EXPECT_EQ(m.service, vendor->calls[0].service);
        EXPECT_EQ(m.args + kUriPrefix + "image/fw.bin", vendor->calls[0].args);
        EXPECT_TRUE(vendor->calls[0].keysAreText);
        EXPECT_EQ(kInstalled, status());
        EXPECT_FALSE(area_exists());
    }
}

TEST_F(AdapterInstall, FirstFailingPayloadStopsTheLoopAndKeepsTheWorkingArea) {
    struct Outcome {
        CMPIUint32 code;
        bool brokerError;
        int32_t statusCode;
    } outcomes[] = {
        {4097, false, 58}, {4107, false, 55}, {1, false, 54}, {4096, false, 57}, {0, true, 57}};
    for (const Member &m : members()) {
        for (const Outcome &o : outcomes) {
            SCOPED_TRACE(std::string(m.name) + " code " + std::to_string(o.code));
            reset();
            auto vendor = vendor_for(m);
            vendor->codes = {o.code};
            vendor->brokerError = o.brokerError;
            write_package({{"image/a.bin", {"MODEL-X"}}, {"image/b.bin", {"MODEL-X"}}});

            EXPECT_EQ(m.own.failureResult, m.install(0, ctx));
            EXPECT_EQ(1u, vendor->calls.size());
            const std::string message = o.statusCode == 58   ? m.own.unsupported
                                        : o.statusCode == 54 ? m.own.createFailed
                                        : o.statusCode == 55
                                            ? "The path or file does not exist."
                                            : "Package installation error happened.";
            EXPECT_EQ("pkg: " + std::to_string(o.statusCode) + ": " + message, status());
            EXPECT_TRUE(testfiles::exists(std::string(kArea) + "image/b.bin"));
        }
    }
    EXPECT_NE(std::string::npos,
              testfiles::trace_log().find("Package installation error message: vendor provider "
                                          "failed\n"));
}

TEST_F(AdapterInstall, NoAdapterRecordsFiftySevenAndUnpacksNothing) {
    // Instances that look like adapters but give no entry.
    const std::vector<std::pair<std::string, Instance>> strays[] = {
        {{"BROCADE_PhysicalPackage", {{}, {{"Model", "M"}, {"SerialNumber", "SN1"}}}},
         {"BROCADE_PortController", {{}, {{"Name", "SN2"}, {"DeviceID", "D"}}}}},
        {{"ELXUCNA_EthernetPort", {{}, {{"InstanceID", "NOCOLON"}}}},
         {"ELXUCNA_EthernetPort", {{}, {{"InstanceID", ":D"}}}}},
        {{"ELXHBA_VitalProductData", {{}, {{"FieldV2", "M"}}}}},
        {{"QLogicFCHBA_FCPort", {{{"DeviceID", "D_0"}}, {}}}},
    };
    for (size_t i = 0; i < members().size(); ++i) {
        const Member &m = members()[i];
        SCOPED_TRACE(m.name);
        reset();
        auto vendor = vendor_for(m, false);
        for (const auto &[cls, instance] : strays[i]) {
            vendor->add(cls, instance);
        }
        write_package({{"image/a.bin", {"M"}}});

        EXPECT_EQ(4098, m.install(0, ctx));
        EXPECT_EQ(m.own.noAdapter, status());
        EXPECT_EQ(0, pkgInstance[0].DFNDeviceCount);
        EXPECT_TRUE(vendor->calls.empty());
        EXPECT_FALSE(area_exists());
    }
}

TEST_F(AdapterInstall, BrocadeMatchesEveryPortOfEveryCard) {
    Vendor vendor("root/brocade");
    vendor.add("BROCADE_HBASoftwareInstallationService", {{{"SystemName", "host7"}}, {}});
    vendor.add("BROCADE_PhysicalPackage", {{}, {{"Model", "BR-1860"}, {"SerialNumber", "S1"}}});
    vendor.add("BROCADE_PhysicalPackage", {{}, {{"Model", "BR-825"}, {"SerialNumber", "S2"}}});
    vendor.add("BROCADE_PhysicalPackage", {{}, {{"Model", "BR-no-serial"}}});
    const std::vector<std::pair<const char *, const char *>> ports = {
        {"S2", "p3"}, {"S1", "p1"}, {"S9", "stray"}, {"S1", "p2"}, {"S2", nullptr}};
    for (const auto &[name, device] : ports) {
        Instance port{{}, {{"Name", name}}};
        if (device != nullptr) {
            port.properties.push_back({"DeviceID", device});
        }
        vendor.add("BROCADE_PortController", port);
    }
    write_package({{"image/1860.bin", {"BR-1860"}}, {"image/825.bin", {"BR-825"}}});

    EXPECT_EQ(0, installBrocadePkg(0, ctx));
    std::vector<std::string> sent;
    for (const fakevendor::Call &call : vendor.calls) {
        sent.push_back(call.targetDevice + " " + call.args.substr(call.args.rfind('/') + 1));
    }
    EXPECT_EQ((std::vector<std::string>{"p1 1860.bin", "p2 1860.bin", "p3 825.bin"}), sent);
    EXPECT_EQ(kInstalled, status());
}

TEST_F(AdapterInstall, DiscoveryKeepsDeviceIdsAsTheVendorsSpellThem) {
    Vendor emulex("root/emulex");
    emulex.add("ELXUCNA_EthernetPort", {{}, {{"InstanceID", "be2net:0000:05:00.1"}}});
    emulex.add("ELXHBA_VitalProductData", {{}, {{"FieldV2", "LPe"}, {"InstanceID", "fc-0"}}});
    emulex.add("ELXHBA_VitalProductData", {{}, {{"FieldV2", "LPe"}, {"InstanceID", "fc-1"}}});
    emulex.add("ELXHBA_VitalProductData", {{}, {{"FieldV2", ""}, {"InstanceID", "fc-2"}}});
    Vendor qlogic("qlogic/cimv2");
    qlogic.add("QLogicFCHBA_FCPort", {{{"DeviceID", "QL1_a_b"}}, {{"Model", "QLE"}}});
    qlogic.add("QLogicFCHBA_FCPort", {{{"DeviceID", "QL2"}}, {{"Model", "QLE"}}});
    qlogic.add("QLogicFCHBA_FCPort", {{}, {{"Model", "QLE"}}}); // no DeviceID key: left out

    auto entries = [] {
        std::string all;
        for (int i = 0; i < pkgInstance[0].DFNDeviceCount; ++i) {
            all += std::string(pkgInstance[0].DFNDeviceIDs[i].DFN) + "=" +
                   pkgInstance[0].DFNDeviceIDs[i].DeviceID + ";";
        }
        return all;
    };
    get_elxcna_dfn_devid(0, ctx);
    EXPECT_EQ("be2net=0000:05:00.1;", entries());
    get_elxfc_dfn_devid(0, ctx);
    EXPECT_EQ("LPe=fc-0;LPe=fc-1;=fc-2;", entries());
    getQlgDFNDeviceIDArray(0, ctx);
    EXPECT_EQ("QLE=QL1;QLE=QL2;", entries());

    // Two FC adapters of one model: the payload goes to each.
    emulex.add("ELXHBA_SoftwareInstallationService", {{{"SystemName", "host7"}}, {}});
    write_package({{"image/lpe.bin", {"LPe"}}});
    EXPECT_EQ(0, installElxFCPkg(0, ctx));
    ASSERT_EQ(2u, emulex.calls.size());
    EXPECT_EQ("fc-0", emulex.calls[0].targetDevice);
    EXPECT_EQ("fc-1", emulex.calls[1].targetDevice);
}

TEST_F(AdapterInstall, ArchiveThatCannotBeUnpacked) {
    // Emulex stops with the Minizip code; Brocade installs from what the working area holds.
    const std::pair<const char *, int32_t> cases[] = {
        {"file:///tmp/missing.zip", minizip_result::kArchiveMissing},
        {"no-slash", minizip_result::kBadArgument}};
    for (const auto &[uri, code] : cases) {
        SCOPED_TRACE(uri);
        reset();
        auto vendor = vendor_for(members()[1]);
        copy_text(pkgInstance[0].LocalFileURI, uri);
        EXPECT_EQ(code, installElxCNAPkg(0, ctx));
        EXPECT_NE(std::string::npos,
                  testfiles::trace_log().find("Minizip() failed: " + std::to_string(code) + "\n"));
        EXPECT_TRUE(vendor->calls.empty());
        EXPECT_EQ("", status());
    }

    reset();
    auto vendor = vendor_for(members()[0]);
    write_package({{"image/left.bin", {"MODEL-X"}}});
    ASSERT_EQ(0, Minizip("/tmp/pkg.zip", kArea)); // what an earlier failed package left
    copy_text(pkgInstance[0].LocalFileURI, "file:///tmp/missing.zip");
    EXPECT_EQ(0, installBrocadePkg(0, ctx));
    ASSERT_EQ(1u, vendor->calls.size());
    EXPECT_EQ(kInstalled, status());
}

TEST_F(AdapterInstall, MoreAdaptersOrMatchesThanTheRecordHoldsFailBeforeAnyRequest) {
    const std::string model(250, 'M'), serial = "S";
    const std::string error = "pkg: 57: Package installation error happened.";
    struct Case {
        int ports, payloads;
        size_t calls;
        std::string status;
        const char *trace;
    } cases[] = {
        {60, 1, 0, error, "10 adapters found beyond the 50 the record holds"},
        {11, 10, 0, error, "10 payload matches beyond the 100 the record holds"},
        {10, 10, 100, kInstalled, "parsePayloadDeviceIDArray finished."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.ports) + " ports, " + std::to_string(c.payloads));
        reset();
        Vendor vendor("root/brocade");
        vendor.add("BROCADE_HBASoftwareInstallationService", {{{"SystemName", "host7"}}, {}});
        vendor.add("BROCADE_PhysicalPackage", {{}, {{"Model", model}, {"SerialNumber", serial}}});
        for (int i = 0; i < c.ports; ++i) {
            std::string id = std::to_string(i) + std::string(300, 'd');
            vendor.add("BROCADE_PortController", {{}, {{"Name", serial}, {"DeviceID", id}}});
        }
        std::vector<Payload> payloads;
        for (int p = 0; p < c.payloads; ++p) {
            payloads.push_back({"image/p" + std::to_string(p) + ".bin", {model.substr(0, 199)}});
        }
        write_package(payloads);

        EXPECT_EQ(c.calls ? 0 : 1, installBrocadePkg(0, ctx));
        const int32_t kept = pkgInstance[0].DFNDeviceCount;
        ASSERT_EQ(std::min(c.ports, 50), kept);
        EXPECT_EQ(199u, std::strlen(pkgInstance[0].DFNDeviceIDs[kept - 1].DeviceID));
        EXPECT_EQ(c.calls, vendor.calls.size());
        EXPECT_EQ(c.status, status());
        EXPECT_NE(std::string::npos, testfiles::trace_log().find(c.trace));
    }
}

// A broker that cannot make object paths of one class.
std::string gUnbuildableClass;
CMPIBrokerEncFT gFailingEft;
CMPIBroker gFailingBroker;

CMPIObjectPath *new_path_unless(const CMPIBroker *, const char *ns, const char *cls,
                                CMPIStatus *rc) {
    if (gUnbuildableClass == cls) {
        return nullptr;
    }
    return hostsim::broker()->eft->newObjectPath(hostsim::broker(), ns, cls, rc);
}

TEST_F(AdapterInstall, PathsThatCannotBeBuiltRecordFiftyFour) {
    gFailingBroker = *hostsim::broker();
    gFailingEft = *gFailingBroker.eft;
    gFailingEft.newObjectPath = new_path_unless;
    gFailingBroker.eft = &gFailingEft;
    struct Case {
        const char *unbuildable;
        int32_t (*payloads)(int32_t, const CMPIContext *);
        std::string status;
    } cases[] = {
        {"BROCADE_PortController", installBrcdFCpayload, "pkg: 54: " + kCap54},
        {"BROCADE_HBASoftwareInstallationService", installBrcdFCpayload, "pkg: 54: " + kCap54},
        {"ELXUCNA_EthernetPort", install_elxcna_payload, "pkg: 54: " + kLow54},
        {"ELXHBA_SoftwareInstallationService", install_elxfc_payload, "pkg: 54: " + kLow54},
        {"BRCMFWUP_SoftwareInstallationService",
         [](int32_t p, const CMPIContext *c) { return installBroadcompayload(p, c, kArea); },
         "pkg: 54: " + kCap54},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.unbuildable);
        reset();
        gUnbuildableClass = c.unbuildable;
        QEL_VMWarePackageInstallationBroker = &gFailingBroker;
        pkgInstance[0].PayloadCount = 1;
        copy_text(pkgInstance[0].Payloads[0].PayloadPath, "image/a.bin");
        EXPECT_EQ(1, c.payloads(0, ctx));
        EXPECT_EQ(c.status, status());
    }
}

TEST_F(AdapterInstall, BroadcomAndLsiInstallFromTheWorkingArea) {
    struct Case {
        InstallerFunc install;
        const char *nameSpace, *serviceClass, *service;
        int32_t successResult;
    } cases[] = {
        {installBroadcomPkg, "brcmfwup/cimv2", "BRCMFWUP_SoftwareInstallationService",
         "brcmfwup/cimv2:BRCMFWUP_SoftwareInstallationService.SystemCreationClassName=\"BRCMFWUP "
         "Provider\",SystemName=\"Management Controller\",Name=\"BRCMFWUPSoftwareInstallation"
         "Service\",CreationClassName=\"BRCMFWUP_SoftwareInstallationService\"",
         0},
        {installLSIPkg, "orpv/cimv2", "ORPV_SoftwareInstallationService",
         "orpv/cimv2:ORPV_SoftwareInstallationService.SystemCreationClassName=\"ORPV Provider\","
         "SystemName=\"Management Controller\",Name=\"ORPVSoftwareInstallationService\","
         "CreationClassName=\"ORPV_SoftwareInstallationService\"",
         1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.nameSpace);
        reset();
        Vendor vendor(c.nameSpace);
        vendor.serve(c.serviceClass);
        write_package({{"fw/flash.bin", {}}});
        vendor.codes = {0, 4097, 4096};

        EXPECT_EQ(c.successResult, c.install(0, ctx));
        EXPECT_EQ(kInstalled, status());
        EXPECT_FALSE(area_exists());
        ASSERT_EQ(1u, vendor.calls.size());
        EXPECT_EQ(c.service, vendor.calls[0].service);
        EXPECT_EQ("URI:string=/var/tmp/QEL/Xorvo/Package/", vendor.calls[0].args);

        EXPECT_EQ(1, c.install(0, ctx));
        EXPECT_EQ("pkg: 58: Unsupported Target Type.", status());
        EXPECT_TRUE(testfiles::exists(std::string(kArea) + "fw/flash.bin"));
        EXPECT_EQ(1, c.install(0, ctx)); // a job was started: not followed
        EXPECT_EQ("pkg: 57: Package installation error happened.", status());

        vendor.brokerError = true;
        EXPECT_EQ(1, c.install(0, ctx));
        EXPECT_EQ("pkg: 57: Package installation error happened.", status());
    }
}

} // namespace
