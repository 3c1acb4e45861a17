#include <gtest/gtest.h>

#include <string>

#include "hostsim_broker.h"
#include "install_driver.h"
#include "installers.h"
#include "test_files.h"
#include "zelk_pkg_installer_broker.h"

namespace {

std::string descriptor(const char *name, const char *type, const char *category) {
    return std::string("<INSTANCE>\n<PROPERTY NAME=\"Name\" TYPE=\"string\">\n<VALUE>") + name +
           "</VALUE>\n</PROPERTY>\n<PROPERTY NAME=\"type\" TYPE=\"uint16\">\n<VALUE>" + type +
           "</VALUE>\n</PROPERTY>\n<PROPERTY NAME=\"category\" TYPE=\"string\">\n<VALUE>" +
           category + "</VALUE>\n</PROPERTY>\n</INSTANCE>\n";
}

TEST(StrHexToDec, FoldsEveryCharacterAfterThePrefix) {
    struct Case {
        const char *text;
        int32_t value;
    } cases[] = {
        {"", 0},      {"0x", 0},    {"0x1A", 26},       {"0x1a", 26},
        {"0x42", 66}, {"0X10", 16}, {"0x1g", 71},       {"ab", 0},
        {"0x0f", 15}, {"0x00", 0},  {"0xffffffff", -1}, {"0x100000000", 0}, // 32-bit, wrapping
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.value, strHexToDec(c.text)) << c.text;
    }
    EXPECT_EQ(0, strHexToDec(nullptr));
}

TEST(InstallerSelection, CategoryFirstThenName) {
    struct Case {
        const char *category, *name;
        InstallerFunc installer;
    } cases[] = {
        {"UEFI", "Broadcom NetXtreme", installESWPkg},
        {"VXC2", "", installESWPkg},
        {"Diagnostics", "", installESWPkg},
        {"SAS", "Emulex anything", installLSIPkg},
        {"Korvastor", "", installLSIPkg},
        {"Hard Disk Drive", "", installLSIPkg},
        {"Network", "Dual Broadcom card", installBroadcomPkg},
        {"Embedded Hypervisor", "VMware", installVMPkg},
        {"Fibre", "Emulex LPe", installElxFCPkg},
        {"Network", "Emulex OCe", installElxCNAPkg},
        {"Fibre", "QLogic 2600", installQlgPkg},
        {"Fibre", "Qlogic 2600", installQlgPkg},
        {"Fibre", "qlogic 2600", nullptr},
        {"Fibre", "Adapter FC3172 x", installQlgPkg},
        {"Fibre", "Brocade 1860", installBrocadePkg},
        {"uefi", "Other", nullptr},
        {"", "", nullptr},
    };
    for (const Case &c : cases) {
        copy_text(pkgInstance[3].category, c.category);
        copy_text(pkgInstance[3].Name, c.name);
        getPkgProviderName(3);
        EXPECT_EQ(c.installer, pkgInstance[3].InstallFunc) << c.category << " / " << c.name;
    }
}

class DriverRun : public ::testing::Test {
  protected:
    void SetUp() override { QEL_VMWarePackageInstallationBroker = hostsim::broker(); }
    hostsim::CallScope scope;
    CMPIContext *context = hostsim::new_context();
    void TearDown() override { CMRelease(context); }
};

TEST_F(DriverRun, UnsupportedPackagesReportEightyAndNothingIsInstalled) {
    testfiles::write("/tmp/a.xml", descriptor("Thing A", "2", "UEFI"));
    testfiles::write("/tmp/b.xml", descriptor("Thing B", "01", "VXC"));
    initPkgInstall("file:///tmp/a.xml|file:///tmp/b.xml");
    EXPECT_EQ(1, syncInstallAllPkgs(context));
    EXPECT_STREQ("a: 80: This package is not supported by current ZELK provider.",
                 pkgInstance[0].StatusLine);
    EXPECT_STREQ("b: 80: This package is not supported by current ZELK provider.",
                 pkgInstance[1].StatusLine);
    EXPECT_TRUE(testfiles::exists("/tmp/sfcb/zelk.safelock"));
    const std::string log = testfiles::trace_log();
    EXPECT_EQ(std::string::npos, log.find("Begin to Deploy."));
    EXPECT_NE(std::string::npos, log.find("Fail to delete files under ZELK_UNZIP_PATH. \n"));
}

TEST_F(DriverRun, UnreadableDescriptorIsStillDeployedWithoutAnInstaller) {
    initPkgInstall("file:///tmp/missing.xml");
    EXPECT_EQ(-1, syncInstallAllPkgs(context));
    EXPECT_EQ(1002, pkgInstance[0].OrderFlag);
    EXPECT_STREQ("missing: 12: Pakcage XML can't be opened.", pkgInstance[0].StatusLine);
    EXPECT_NE(std::string::npos, testfiles::trace_log().find("Begin to Deploy.\n"));
}

TEST_F(DriverRun, WorkingAreaIsRemovedAtTheEnd) {
    ASSERT_EQ(0, mkdir("/var/tmp/QEL", 0755));
    ASSERT_EQ(0, mkdir("/var/tmp/QEL/Xorvo", 0755));
    ASSERT_EQ(0, mkdir("/var/tmp/QEL/Xorvo/Package", 0755));
    testfiles::write("/var/tmp/QEL/Xorvo/Package/left.bin", "x");
    testfiles::write("/tmp/a.xml", descriptor("A", "3", "UEFI"));
    initPkgInstall("file:///tmp/a.xml");
    syncInstallAllPkgs(context);
    EXPECT_FALSE(testfiles::exists("/var/tmp/QEL/Xorvo/Package"));
    EXPECT_EQ(std::string::npos, testfiles::trace_log().find("ZELK_UNZIP_PATH"));
}

} // namespace
