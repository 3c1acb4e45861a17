// Debian's wbemcli against `hostsim serve`: the provider driven by a standard CIM client over
// CIM-XML and HTTP, from enumerating the service to following an installation run's job.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "run_packages.h"
#include "test_files.h"

namespace {

constexpr const char *kWbemcli = "/usr/bin/wbemcli";
constexpr const char *kUser = "admin";
constexpr const char *kPassword = "pa55word";
constexpr const char *kService = "zelk/cimv2:XORVO_VMpkgInstallationService";

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `argv` with its output in files; `timeout` ends a client that hangs.
Outcome run(std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"/usr/bin/timeout", "30"});
    pid_t pid = fork();
    if (pid == 0) {
        int out = open("/tmp/client.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open("/tmp/client.err", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char *> args;
        for (std::string &arg : argv) {
            args.push_back(arg.data());
        }
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testfiles::read("/tmp/client.out"),
            testfiles::read("/tmp/client.err")};
}

// `hostsim serve` on a free loopback port with credentials, started and stopped by the test.
class WbemcliClient : public ::testing::Test {
  protected:
    void SetUp() override {
        if (access(kWbemcli, X_OK) != 0) {
            GTEST_SKIP() << "wbemcli is missing (Debian package sblim-wbemcli)";
        }
        unlink("/tmp/serve.out"); // a previous server's port is no answer
        server = fork();
        if (server == 0) {
            int out = open("/tmp/serve.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = open("/tmp/serve.err", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(err, 2);
            // A sanitized hostsim finds the unsanitized fast clock ahead of its runtime.
            const char *asan = getenv("ASAN_OPTIONS");
            setenv("ASAN_OPTIONS",
                   (std::string(asan ? asan : "") + ":verify_asan_link_order=0").c_str(), 1);
            execl(HOSTSIM_BIN, "hostsim", "--fast", "serve", "--port", "0", "--user", kUser,
                  "--password", kPassword, static_cast<char *>(nullptr));
            _exit(127);
        }
        const std::regex listening("http://127\\.0\\.0\\.1:([0-9]+)/");
        for (int i = 0; i < 300 && port.empty(); ++i) {
            std::smatch found;
            std::string out = testfiles::read("/tmp/serve.out");
            if (std::regex_search(out, found, listening)) {
                port = found[1];
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        ASSERT_FALSE(port.empty()) << testfiles::read("/tmp/serve.err");
    }

    void TearDown() override {
        if (server <= 0) {
            return;
        }
        kill(server, SIGTERM);
        int status = 0;
        for (int i = 0; i < 200 && waitpid(server, &status, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (i == 199) {
                kill(server, SIGKILL);
                waitpid(server, &status, 0);
                ADD_FAILURE() << "hostsim serve did not stop on SIGTERM";
            }
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }

    std::string host() const { return "127.0.0.1:" + port; }
    std::string url(const std::string &path, const std::string &credentials) const {
        return "http://" + credentials + host() + "/" + path;
    }
    std::string url(const std::string &path) const {
        return url(path, std::string(kUser) + ":" + kPassword + "@");
    }

    pid_t server = -1;
    std::string port;
};

// JobState and JobStatus from `wbemcli gi -nl` ("-Name=value" lines).
struct JobView {
    int state = -1;
    std::string status;
};

JobView job_view(const std::string &out) {
    JobView view;
    std::smatch found;
    if (std::regex_search(out, found, std::regex("\n-JobState=([0-9]+)\n"))) {
        view.state = std::stoi(found[1]);
    }
    if (std::regex_search(out, found, std::regex("\n-JobStatus=\"(.*)\"\n"))) {
        view.status = found[1];
    }
    return view;
}

// Every package has left the codes of a run in progress (initialised, fetched, installing).
bool all_settled(const std::string &status) {
    static const std::regex passing(": (0|10|15|60|61|62): ");
    return !status.empty() && !std::regex_search(status, passing);
}

TEST_F(WbemcliClient, InstallsFromUrisAndFollowsTheJobToItsEnd) {
    runpkg::write_package("/tmp/pkgs", {"uefi", "UEFI", "QEL_UEFI_7.2", {}});
    runpkg::write_package("/tmp/pkgs", {"vxc", "VXC", "QEL_VXC_3.0", {}});
    runpkg::Package tool{"tool", "UEFI", "QEL_TOOL_1.0", {}};
    tool.type = "2";
    runpkg::write_package("/tmp/pkgs", tool);

    Outcome ei = run({kWbemcli, "ei", url(kService)});
    ASSERT_EQ(0, ei.status) << ei.err;
    ASSERT_EQ(1u, testfiles::lines(ei.out).size()) << ei.out;
    EXPECT_EQ(0u, ei.out.rfind(host() + "/" + kService + ".", 0)) << ei.out;
    for (const char *key :
         {"SystemCreationClassName=", "SystemName=", "CreationClassName=", "Name="}) {
        EXPECT_NE(std::string::npos, ei.out.find(key)) << ei.out;
    }

    Outcome ein = run({kWbemcli, "ein", url(kService)});
    ASSERT_EQ(0, ein.status) << ein.err;
    std::vector<std::string> names = testfiles::lines(ein.out);
    ASSERT_EQ(1u, names.size()) << ein.out;
    EXPECT_EQ(0u, names[0].rfind(host() + "/" + kService + ".", 0));

    // The name read back is the target of the call.
    const std::string credentials = std::string(kUser) + ":" + kPassword + "@";
    Outcome cm = run({kWbemcli, "cm", "http://" + credentials + names[0],
                      "InstallFromURI.URI=\"file:///tmp/pkgs/uefi.xml|file:///tmp/pkgs/vxc.xml|"
                      "file:///tmp/pkgs/tool.xml|file:///tmp/pkgs/gone.xml\","
                      "InstallOptions=32769,UpdateArgs=\"--primary\""});
    ASSERT_EQ(0, cm.status) << cm.err;
    EXPECT_NE(std::string::npos, cm.out.find(" InstallFromURI: 4096")) << cm.out;
    std::smatch job;
    ASSERT_TRUE(std::regex_search(cm.out, job, std::regex("Job[^:]*: (zelk/cimv2:\\S+)")))
        << cm.out;
    const std::string jobPath = job[1];
    EXPECT_EQ("zelk/cimv2:CIM_ConcreteJob.InstanceID=\"ZELK-1\"", jobPath);

    JobView view;
    for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
         std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(std::chrono::milliseconds(200))) {
        Outcome gi = run({kWbemcli, "gi", "-nl", url(jobPath)});
        ASSERT_EQ(0, gi.status) << gi.err;
        view = job_view(gi.out);
        ASSERT_NE(-1, view.state) << gi.out;
        bool final = view.state >= 7 && view.state <= 10; // Completed .. Exception
        if (final && all_settled(view.status)) {
            break;
        }
    }
    EXPECT_EQ(7, view.state) << view.status; // Completed: "successfully" is in the text
    for (const char *outcome : {"|uefi: 50: Package installation successfully.|",
                                "|vxc: 50: Package installation successfully.|",
                                "|tool: 80: This package is not supported by current ZELK "
                                "provider.|",
                                "|gone: 12: Pakcage XML can't be opened.|"}) {
        EXPECT_NE(std::string::npos, view.status.find(outcome)) << view.status;
    }

    // The finished job can be deleted, as a client cleans up after reading it.
    Outcome di = run({kWbemcli, "di", url(jobPath)});
    EXPECT_EQ(0, di.status) << di.err;
    Outcome jobs = run({kWbemcli, "ein", url("zelk/cimv2:CIM_ConcreteJob")});
    EXPECT_EQ(0, jobs.status) << jobs.err;
    EXPECT_EQ("", jobs.out);
}

TEST_F(WbemcliClient, RefusesClientsWithoutTheRightCredentials) {
    Outcome anonymous = run({kWbemcli, "ein", url(kService, "")});
    EXPECT_NE(0, anonymous.status);
    EXPECT_NE(std::string::npos, anonymous.err.find("Username/password required")) << anonymous.err;
    EXPECT_EQ("", anonymous.out);

    Outcome wrong = run({kWbemcli, "ein", url(kService, std::string(kUser) + ":guess@")});
    EXPECT_NE(0, wrong.status);
    EXPECT_NE(std::string::npos, wrong.err.find("Invalid username/password")) << wrong.err;

    // With them, CIM errors come back as such.
    Outcome missing =
        run({kWbemcli, "gi", url("zelk/cimv2:CIM_ConcreteJob.InstanceID=\"ZELK-9\"")});
    EXPECT_NE(0, missing.status);
    EXPECT_NE(std::string::npos, missing.err.find("CIM_ERR_NOT_FOUND")) << missing.err;
}

} // namespace
