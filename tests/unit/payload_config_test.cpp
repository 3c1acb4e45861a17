#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "metadata_test_util.h"
#include "payload_config.h"

using namespace metadata_test;

namespace {

constexpr const char *kCfgPath = "/var/tmp/QEL/Xorvo/Package/image/payload.xml";
using Strings = std::vector<std::string>;
using Devices = std::vector<std::pair<std::string, std::string>>; // DFN, device id

std::string payload(const std::string &tag, const std::string &file, const Strings &applies,
                    bool close = true) {
    std::string out = "  <" + tag + ">" + file + "\n";
    for (const auto &a : applies) {
        out += "    <applicability type=\"DFN\">" + a + "</applicability>\n";
    }
    return close ? out + "  </payload>\n" : out;
}

std::string config(const std::string &body) {
    return "<?xml version=\"1.0\"?>\n<updateConfiguration>\n" + body + "</updateConfiguration>\n";
}

int parse(const std::string &text, const Devices &devices) {
    write_file(kCfgPath, text);
    PkgInstance &r = pkgInstance[0];
    r.DFNDeviceCount = static_cast<int32_t>(devices.size());
    for (size_t i = 0; i < devices.size(); ++i) {
        copy_text(r.DFNDeviceIDs[i].DFN, devices[i].first.c_str());
        copy_text(r.DFNDeviceIDs[i].DeviceID, devices[i].second.c_str());
    }
    return parsePayloadDeviceIDArray(0);
}

// "file@device" for each Payloads entry.
Strings payloads() {
    Strings out;
    for (int i = 0; i < pkgInstance[0].PayloadCount; ++i) {
        const PayloadEntry &e = pkgInstance[0].Payloads[i];
        out.push_back(std::string(e.PayloadPath) + "@" + e.DeviceID);
    }
    return out;
}

TEST(PayloadConfig, MatchesAdaptersInTheirOrder) {
    struct Case {
        const char *what;
        std::string body;
        Strings expected;
    } cases[] = {
        {"orders 2 then 1",
         payload("payload order=\"2\"", "a.bin", {"lpfc"}) +
             payload("payload order=\"1\"", "b.bin\r", {"lpfc"}),
         {"b.bin@D1", "a.bin@D1"}},
        {"equal orders: last one first",
         payload("payload order=\"1\"", "a", {"lpfc"}) +
             payload("payload order=\"2\"", "b", {"lpfc"}) +
             payload("payload order=\"1\"", "c", {"lpfc"}),
         {"c@D1", "a@D1", "b@D1"}},
        {"first without order: file order",
         payload("payload", "a.bin", {"lpfc"}) + payload("payload order=\"1\"", "b.bin", {"lpfc"}),
         {"a.bin@D1", "b.bin@D1"}},
        {"first attribute not order",
         payload("payload order=\"2\"", "a.bin", {"lpfc"}) +
             payload("payload type=\"x\" order=\"1\"", "b.bin<x>", {"lpfc"}),
         {"b.bin@D1", "a.bin@D1"}},
        {"order forms",
         payload("payload  order = \" 7\"", "a", {"lpfc"}) +
             payload("payload order=3", "b", {"lpfc"}) +
             payload("payload order=\"-1\"", "c", {"lpfc"}),
         {"c@D1", "b@D1", "a@D1"}},
        {"duplicate applicability, adapters in turn",
         payload("payload", "a.bin", {"lpfc", "lpfc", "qla"}),
         {"a.bin@D1", "a.bin@D2"}},
        {"whole, case-sensitive values",
         payload("payload", "a", {"lpf", "LPFC", "lpfc2", "qla "}),
         {}},
        {"payload line inside an open payload",
         payload("payload order=\"1\"", "a.bin", {}, false) + payload("payload", "b", {"lpfc\b"}),
         {"a.bin@D1"}},
        {"/updateConfiguration ends the pass",
         "</updateConfiguration>\n" + payload("payload", "a.bin", {"lpfc"}),
         {}},
        {"tag names by prefix rule",
         payload("p", "1", {"lpfc"}) + payload("pay", "2", {"lpfc"}) +
             payload("payloadX", "3", {"lpfc"}) + payload("payloadXY", "4", {"lpfc"}) +
             payload("Payload", "5", {"lpfc"}),
         {"1@D1", "2@D1", "3@D1"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        reset_run();
        EXPECT_EQ(parse(config(c.body), {{"lpfc", "D1"}, {"qla", "D2"}, {"bfa", "D3"}}), 1);
        EXPECT_EQ(payloads(), c.expected);
    }
    // Without an /updateConfiguration line the file is read to its end.
    EXPECT_EQ(parse(payload("payload", "a.bin", {"bfa"}), {{"bfa", "D3"}}), 1);
    EXPECT_EQ(payloads(), Strings{"a.bin@D3"});
}

TEST(PayloadConfig, FailuresReturnZeroAndKeepTheCount) {
    reset_run();
    pkgInstance[0].PayloadCount = 7;
    EXPECT_EQ(parse(config(payload("payload order=\"1\"", "", {"lpfc"})), {{"lpfc", "D1"}}), 0);
    EXPECT_EQ(pkgInstance[0].PayloadCount, 7);
    std::remove(kCfgPath);
    EXPECT_EQ(parsePayloadDeviceIDArray(0), 0);
    // A pipe or link in the configuration's place is not read (a pipe would block the open).
    alarm(60);
    ASSERT_EQ(mkfifo(kCfgPath, 0644), 0);
    EXPECT_EQ(parsePayloadDeviceIDArray(0), 0);
    std::remove(kCfgPath);
    write_file("/tmp/payload.xml", config(payload("payload", "a.bin", {"lpfc"})));
    ASSERT_EQ(symlink("/tmp/payload.xml", kCfgPath), 0);
    EXPECT_EQ(parsePayloadDeviceIDArray(0), 0);
    alarm(0);
    // Nor one behind a link that another user planted among the working area's directories.
    write_file("/tmp/planted/Xorvo/Package/image/payload.xml",
               config(payload("payload", "a.bin", {"lpfc"})));
    std::filesystem::remove_all("/var/tmp/QEL");
    ASSERT_EQ(symlink("/tmp/planted", "/var/tmp/QEL"), 0);
    EXPECT_EQ(parsePayloadDeviceIDArray(0), 0);
    EXPECT_EQ(pkgInstance[0].PayloadCount, 7);
    pkgInstance[0].DFNDeviceCount = 0; // no adapter: the file is not even opened
    EXPECT_EQ(parsePayloadDeviceIDArray(0), 1);
    EXPECT_EQ(pkgInstance[0].PayloadCount, 0);
    EXPECT_NE(trace_log().find("] Enter parsePayloadDeviceIDArray.\n"), std::string::npos);
    EXPECT_NE(trace_log().find("] parsePayloadDeviceIDArray finished.\n"), std::string::npos);
}

TEST(PayloadConfig, TenPayloadsPerAdapterAndHundredInAll) {
    reset_run();
    std::string body;
    for (int k = 0; k < 11; ++k) {
        body += payload("payload order=\"" + std::to_string(11 - k) + "\"", "f" + std::to_string(k),
                        {"lpfc"});
    }
    EXPECT_EQ(parse(config(body), Devices(11, {"lpfc", "D"})), 1);
    EXPECT_EQ(pkgInstance[0].PayloadCount, 100);
    EXPECT_STREQ(pkgInstance[0].Payloads[0].PayloadPath, "f9"); // f10 was the eleventh
    EXPECT_STREQ(pkgInstance[0].Payloads[9].PayloadPath, "f0");
    EXPECT_NE(trace_log().find("payload table full"), std::string::npos);
}

TEST(PayloadConfig, MalformedFilesStayInsideTheRecord) {
    reset_run();
    const std::string longName(300, 'n');
    EXPECT_EQ(parse(config(payload("payload", longName, {"lpfc"}) + "<payload>" +
                           std::string(1500, 'x') + "\n<applicability type=\"t\">lpfc\n"),
                    {{"lpfc", "D1"}}),
              1);
    EXPECT_EQ(payloads(), Strings{longName.substr(0, 199) + "@D1"});
    EXPECT_NE(trace_log().find("file name cut"), std::string::npos);
    for (unsigned seed = 1; seed <= 20; ++seed) {
        reset_run();
        int rc = parse(garbage(20000, seed), {{"a", "D1"}, {"", "D2"}, {"<", "D3"}});
        EXPECT_TRUE(rc == 0 || rc == 1);
        EXPECT_TRUE(fields_terminated(pkgInstance[0]));
        EXPECT_LE(pkgInstance[0].PayloadCount, 100);
    }
}

TEST(PayloadConfig, FileLocationsKeepOneBoundedPath) {
    char cfg[kPayloadLineSize];
    EXPECT_EQ(findCfgFileName(cfg), 1);
    EXPECT_STREQ(cfg, kCfgPath);
    EXPECT_EQ(SetFileLocation(std::string(2000, 'p').c_str()), 0);
    EXPECT_EQ(strlen(GetFileLocation()), 1024u);
    EXPECT_EQ(SetFileLocation("/var/tmp/fw.bin"), 0);
    EXPECT_STREQ(GetFileLocation(), "/var/tmp/fw.bin");
}

} // namespace
