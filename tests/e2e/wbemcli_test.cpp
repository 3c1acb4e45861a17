// Debian's wbemcli against `hostsim serve`: the provider driven by a standard CIM client over
// CIM-XML over HTTPS, from enumerating the service to following an installation run's job.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "run_packages.h"
#include "test_certs.h"
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

// `hostsim serve` on a free loopback port, started and stopped by the test: over HTTPS with a
// certificate made for 127.0.0.1, which the client is given to trust.
class WbemcliClient : public ::testing::Test {
  protected:
    void SetUp() override {
        if (access(kWbemcli, X_OK) != 0) {
            GTEST_SKIP() << "wbemcli is missing (Debian package sblim-wbemcli)";
        }
        mkdir("/tmp/certs", 0700);
        good = testcerts::make("/tmp/certs", "good");
        ASSERT_FALSE(good.pem.empty()) << "openssl could not make a certificate";
    }

    void TearDown() override { stop(); }

    // Starts the server with `options` after "serve" and waits for its first line.
    void serve(std::vector<std::string> options, const char *password = nullptr) {
        unlink("/tmp/serve.out"); // a previous server's port is no answer
        port.clear();
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
            if (password != nullptr) {
                setenv("HOSTSIM_PASSWORD", password, 1);
            }
            options.insert(options.begin(), {HOSTSIM_BIN, "--fast", "serve", "--port", "0"});
            std::vector<char *> args;
            for (std::string &option : options) {
                args.push_back(option.data());
            }
            args.push_back(nullptr);
            execv(HOSTSIM_BIN, args.data());
            _exit(127);
        }
        const std::regex listening(
            "^hostsim: serving CIM-XML on (https?)://127\\.0\\.0\\.1:([0-9]+)"
            "/cimom\n");
        for (int i = 0; i < 300 && port.empty(); ++i) {
            std::smatch found;
            std::string out = testfiles::read("/tmp/serve.out");
            if (std::regex_search(out, found, listening)) {
                scheme = found[1];
                port = found[2];
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        ASSERT_FALSE(port.empty()) << testfiles::read("/tmp/serve.err");
    }
    // Over TLS with the test's certificate, credentials on the command line.
    void serve_tls(const testcerts::Certificate &certificate, std::vector<std::string> more = {}) {
        std::vector<std::string> options = {"--tls-cert",    certificate.pem, "--tls-key",
                                            certificate.key, "--user",        kUser,
                                            "--password",    kPassword};
        options.insert(options.end(), more.begin(), more.end());
        serve(options);
    }

    void stop() {
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
        server = -1;
    }

    std::string host() const { return "127.0.0.1:" + port; }
    std::string url(const std::string &path, const std::string &credentials) const {
        return scheme + "://" + credentials + host() + "/" + path;
    }
    std::string url(const std::string &path) const {
        return url(path, std::string(kUser) + ":" + kPassword + "@");
    }
    // wbemcli VERB, trusting `trusted` over HTTPS, then `rest`.
    Outcome wbemcli(const std::string &verb, std::vector<std::string> rest,
                    const std::string &trusted = "") {
        std::vector<std::string> argv = {kWbemcli, verb};
        if (scheme == "https") {
            argv.insert(argv.end(), {"-cacert", trusted.empty() ? good.pem : trusted});
        }
        argv.insert(argv.end(), rest.begin(), rest.end());
        return run(argv);
    }

    testcerts::Certificate good;
    pid_t server = -1;
    std::string scheme;
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
    serve_tls(good);
    runpkg::write_package("/tmp/pkgs", {"uefi", "UEFI", "QEL_UEFI_7.2", {}});
    runpkg::write_package("/tmp/pkgs", {"vxc", "VXC", "QEL_VXC_3.0", {}});
    runpkg::Package tool{"tool", "UEFI", "QEL_TOOL_1.0", {}};
    tool.type = "2";
    runpkg::write_package("/tmp/pkgs", tool);

    Outcome ei = wbemcli("ei", {url(kService)});
    ASSERT_EQ(0, ei.status) << ei.err;
    ASSERT_EQ(1u, testfiles::lines(ei.out).size()) << ei.out;
    EXPECT_EQ(0u, ei.out.rfind(host() + "/" + kService + ".", 0)) << ei.out;
    for (const char *key :
         {"SystemCreationClassName=", "SystemName=", "CreationClassName=", "Name="}) {
        EXPECT_NE(std::string::npos, ei.out.find(key)) << ei.out;
    }

    Outcome ein = wbemcli("ein", {url(kService)});
    ASSERT_EQ(0, ein.status) << ein.err;
    std::vector<std::string> names = testfiles::lines(ein.out);
    ASSERT_EQ(1u, names.size()) << ein.out;
    EXPECT_EQ(0u, names[0].rfind(host() + "/" + kService + ".", 0));

    // The name read back is the target of the call.
    const std::string credentials = std::string(kUser) + ":" + kPassword + "@";
    Outcome cm =
        wbemcli("cm", {scheme + "://" + credentials + names[0],
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
        Outcome gi = wbemcli("gi", {"-nl", url(jobPath)});
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
    Outcome di = wbemcli("di", {url(jobPath)});
    EXPECT_EQ(0, di.status) << di.err;
    Outcome jobs = wbemcli("ein", {url("zelk/cimv2:CIM_ConcreteJob")});
    EXPECT_EQ(0, jobs.status) << jobs.err;
    EXPECT_EQ("", jobs.out);
}

TEST_F(WbemcliClient, RefusesClientsWithoutTheRightCredentials) {
    serve_tls(good, {"--access-log", "/tmp/access.log"});
    Outcome anonymous = wbemcli("ein", {url(kService, "")});
    EXPECT_NE(0, anonymous.status);
    EXPECT_NE(std::string::npos, anonymous.err.find("Username/password required")) << anonymous.err;
    EXPECT_EQ("", anonymous.out);

    Outcome wrong = wbemcli("ein", {url(kService, std::string(kUser) + ":guess@")});
    EXPECT_NE(0, wrong.status);
    EXPECT_NE(std::string::npos, wrong.err.find("Invalid username/password")) << wrong.err;

    // With them, CIM errors come back as such.
    Outcome missing = wbemcli("gi", {url("zelk/cimv2:CIM_ConcreteJob.InstanceID=\"ZELK-9\"")});
    EXPECT_NE(0, missing.status);
    EXPECT_NE(std::string::npos, missing.err.find("CIM_ERR_NOT_FOUND")) << missing.err;

    // Each request has its line, refused logins included; no password is written.
    std::vector<std::string> log = testfiles::lines(testfiles::read("/tmp/access.log"));
    ASSERT_EQ(3u, log.size());
    const std::regex line(
        "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z 127\\.0\\.0\\.1 POST "
        "/cimom (\\S+) (\\S+) (\\d+) \\d+\\.\\d\\dms$");
    const char *expected[][3] = {{"EnumerateInstanceNames", "-", "401"},
                                 {"EnumerateInstanceNames", kUser, "401"},
                                 {"GetInstance", kUser, "200"}};
    for (size_t i = 0; i < log.size(); ++i) {
        std::smatch fields;
        ASSERT_TRUE(std::regex_match(log[i], fields, line)) << log[i];
        EXPECT_EQ(expected[i][0], fields[1]) << log[i];
        EXPECT_EQ(expected[i][1], fields[2]) << log[i];
        EXPECT_EQ(expected[i][2], fields[3]) << log[i];
        EXPECT_EQ(std::string::npos, log[i].find("guess"));
        EXPECT_EQ(std::string::npos, log[i].find(kPassword));
    }
}

TEST_F(WbemcliClient, TrustsTheServerOnlyWithItsCertificate) {
    testcerts::Certificate stranger = testcerts::make("/tmp/certs", "stranger");
    serve_tls(good);
    Outcome trusted = wbemcli("ein", {url(kService)});
    EXPECT_EQ(0, trusted.status) << trusted.err;
    EXPECT_EQ(1u, testfiles::lines(trusted.out).size()) << trusted.out;
    Outcome untrusted = wbemcli("ein", {url(kService)}, stranger.pem);
    EXPECT_NE(0, untrusted.status);
    EXPECT_EQ("", untrusted.out);
}

TEST_F(WbemcliClient, PlainHttpWhenAskedAndThePasswordOffTheCommandLine) {
    testfiles::write("/tmp/password", std::string(kPassword) + "\r\nsecond line\n");
    serve({"--http", "--user", kUser, "--password-file", "/tmp/password"});
    EXPECT_EQ("http", scheme);
    Outcome fromFile = wbemcli("ein", {url(kService)});
    EXPECT_EQ(0, fromFile.status) << fromFile.err;
    std::string commandLine = testfiles::read("/proc/" + std::to_string(server) + "/cmdline");
    EXPECT_EQ(std::string::npos, commandLine.find(kPassword));
    stop();

    serve({"--http", "--user", kUser}, kPassword);
    Outcome fromEnvironment = wbemcli("ein", {url(kService)});
    EXPECT_EQ(0, fromEnvironment.status) << fromEnvironment.err;
    stop();

    testcerts::Certificate stranger = testcerts::make("/tmp/certs", "stranger");
    struct Case {
        std::vector<std::string> options;
        int status;
    } cases[] = {
        {{}, 2}, // neither TLS nor --http
        {{"--tls-cert", good.pem}, 2},
        {{"--http", "--tls-cert", good.pem, "--tls-key", good.key}, 2},
        {{"--http", "--user", kUser}, 2}, // no password from anywhere
        {{"--http", "--user", kUser, "--password", "p", "--password-file", "/tmp/password"}, 2},
        {{"--http", "--password", "p"}, 2},
        {{"--tls-cert", "/tmp/certs/none.pem", "--tls-key", good.key}, 3},
        {{"--tls-cert", good.pem, "--tls-key", stranger.key}, 3},
        {{"--http", "--user", kUser, "--password-file", "/tmp/none"}, 3},
    };
    for (const Case &c : cases) {
        std::vector<std::string> argv = {HOSTSIM_BIN, "serve", "--port", "0"};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        Outcome refused = run(argv);
        EXPECT_EQ(c.status, refused.status) << refused.err;
        EXPECT_EQ("", refused.out) << refused.out;
    }
}

} // namespace
