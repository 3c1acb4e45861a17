#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "hostsim_test_host.h"
#include "hostsimkit.h"

namespace {

using hostsim::sim::Json;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

Outcome hostsim(const std::vector<std::string> &args) {
    const char *outFile = "/tmp/hostsim.out";
    const char *errFile = "/tmp/hostsim.err";
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(outFile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errFile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char *> argv{const_cast<char *>(HOSTSIM_BIN)};
        for (const std::string &arg : args) {
            argv.push_back(const_cast<char *>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execv(HOSTSIM_BIN, argv.data());
        _exit(127);
    }
    Outcome run;
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = testfiles::read(outFile);
    run.err = testfiles::read(errFile);
    return run;
}

// The test host, plus the Echo provider serving XORVO_VMpkgInstallationService in test/cimv2
// so the journal shows how the built-in type table types the arguments.
class HostsimCli : public ::testing::Test {
  protected:
    void SetUp() override {
        testhost::write_host_files();
        testfiles::write(testhost::kRegistry,
                         std::string(testhost::registry_text()) +
                             "[XORVO_VMpkgInstallationService]\n"
                             "provider: HostsimTest_EchoProvider\nlocation: hostsimtest\n"
                             "type: method\nnamespace: test/cimv2\n");
        Json scenario = Json::parse(testhost::scenario_text());
        scenario["hostsim_test"]["methods"]["InstallFromURI"] = Json::object();
        testfiles::write(testhost::kScenario, scenario.dump());
    }
    Outcome test_host(std::vector<std::string> args) {
        args.insert(args.begin(), {"--registry", testhost::kRegistry, "--scenario",
                                   testhost::kScenario, "--journal", testhost::kJournal});
        return hostsim(args);
    }
};

TEST_F(HostsimCli, ServesTheProviderThroughTheShippedRegistry) {
    const std::string service = "zelk/cimv2:XORVO_VMpkgInstallationService";
    Outcome ei = hostsim({"ei", service});
    ASSERT_EQ(0, ei.status) << ei.err;
    std::vector<std::string> lines = testfiles::lines(ei.out);
    ASSERT_FALSE(lines.empty());
    for (const std::string &line : lines) {
        EXPECT_NE(std::string::npos, line.find('=')) << "one instance, Name=value lines: " << line;
    }
    EXPECT_NE(std::string::npos, ei.out.find("\nName="));

    Outcome ein = hostsim({"ein", service});
    ASSERT_EQ(0, ein.status) << ein.err;
    ASSERT_EQ(1u, testfiles::lines(ein.out).size());
    EXPECT_EQ(0u, ein.out.rfind(service + ".", 0));

    Outcome cm = hostsim({"cm", service, "DeleteZELKDebugLogFile"});
    EXPECT_EQ(0, cm.status) << cm.err;
    EXPECT_EQ("ReturnValue=0\n", cm.out);
}

TEST_F(HostsimCli, VerbsPrintPlainLinesAndProvidersJournalTypedRequests) {
    Outcome ei = test_host({"ei", "test/cimv2:HostsimTest_Echo"});
    ASSERT_EQ(0, ei.status) << ei.err;
    EXPECT_EQ("Id=a\nCount=3\nNames=x,y\n\nId=b \"quoted\"\n", ei.out);
    EXPECT_NE(std::string::npos, ei.err.find("warning: provider Missing_Provider"));

    Outcome ein = test_host({"ein", "test/cimv2:HostsimTest_Echo"});
    std::vector<std::string> names = testfiles::lines(ein.out);
    ASSERT_EQ(2u, names.size());
    Outcome byName = test_host({"gi", names[1]}); // names read back as paths
    EXPECT_EQ(0, byName.status) << byName.err;
    EXPECT_EQ("Id=b \"quoted\"\n", byName.out);
    Outcome byKey = test_host({"gi", "test/cimv2:HostsimTest_Echo", "Id=a"});
    EXPECT_EQ("Id=a\nCount=3\nNames=x,y\n", byKey.out);

    Outcome faulty = test_host({"cm", "test/cimv2:HostsimTest_Echo", "Faulty"});
    EXPECT_EQ(0, faulty.status) << faulty.err;
    EXPECT_EQ("ReturnValue=4107\nKept=7\n", faulty.out);

    Outcome install = test_host({"cm", "test/cimv2:XORVO_VMpkgInstallationService",
                                 "InstallFromURI", "URI=file:///a|file:///b",
                                 "InstallOptions=32768,1", "UpdateArgs=--backup", "Extra:uint8=7"});
    EXPECT_EQ(0, install.status) << install.err;
    std::vector<Json> journal = hostsim::sim::read_journal(testhost::kJournal);
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(Json::parse(R"([["URI","string","file:///a|file:///b"],
        ["InstallOptions","uint16[]",[32768,1]],["UpdateArgs","string","--backup"],
        ["Extra","uint8",7]])"),
              journal.back()["args"]);
    EXPECT_EQ("InstallFromURI", journal.back()["operation"]);
}

TEST_F(HostsimCli, ErrorsExplainThemselvesWithTheirExitStatus) {
    testfiles::write("/tmp/bad.json", "{\n  \"a\": [1 2]\n}\n");
    testfiles::write("/tmp/bad.reg", "provider: X\n");
    const std::string svc = "zelk/cimv2:XORVO_VMpkgInstallationService";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {{"frobnicate", "x"}, 2, "hostsim: unknown verb 'frobnicate'"},
        {{}, 2, "hostsim: no verb given"},
        {{"--bogus", "ei", svc}, 2, "hostsim: unknown option '--bogus'"},
        {{"--scenario"}, 2, "hostsim: --scenario needs a value"},
        {{"ei", "zelk/cimv2"}, 2, "hostsim: bad path: 'zelk/cimv2' has no namespace"},
        {{"ei", svc, "more"}, 2, "hostsim: ei and ein take one NS:CLASS path"},
        {{"gi", "zelk/cimv2:C.K=\"open"}, 2, "hostsim: bad path: unterminated quote"},
        {{"cm", svc}, 2, "hostsim: cm takes"},
        {{"cm", svc, "InstallFromURI", "InstallOptions=abc"},
         2,
         "hostsim: InstallOptions: 'abc' is not an unsigned integer"},
        {{"cm", svc, "InstallFromURI", "InstallOptions=70000"},
         2,
         "hostsim: InstallOptions: value 70000 does not fit a uint16"},
        {{"cm", svc, "InstallFromURI", "URI"}, 2, "hostsim: expected name=value, found 'URI'"},
        {{"cm", svc, "M", "X:gadget=1"}, 2, "hostsim: unknown type 'gadget'"},
        {{"cm", "root/cimv2:VMware_SoftwareInstallationService", "InstallFromURI", "Target=x"},
         2,
         "hostsim: Target: 'x' has no namespace"},
        {{"--scenario", "/tmp/missing.json", "ei", svc},
         3,
         "hostsim: /tmp/missing.json: cannot read the scenario file"},
        {{"--scenario", "/tmp/bad.json", "ei", svc},
         3,
         "hostsim: /tmp/bad.json:2:11: syntax error"},
        {{"--registry", "/tmp/bad.reg", "ei", svc},
         3,
         "hostsim: /tmp/bad.reg:1: 'provider' before the first [ClassName] section"},
        {{"--libdir", "/tmp", "--fast", "ei", svc},
         3,
         "hostsim: --fast: /tmp/libfastclock.so not found"},
        {{"--libdir", "/tmp/none", "ei", svc}, 3, "hostsim: --libdir: /tmp/none is not"},
        {{"ei", "nowhere/x:Nothing"},
         1,
         "hostsim: ei nowhere/x:Nothing: CIM error 6 (CIM_ERR_NOT_FOUND): no provider serves"},
    };
    for (const Case &c : cases) {
        Outcome run = hostsim(c.args);
        EXPECT_EQ(c.status, run.status) << c.message << "\n" << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.message)) << run.err;
        EXPECT_EQ("", run.out) << c.message;
    }
    Outcome broken = test_host({"cm", "test/cimv2:HostsimTest_Echo", "Broken"});
    EXPECT_EQ(1, broken.status);
    EXPECT_NE(std::string::npos,
              broken.err.find("CIM error 4 (CIM_ERR_INVALID_PARAMETER): bad input"));
    Outcome help = hostsim({"--help"});
    EXPECT_EQ(0, help.status);
    EXPECT_EQ(0u, help.out.rfind("usage: hostsim", 0));
}

// --fast restarts hostsim once with the clock library preloaded; a stand-in library shows the
// restart happens and does not repeat.
TEST_F(HostsimCli, FastRestartsOnceWithTheClockPreloaded) {
    ASSERT_EQ(0, system("mkdir -p /tmp/fastlib && cp /usr/lib/cim/libhostsimtest.so "
                        "/tmp/fastlib/libhostsimtest.so && cp /usr/lib/cim/libhostsimtest.so "
                        "/tmp/fastlib/libfastclock.so"));
    Outcome run = test_host(
        {"--libdir", "/tmp/fastlib", "--fast", "cm", "test/cimv2:HostsimTest_Echo", "Ping"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("ReturnValue=0\n", run.out);
}

} // namespace
