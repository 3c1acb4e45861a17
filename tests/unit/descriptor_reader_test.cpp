#include <gtest/gtest.h>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>

#include "descriptor_reader.h"
#include "metadata_test_util.h"

using namespace metadata_test;

namespace {

constexpr const char *kDescriptorPath = "/tmp/desc/pkg_1.20.xml";
const std::string kIndent = "  ";

std::string header(const std::string &indent, const std::string &name, const char *type) {
    return indent + "<PROPERTY NAME=\"" + name + "\" TYPE=\"" + type + "\">\n";
}

std::string property(const std::string &name, const std::string &value,
                     const std::string &indent = kIndent, const char *type = "string") {
    return header(indent, name, type) + indent + "  <VALUE>" + value + "</VALUE>\n" + indent +
           "</PROPERTY>\n";
}

std::string array(const std::string &name, const std::vector<std::string> &values) {
    std::string out = "  <PROPERTY.ARRAY NAME=\"" + name + "\" TYPE=\"string\">\n  <VALUE.ARRAY>\n";
    for (const auto &v : values) {
        out += "    <VALUE>" + v + "</VALUE>\n";
    }
    return out + "  </VALUE.ARRAY>\n  </PROPERTY.ARRAY>\n";
}

class DescriptorReader : public ::testing::Test {
  protected:
    void SetUp() override { prepare("file://" + std::string(kDescriptorPath)); }

    // Record 0 as run initialisation leaves it, with the descriptor fetched locally.
    void prepare(const std::string &localUri) {
        reset_run();
        pkgnum = 1;
        copy_text(rec.XMLPath, "tftp://10.0.0.1/pkgs/pkg_1.20.xml");
        copy_text(rec.TFTPPayloadPkgURIs, "tftp://10.0.0.1/pkgs/");
        copy_text(rec.LocalFileURI, localUri.c_str());
        copy_text(rec.supersedes, "No supersedes");
        rec.OrderFlag = order_flag::kUnread;
    }
    void read(const std::string &body) {
        write_file(kDescriptorPath, "<?xml version=\"1.0\"?>\n<INSTANCE>\n" + body);
        getPkgAssociation(0);
    }
    PkgInstance &rec = pkgInstance[0];
};

TEST_F(DescriptorReader, IndentedDescriptorFillsTheRecord) {
    read(property("Name", "System UEFI") + property("type", "1", kIndent, "uint16") +
         property("category", "UEFI") + array("preReq", {"vendor_a", "vendor_b"}) +
         array("coReq", {"c_1"}) + property("payload", "p.bin") +
         property("identificationCode", "vendor_uefi_1") + property("supersedes", "vendor_uefi_0"));
    EXPECT_STREQ(rec.Name, "System UEFI");
    EXPECT_STREQ(rec.type, "1");
    EXPECT_STREQ(rec.category, "UEFI");
    ASSERT_EQ(rec.preReqCount, 3);
    EXPECT_STREQ(rec.preReq[2], "c_1");
    EXPECT_STREQ(rec.TFTPPayloadPkgURIs, "tftp://10.0.0.1/pkgs/p.bin");
    EXPECT_STREQ(rec.supersedes, "vendor_uefi_0");
    EXPECT_STREQ(rec.manufacturer, "vendor");
    EXPECT_EQ(rec.OrderFlag, order_flag::kUefi);
    std::string log = trace_log();
    for (const char *line :
         {"] Enter getPkgAssociation.\n", "] Open file //tmp/desc/pkg_1.20.xml\n",
          "] Package OrderFlag:250\n", "] preReq package:vendor_a vendor_b c_1\n",
          "] Package identificationCode:vendor_uefi_1\n", "] Complete getPkgAssociation.\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
}

TEST_F(DescriptorReader, HeadersInTheFirstColumnYieldNoValues) {
    read(property("Name", "X", "") + property("type", "1", "", "uint16") +
         property("payload", "p.bin", ""));
    EXPECT_STREQ(rec.Name, "");
    EXPECT_STREQ(rec.TFTPPayloadPkgURIs, "tftp://10.0.0.1/pkgs/");
    EXPECT_EQ(rec.OrderFlag, order_flag::kUnsupported);
}

TEST_F(DescriptorReader, OrderFlagFollowsTypeAndCategory) {
    struct Case {
        const char *type, *category;
        int32_t flag;
    } cases[] = {{"1", "VXC", 350},    {"1", "VXC2", 350},        {"1", "UEFI", 250},
                 {"1", "FPGA", 400},   {"1", "Diagnostics", 300}, {"1", "vxc2", 300},
                 {"01", "UEFI", 1001}, {"", "UEFI", 1001}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.type) + "/" + c.category);
        SetUp();
        read(property("type", c.type, kIndent, "uint16") + property("category", c.category));
        EXPECT_EQ(rec.OrderFlag, c.flag);
    }
}

TEST_F(DescriptorReader, PrerequisiteListKeepsFiveNames) {
    read(array("preReq", {"a", "b", "c", "d", "e", "f", "g"}) + array("coReq", {"late"}) +
         property("identificationCode", "after"));
    ASSERT_EQ(rec.preReqCount, 5);
    EXPECT_STREQ(rec.preReq[4], "e");
    EXPECT_STREQ(rec.identificationCode, "after");
    EXPECT_STREQ(rec.supersedes, "No supersedes"); // the field after preReq is untouched
}

TEST_F(DescriptorReader, ConsumedLinesRepeatsAndCodeWithoutUnderscore) {
    // The Name value is itself the type header, so the type test reads the line after it.
    read(header(kIndent, "Name", "string") +
         "  <VALUE><PROPERTY NAME=\"type\" TYPE=\"uint16\"></VALUE>\n  <VALUE>1</VALUE>\n" +
         property("category", "FPGA") + property("category", "VXC2") +
         property("payload", "a.bin") + property("payload", "b") +
         property("identificationCode", "plain"));
    EXPECT_STREQ(rec.type, "1");
    EXPECT_EQ(rec.OrderFlag, order_flag::kVxc);
    EXPECT_STREQ(rec.TFTPPayloadPkgURIs, "tftp://10.0.0.1/pkgs/a.binb");
    EXPECT_STREQ(rec.manufacturer, "plain");
}

TEST_F(DescriptorReader, UnreadableDescriptorRecordsStatus12) {
    for (const char *uri : {"file:///tmp/desc/missing.xml", "tftp://10.0.0.1/pkgs/pkg_1.20.xml"}) {
        prepare(uri);
        getPkgAssociation(0);
        EXPECT_EQ(rec.OrderFlag, order_flag::kUnopened) << uri;
        EXPECT_STREQ(rec.StatusLine, "pkg_1.20: 12: Pakcage XML can't be opened.");
    }
}

// Reading any of these would last for ever (or block at the open): each is a descriptor that
// cannot be opened. The alarm ends the test process instead of letting it hang.
TEST_F(DescriptorReader, DevicesPipesAndHugeFilesCannotBeOpened) {
    alarm(60);
    write_file("/tmp/desc/huge.xml", "");
    ASSERT_EQ(0, mkfifo("/tmp/desc/fifo.xml", 0644));
    ASSERT_EQ(0, symlink("/dev/zero", "/tmp/desc/zero.xml"));
    ASSERT_EQ(0, truncate("/tmp/desc/huge.xml", 1LL << 40)); // sparse: reads as zeros
    for (const char *path : {"/dev/zero", "/dev/urandom", "/tmp/desc/zero.xml",
                             "/tmp/desc/fifo.xml", "/tmp/desc/huge.xml"}) {
        prepare(std::string("file://") + path);
        getPkgAssociation(0);
        EXPECT_EQ(rec.OrderFlag, order_flag::kUnopened) << path;
        EXPECT_STREQ(rec.StatusLine, "pkg_1.20: 12: Pakcage XML can't be opened.");
        EXPECT_NE(trace_log().find(path + std::string(" is ")), std::string::npos) << path;
    }
    alarm(0);
}

TEST_F(DescriptorReader, MalformedDescriptorsStayInsideTheRecord) {
    const std::string longValue(300, 'v'), nameHeader = header(kIndent, "Name", "string");
    struct Case {
        std::string text;
        std::optional<std::string> name; // unchecked when absent
        const char *traced;
    } cases[] = {
        {nameHeader.substr(0, nameHeader.size() - 1), "", "ends after the Name header"},
        {nameHeader + "  <V>x</V>\n", "", "malformed Name value line"},
        {nameHeader + "  <VALUE>abc\n", "", "malformed Name value line"},
        {nameHeader + "  <VALUE>" + std::string(1500, 'x') + "</VALUE>\n", "", "malformed Name"},
        {property("Name", longValue), longValue.substr(0, 199), "Name value cut"},
        {garbage(20000, 7), std::nullopt, "Complete getPkgAssociation."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.traced);
        SetUp();
        read(property("payload", longValue) + c.text);
        EXPECT_TRUE(fields_terminated(rec));
        EXPECT_EQ(strlen(rec.TFTPPayloadPkgURIs), 199u);
        EXPECT_LE(rec.preReqCount, 5);
        if (c.name) {
            EXPECT_EQ(rec.Name, *c.name);
        }
        EXPECT_NE(trace_log().find(c.traced), std::string::npos);
    }
}

} // namespace
