#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include <cmpi/cmpimacs.h>

#include "hostsim_broker.h"
#include "hostsim_test_host.h"
#include "hostsimkit.h"

namespace {

using hostsim::sim::Json;
using hostsim::sim::SimError;

const CMPIBroker *mb() {
    return hostsim::broker();
}

std::string error_of(const std::function<void()> &action) {
    try {
        action();
    } catch (const SimError &error) {
        return error.what();
    }
    return "(no error)";
}

TEST(Scenario, MalformedFilesNameFileLineAndColumn) {
    EXPECT_EQ(0u, error_of([] {
                      hostsim::sim::parse_scenario("{\n  \"a\": 1,\n  \"b\": \n}", "s.json");
                  }).rfind("s.json:4:1: syntax error", 0));
    EXPECT_EQ(0u, error_of([] {
                      hostsim::sim::parse_scenario("{\"a\": [1,\n 2", "s.json");
                  }).rfind("s.json:2:", 0));
    EXPECT_EQ("s.json:1: a scenario is a JSON object, not array",
              error_of([] { hostsim::sim::parse_scenario("[1]", "s.json"); }));
    EXPECT_EQ(0u, error_of([] {
                      hostsim::sim::load_scenario_file("/tmp/absent.json");
                  }).rfind("/tmp/absent.json: cannot read the scenario file", 0));
}

TEST(Scenario, CurrentScenarioFollowsTheFileAndRestartsSequences) {
    const char *path = "/tmp/follow.json";
    unsetenv(hostsim::sim::kScenarioVariable);
    EXPECT_EQ(Json::object(), *hostsim::sim::current_scenario());

    testfiles::write(path, R"({"x": 1, "steps": ["a", "b"]})");
    setenv(hostsim::sim::kScenarioVariable, path, 1);
    EXPECT_EQ(1, hostsim::sim::scenario_section("x"));
    Json steps = hostsim::sim::scenario_section("steps");
    EXPECT_EQ("a", hostsim::sim::next_in_sequence("k", steps));
    EXPECT_EQ("b", hostsim::sim::next_in_sequence("k", steps));
    EXPECT_EQ("b", hostsim::sim::next_in_sequence("k", steps));

    // Same size, later modification time: read again, and the sequences start over.
    testfiles::write(path, R"({"x": 3, "steps": ["a", "b"]})");
    struct timespec later[2] = {{0, UTIME_OMIT}, {time(nullptr) + 5, 0}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, path, later, 0));
    EXPECT_EQ(3, hostsim::sim::scenario_section("x"));
    EXPECT_TRUE(hostsim::sim::scenario_section("absent").is_null());
    EXPECT_EQ("a", hostsim::sim::next_in_sequence("k", steps));

    testfiles::write(path, "{\"x\": ");
    EXPECT_EQ(0u,
              error_of([] { hostsim::sim::current_scenario(); }).rfind("/tmp/follow.json:1:", 0));
    setenv(hostsim::sim::kScenarioVariable, "/tmp/gone.json", 1);
    EXPECT_NE("(no error)", error_of([] { hostsim::sim::current_scenario(); }));
    unsetenv(hostsim::sim::kScenarioVariable);
}

TEST(Scenario, SequencesRepeatTheirLastElementAndReset) {
    Json codes = Json::array({4107, 0});
    EXPECT_EQ(4107, hostsim::sim::next_in_sequence("seq.a", codes));
    EXPECT_EQ(0, hostsim::sim::next_in_sequence("seq.a", codes));
    EXPECT_EQ(0, hostsim::sim::next_in_sequence("seq.a", codes));
    EXPECT_EQ(4107, hostsim::sim::next_in_sequence("seq.b", codes)); // keys count apart
    EXPECT_EQ(9, hostsim::sim::next_in_sequence("seq.c", Json(9)));
    EXPECT_EQ(9, hostsim::sim::next_in_sequence("seq.c", Json(9)));
    EXPECT_TRUE(hostsim::sim::next_in_sequence("seq.d", Json::array()).is_null());
    hostsim::sim::reset_sequence("seq.a");
    EXPECT_EQ(4107, hostsim::sim::next_in_sequence("seq.a", codes));
    hostsim::sim::reset_sequences_under("seq.");
    EXPECT_EQ(4107, hostsim::sim::next_in_sequence("seq.a", codes));
    EXPECT_EQ(4107, hostsim::sim::next_in_sequence("seq.b", codes));
}

TEST(SimValues, PathTextRoundTripsAndRejectsMalformedPaths) {
    hostsim::sim::PathText path{"root/x", "C_1", {{"A", "v \"q\" \\ ,x"}, {"B", ""}}};
    std::string text = hostsim::sim::format_path_text(path);
    EXPECT_EQ(R"(root/x:C_1.A="v \"q\" \\ ,x",B="")", text);
    hostsim::sim::PathText back;
    ASSERT_TRUE(hostsim::sim::parse_path_text(text, &back, nullptr));
    EXPECT_EQ(path.keys, back.keys);
    ASSERT_TRUE(hostsim::sim::parse_path_text("ns:C.K=bare,L=\"q\"", &back, nullptr));
    EXPECT_EQ("bare", back.keys[0].second);

    for (const char *bad : {"noclass", ":C", "ns:", "ns:C.", "ns:C.K", "ns:C.K=\"open", "ns:C.K=v,",
                            "ns:Bad-Name", "ns:C.K=\"v\"x", "ns:C.=v"}) {
        std::string error;
        EXPECT_FALSE(hostsim::sim::parse_path_text(bad, &back, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(SimValues, ScenarioValuesTakeTheirTypesAndRanges) {
    hostsim::CallScope scope;
    CMPIArgs *args = CMNewArgs(mb(), nullptr);
    Json values = Json::parse(R"({"S": "text", "B": true, "U": 5, "N": -5, "R": 1.5,
        "Opts": {"type": "uint16[]", "value": [4, 5]}, "Op": {"type": "uint8", "value": 1},
        "T": {"type": "ref", "value": "root/b:Port.DeviceID=\"p0\""},
        "Empty": {"type": "string", "value": null}, "L": ["a", "b"]})");
    hostsim::sim::set_args(mb(), args, values);
    Json expected = Json::parse(R"([["S","string","text"],["B","boolean",true],["U","uint32",5],
        ["N","sint32",-5],["R","real64",1.5],["Opts","uint16[]",[4,5]],["Op","uint8",1],
        ["T","ref","root/b:Port.DeviceID=\"p0\""],["Empty","string",null],
        ["L","string[]",["a","b"]]])");
    EXPECT_EQ(expected, hostsim::sim::args_to_json(args));

    for (const char *bad :
         {R"({"type": "uint16", "value": 70000})", R"({"type": "uint8", "value": -1})",
          R"({"type": "gadget", "value": 1})", R"({"value": 1})",
          R"({"type": "boolean", "value": "yes"})", R"({"type": "ref", "value": "no path"})",
          R"([[1]])"}) {
        EXPECT_NE("(no error)",
                  error_of([bad] { hostsim::sim::CimValue::from_json(mb(), Json::parse(bad)); }))
            << bad;
    }
}

TEST(Journal, RecordsKeysAndArgumentsInOrderWithTheirTypes) {
    hostsim::CallScope scope;
    CMPIObjectPath *path = CMNewObjectPath(mb(), "root/brocade", "Svc", nullptr);
    CMAddKey(path, "Zeta", "z", CMPI_chars);
    CMAddKey(path, "Alpha", "a", CMPI_chars);
    CMPIObjectPath *target = CMNewObjectPath(mb(), "root/brocade", "Port", nullptr);
    CMAddKey(target, "DeviceID", "p\"0", CMPI_chars);
    CMPIArray *options = CMNewArray(mb(), 1, CMPI_uint16, nullptr);
    CMPIUint16 four = 4;
    CMSetArrayElementAt(options, 0, &four, CMPI_uint16);
    CMPIArgs *args = CMNewArgs(mb(), nullptr);
    CMAddArg(args, "InstallOptions", &options, CMPI_uint16A);
    CMAddArg(args, "Target", &target, CMPI_ref);
    CMAddArg(args, "URI", "file:///p", CMPI_chars);
    CMAddArg(args, "Missing", nullptr, CMPI_uint8);

    Json record = hostsim::sim::request_record("InstallFromURI", path, args);
    EXPECT_EQ(Json::parse(R"({"namespace":"root/brocade","class":"Svc",
        "operation":"InstallFromURI","keys":[["Zeta","string","z"],["Alpha","string","a"]],
        "args":[["InstallOptions","uint16[]",[4]],
                ["Target","ref","root/brocade:Port.DeviceID=\"p\\\"0\""],
                ["URI","string","file:///p"],["Missing","uint8",null]]})"),
              record);
    EXPECT_EQ(0u,
              record.dump().rfind(
                  R"({"namespace":"root/brocade","class":"Svc","operation":"InstallFromURI",)", 0));
}

TEST(Journal, ConcurrentWritersNeverInterleaveLines) {
    const std::string path = "/tmp/concurrent.jsonl";
    std::vector<std::thread> writers;
    for (int t = 0; t < 8; ++t) {
        writers.emplace_back([t, &path] {
            for (int i = 0; i < 200; ++i) {
                Json record = {{"writer", t}, {"n", i}, {"pad", std::string(3000, 'x')}};
                hostsim::sim::append_journal_line(path, record);
            }
        });
    }
    for (auto &writer : writers) {
        writer.join();
    }
    std::vector<Json> records = hostsim::sim::read_journal(path);
    ASSERT_EQ(1600u, records.size());
    std::set<std::pair<int, int>> seen;
    for (const Json &record : records) {
        seen.insert({record["writer"].get<int>(), record["n"].get<int>()});
    }
    EXPECT_EQ(1600u, seen.size());

    testfiles::write("/tmp/bad.jsonl", "{}\n{\n");
    EXPECT_EQ(0u, error_of([] {
                      hostsim::sim::read_journal("/tmp/bad.jsonl");
                  }).rfind("/tmp/bad.jsonl:2:", 0));
    EXPECT_TRUE(hostsim::sim::read_journal("/tmp/none.jsonl").empty());
}

// The kit's provider defaults, reached through the broker as a client reaches them.
class SimProviderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hostsim::clear_registrations();
        testhost::write_host_files();
        setenv(hostsim::sim::kScenarioVariable, testhost::kScenario, 1);
        setenv(hostsim::sim::kJournalVariable, testhost::kJournal, 1);
        std::string error;
        ASSERT_TRUE(hostsim::load_registry(testhost::kRegistry, "/usr/lib/cim", nullptr, &error))
            << error;
        context = hostsim::new_context();
    }
    void TearDown() override {
        CMRelease(context);
        unsetenv(hostsim::sim::kJournalVariable);
        hostsim::clear_registrations();
    }

    CMPIObjectPath *path(const char *cls = "HostsimTest_Echo") {
        return CMNewObjectPath(mb(), "test/cimv2", cls, nullptr);
    }
    CMPIData call(const char *method, CMPIArgs *out, CMPIStatus *rc) {
        return CBInvokeMethod(mb(), context, path(), method, nullptr, out, rc);
    }
    std::vector<std::string> job_texts(int polls) {
        std::vector<std::string> texts;
        for (int i = 0; i < polls; ++i) {
            CMPIEnumeration *jobs =
                CBEnumInstances(mb(), context, path("HostsimTest_Job"), nullptr, nullptr);
            while (jobs && CMHasNext(jobs, nullptr)) {
                CMPIData job = CMGetNext(jobs, nullptr);
                texts.push_back(
                    hostsim::to_text(CMGetProperty(job.value.inst, "JobStatus", nullptr)));
            }
        }
        return texts;
    }

    CMPIContext *context = nullptr;
    hostsim::CallScope scope;
};

TEST_F(SimProviderTest, ServesScenarioInstancesAndJournalsEveryRequest) {
    CMPIStatus rc{};
    CMPIEnumeration *found = CBEnumInstances(mb(), context, path(), nullptr, &rc);
    ASSERT_EQ(CMPI_RC_OK, rc.rc);
    CMPIData first = CMGetNext(found, nullptr);
    CMPIData count = CMGetProperty(first.value.inst, "Count", nullptr);
    EXPECT_EQ(CMPI_uint16, count.type);
    EXPECT_EQ(3, count.value.uint16);
    EXPECT_EQ("x,y", hostsim::to_text(CMGetProperty(first.value.inst, "Names", nullptr)));
    EXPECT_EQ("a", hostsim::to_text(CMGetProperty(first.value.inst, "Id", nullptr)));

    CMPIObjectPath *wanted = path();
    CMAddKey(wanted, "id", "b \"quoted\"", CMPI_chars);
    EXPECT_NE(nullptr, CBGetInstance(mb(), context, wanted, nullptr, &rc));
    EXPECT_EQ(CMPI_RC_OK, rc.rc);
    CMPIObjectPath *absent = path();
    CMAddKey(absent, "Id", "zzz", CMPI_chars);
    EXPECT_EQ(nullptr, CBGetInstance(mb(), context, absent, nullptr, &rc));
    EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND, rc.rc);

    std::vector<Json> journal = hostsim::sim::read_journal(testhost::kJournal);
    ASSERT_EQ(3u, journal.size());
    EXPECT_EQ("EnumerateInstances", journal[0]["operation"]);
    EXPECT_EQ("test/cimv2", journal[0]["namespace"]);
    EXPECT_EQ("HostsimTest_Echo", journal[0]["class"]);
    EXPECT_EQ(Json::parse(R"([["id","string","b \"quoted\""]])"), journal[1]["keys"]);
    EXPECT_EQ("GetInstance", journal[2]["operation"]);
}

TEST_F(SimProviderTest, MethodRepliesFollowTheScenarioFaults) {
    CMPIStatus rc{};
    CMPIArgs *out = CMNewArgs(mb(), nullptr);
    EXPECT_EQ(4107u, call("Faulty", out, &rc).value.uint32);
    EXPECT_EQ(0u, call("Faulty", nullptr, &rc).value.uint32);
    EXPECT_EQ(0u, call("Faulty", nullptr, &rc).value.uint32);
    EXPECT_EQ(7u, CMGetArg(out, "Kept", nullptr).value.uint32);
    EXPECT_TRUE(CMGetArg(out, "DestinationURI", nullptr).state & CMPI_notFound);

    call("Broken", nullptr, &rc);
    EXPECT_EQ(CMPI_RC_ERR_INVALID_PARAMETER, rc.rc);
    EXPECT_STREQ("bad input", CMGetCharPtr(rc.msg));
    call("Flaky", nullptr, &rc);
    EXPECT_EQ(CMPI_RC_ERR_FAILED, rc.rc);
    EXPECT_EQ(0u, call("Flaky", nullptr, &rc).value.uint32);
    EXPECT_EQ(CMPI_RC_OK, rc.rc);
    call("Unlisted", nullptr, &rc);
    EXPECT_EQ(CMPI_RC_ERR_METHOD_NOT_FOUND, rc.rc);
    EXPECT_EQ(7u, hostsim::sim::read_journal(testhost::kJournal).size());
}

TEST_F(SimProviderTest, JobAppearsWithItsMethodAndWalksItsSteps) {
    EXPECT_TRUE(job_texts(1).empty());
    CMPIStatus rc{};
    call("Faulty", nullptr, &rc);
    EXPECT_EQ((std::vector<std::string>{"one", "two", "two"}), job_texts(3));
    call("Faulty", nullptr, &rc);
    EXPECT_EQ((std::vector<std::string>{"one"}), job_texts(1));
}

TEST_F(SimProviderTest, AbsentSectionsAndBadScenariosGiveStatuses) {
    CMPIStatus rc{};
    testfiles::write(testhost::kScenario, R"({"other": {}})");
    call("Ping", nullptr, &rc);
    EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND, rc.rc);

    testfiles::write(testhost::kScenario, R"({"hostsim_test": {"present": false}} )");
    call("Ping", nullptr, &rc);
    EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND, rc.rc);

    testfiles::write(testhost::kScenario, "{\n\"hostsim_test\": {,}}");
    call("Ping", nullptr, &rc);
    EXPECT_EQ(CMPI_RC_ERR_FAILED, rc.rc);
    EXPECT_NE(nullptr, strstr(CMGetCharPtr(rc.msg), "/tmp/hostsim-test.json:2:"));

    testfiles::write(testhost::kScenario, R"({"hostsim_test": {"instances": {"HostsimTest_Echo":
        [{"keys": {"Id": {"type": "uint8", "value": 300}}}]}}})");
    EXPECT_EQ(nullptr, CBEnumInstances(mb(), context, path(), nullptr, &rc));
    EXPECT_EQ(CMPI_RC_ERR_FAILED, rc.rc);
    EXPECT_NE(nullptr, strstr(CMGetCharPtr(rc.msg), "300"));
}

} // namespace
