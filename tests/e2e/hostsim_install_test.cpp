// `hostsim install`: the real provider in the hostsim process with the fast clock and the
// simulated management controller, followed from the command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "hostsimkit.h"
#include "test_files.h"

namespace {

using hostsim::sim::Json;

constexpr const char *kScenario = "/tmp/install-scenario.json";
constexpr const char *kJournal = "/tmp/install-journal.jsonl";
constexpr const char *kOut = "/tmp/install.out";
constexpr const char *kErr = "/tmp/install.err";
const std::string kTwo = "file:///tmp/pkgs/vxc.xml|file:///tmp/pkgs/uefi.xml";

struct Outcome {
    int status = -1; // exit status, or -signal
    std::string out;
    std::string err;
};

std::vector<char *> argv_of(std::vector<std::string> &args) {
    std::vector<char *> argv{const_cast<char *>(HOSTSIM_BIN)};
    for (std::string &arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    return argv;
}

int status_of(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? -WTERMSIG(status) : -1;
}

// hostsim with its output in kOut and kErr.
pid_t spawn(std::vector<std::string> args) {
    std::vector<char *> argv = argv_of(args);
    unlink(kOut); // never mistaken for the output of an earlier run
    unlink(kErr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(open(kOut, O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open(kErr, O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        execv(HOSTSIM_BIN, argv.data());
        _exit(127);
    }
    return pid;
}

Outcome finish(pid_t pid) {
    Outcome run;
    run.status = status_of(pid);
    run.out = testfiles::read(kOut);
    run.err = testfiles::read(kErr);
    return run;
}

Outcome hostsim(std::vector<std::string> args) {
    return finish(spawn(std::move(args)));
}

// hostsim on a terminal: everything it writes, as the terminal received it.
Outcome hostsim_on_terminal(std::vector<std::string> args) {
    std::vector<char *> argv = argv_of(args);
    int terminal = -1;
    pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execv(HOSTSIM_BIN, argv.data());
        _exit(127);
    }
    Outcome run;
    char buffer[4096];
    for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) {
        run.out.append(buffer, static_cast<size_t>(n));
    }
    close(terminal);
    run.status = status_of(pid);
    return run;
}

bool wait_for_text(const char *file, const std::string &text) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (testfiles::read(file).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string descriptor(const std::string &name, const std::string &category) {
    auto property = [](const std::string &header, const std::string &value) {
        return "  " + header + "\n    <VALUE>" + value + "</VALUE>\n  </PROPERTY>\n";
    };
    return "<INSTANCE CLASSNAME=\"XORVO_Package\">\n" +
           property("<PROPERTY NAME=\"Name\" TYPE=\"string\">", name + " firmware") +
           property("<PROPERTY NAME=\"type\" TYPE=\"uint16\">", "1") +
           property("<PROPERTY NAME=\"category\" TYPE=\"string\">", category) +
           property("<PROPERTY NAME=\"payload\" TYPE=\"string\">", name + ".bin") + "</INSTANCE>\n";
}

// The controller alone; its requests answer `reply` and its job walks `steps`.
void write_scenario(const Json &steps, const Json &reply = {{"return", 4096}}) {
    Json scenario = Json::parse(R"({"controller": {
      "instances": {"QEL_SoftwareInstallationService": [
        {"keys": {"SystemCreationClassName": "QEL_ManagementController",
                  "SystemName": "ManagementController",
                  "CreationClassName": "QEL_SoftwareInstallationService",
                  "Name": "VXCSoftwareInstallatiIonService"}}]},
      "job": {"class": "CIM_ConcreteJob", "keys": {"InstanceID": "QEL:VXCUpdate:1"}}}})");
    scenario["controller"]["methods"]["InstallFromURI"] = reply;
    scenario["controller"]["job"]["steps"]["JobStatus"] = steps;
    // Replaced whole, so that the providers never read half a file.
    std::string draft = std::string(kScenario) + ".new";
    testfiles::write(draft, scenario.dump());
    ASSERT_EQ(0, rename(draft.c_str(), kScenario));
}

// The controller's InstallFromURI requests in the journal: [URI, Update_Operation].
std::vector<std::pair<std::string, int>> controller_requests() {
    std::vector<std::pair<std::string, int>> requests;
    if (!testfiles::exists(kJournal)) {
        return requests;
    }
    for (const Json &line : hostsim::sim::read_journal(kJournal)) {
        if (line["class"] == "QEL_SoftwareInstallationService" &&
            line["operation"] == "InstallFromURI") {
            std::pair<std::string, int> request{"", -1};
            for (const Json &arg : line["args"]) {
                if (arg[0] == "URI") {
                    request.first = arg[2].get<std::string>();
                } else if (arg[0] == "Update_Operation") {
                    request.second = arg[2].get<int>();
                }
            }
            requests.push_back(request);
        }
    }
    return requests;
}

// The lines between the Job line and the table: one per status change.
std::vector<std::string> change_lines(const std::string &out) {
    std::vector<std::string> lines = testfiles::lines(out);
    std::vector<std::string> changes;
    for (size_t i = 2; i < lines.size() && !lines[i].empty(); ++i) {
        changes.push_back(lines[i]);
    }
    return changes;
}

class HostsimInstall : public ::testing::Test {
  protected:
    void SetUp() override {
        // A sanitized hostsim finds the unsanitized fast clock ahead of its runtime.
        const char *asan = getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS",
               (std::string(asan ? asan : "") + ":verify_asan_link_order=0").c_str(), 1);
        ASSERT_EQ(0, system("mkdir -p /tmp/pkgs"));
        for (auto [name, category] : {std::pair{"vxc", "VXC"}, std::pair{"uefi", "UEFI"}}) {
            testfiles::write(std::string("/tmp/pkgs/") + name + ".xml", descriptor(name, category));
            testfiles::write(std::string("/tmp/pkgs/") + name + ".bin", "image");
        }
        write_scenario(Json::array(
            {"0x00|Initialization", "0x00|updating firmware", "0x00|Process Completed"}));
    }
    static std::vector<std::string> install(std::vector<std::string> operands) {
        std::vector<std::string> args{"--fast",    "--scenario", kScenario,
                                      "--journal", kJournal,     "install"};
        args.insert(args.end(), operands.begin(), operands.end());
        return args;
    }
};

TEST_F(HostsimInstall, EveryPackageInstalledEndsWithTheTableAndStatusZero) {
    Outcome run = hostsim(install({kTwo, "--options", "5,32769"}));
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(0u, run.out.rfind("ReturnValue=4096\n"
                                "Job=zelk/cimv2:CIM_ConcreteJob.InstanceID=\"ZELK-1\"\n",
                                0))
        << run.out;
    const std::string table = "\nPACKAGE  CODE  MESSAGE\n"
                              "vxc      50    Package installation successfully.\n"
                              "uefi     50    Package installation successfully.\n"
                              "Job ZELK-1: JobState 7 (Completed)\n"
                              "2 of 2 packages installed.\n";
    ASSERT_GE(run.out.size(), table.size());
    EXPECT_EQ(table, run.out.substr(run.out.size() - table.size()));
    EXPECT_EQ(std::string::npos, run.out.find_first_of("\r\033")) << "plain lines off a terminal";

    // Each package's changes end with its final status.
    std::vector<std::string> changes = change_lines(run.out);
    for (const std::string name : {"vxc", "uefi"}) {
        std::string last;
        for (const std::string &line : changes) {
            last = line.rfind(name + ": ", 0) == 0 ? line : last;
        }
        EXPECT_EQ(name + ": 50: Package installation successfully.", last);
    }
    // The firmware installs first, whatever the order of the list.
    EXPECT_EQ((std::vector<std::pair<std::string, int>>{{"file:///tmp/pkgs/uefi.bin", 0},
                                                        {"file:///tmp/pkgs/vxc.bin", 0}}),
              controller_requests());
}

TEST_F(HostsimInstall, APackageNotInstalledMakesTheStatusOne) {
    write_scenario(Json::array({"0x00|Process Completed"}),
                   Json::parse(R"({"status": [null, {"rc": 1, "message": "flash|locked"}]})"));
    Outcome run = hostsim(install({kTwo + "|file:///tmp/pkgs/missing.xml", "--backup"}));
    EXPECT_EQ(1, run.status) << run.err;
    // Completed, as one package's "successfully" decides the job state.
    EXPECT_NE(std::string::npos,
              run.out.find("\nPACKAGE  CODE  MESSAGE\n"
                           "vxc      56    Package installation error message: flash|locked\n"
                           "uefi     50    Package installation successfully.\n"
                           "missing  12    Pakcage XML can't be opened.\n"
                           "Job ZELK-1: JobState 7 (Completed)\n"
                           "1 of 3 packages installed.\n"))
        << run.out;
    EXPECT_EQ((std::vector<std::pair<std::string, int>>{{"file:///tmp/pkgs/uefi.bin", 1},
                                                        {"file:///tmp/pkgs/vxc.bin", 1}}),
              controller_requests());
}

// In real time: the firmware, last in the list, installs first; its success sets the status
// text's completion flag and the job is Completed (as soon as any message says "successfully")
// for the ten seconds the controller takes over the other package. The follower goes on until
// the run has ended.
TEST_F(HostsimInstall, FollowsTheRunPastTheLastListedPackage) {
    write_scenario(Json::array({"0x00|Process Completed"}));
    std::vector<std::string> args = install({kTwo});
    args.erase(args.begin()); // no --fast
    Outcome run = hostsim(args);
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ((std::vector<std::string>{"vxc: 0: Package Initialization finished successfully",
                                        "uefi: 50: Package installation successfully.",
                                        "vxc: 50: Package installation successfully."}),
              change_lines(run.out));
    EXPECT_NE(std::string::npos, run.out.find("\nPACKAGE  CODE  MESSAGE\n"
                                              "vxc      50    Package installation successfully.\n"
                                              "uefi     50    Package installation successfully.\n"
                                              "Job ZELK-1: JobState 7 (Completed)\n"))
        << run.out;
}

// A status whose message ends with a line end (Brocade's "no adapter" text) is shown whole, and
// so are the packages after it in the status text.
TEST_F(HostsimInstall, AStatusEndingWithALineEndIsShownWhole) {
    testfiles::write("/tmp/pkgs/brcd.xml", descriptor("Brocade", "Fibre"));
    Outcome run = hostsim(install({"file:///tmp/pkgs/brcd.xml|file:///tmp/pkgs/uefi.xml"}));
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              run.out.find("\nPACKAGE  CODE  MESSAGE\n"
                           "brcd     57    No driver file name that need to be update.\\n\n"
                           "uefi     50    Package installation successfully.\n"))
        << run.out;
}

// A run that does not end (here a controller job that never finishes) is followed for as long
// as --timeout says; what is known is shown and the exit status says the run goes on.
TEST_F(HostsimInstall, TimeoutStopsFollowingARunThatDoesNotEnd) {
    write_scenario(Json::array({"0x00|updating firmware"}));
    Outcome run = hostsim(install({"file:///tmp/pkgs/uefi.xml", "--timeout", "1.5"}));
    EXPECT_EQ(4, run.status) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("hostsim: stopped following job ZELK-1 after 1.5 s: the run has not "
                           "ended"))
        << run.err;
    EXPECT_NE(std::string::npos,
              run.out.find("uefi     62    Updating and Package installation is running.\n"
                           "Job ZELK-1: JobState 4 (Running)\n"
                           "0 of 1 packages installed.\n"))
        << run.out;
}

TEST_F(HostsimInstall, ATerminalGetsAProgressBar) {
    Outcome run = hostsim_on_terminal(install({kTwo}));
    EXPECT_EQ(0, run.status) << run.out;
    EXPECT_NE(std::string::npos,
              run.out.find("\r\033[K[##############################] 2/2 packages finished"))
        << run.out;
    EXPECT_NE(std::string::npos, run.out.find("2 of 2 packages installed."));
}

TEST_F(HostsimInstall, SyncStartsNoInstallation) {
    Outcome run = hostsim(install({kTwo, "--sync"}));
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ("ReturnValue=\nNo installation was started: with InstallOptions 32768 the "
              "provider only prepares the run.\n",
              run.out);
    EXPECT_FALSE(testfiles::exists("/var/tmp/concretejob/ZELK-1.job"));
    EXPECT_TRUE(controller_requests().empty());
}

TEST_F(HostsimInstall, BadCommandLinesAreRefusedBeforeTheHostStarts) {
    std::string many;
    for (int i = 0; i < 21; ++i) {
        many += (i ? "|" : "") + std::string("file:///tmp/p") + std::to_string(i) + ".xml";
    }
    struct Case {
        std::vector<std::string> operands;
        std::string message;
    } cases[] = {
        {{}, "install takes a URI list"},
        {{""}, "install: the URI list is empty"},
        {{"file:///a.xml||file:///b.xml"}, "install: URI 2 is empty"},
        {{"http://host/a.xml"}, "install: URI 1 'http://host/a.xml' is not a file://, tftp://"},
        {{"file://a.xml"}, "install: URI 1 'file://a.xml' is not"},
        {{"tftp://h/a.xml|sftp://h/b.xml"},
         "install: URI 2 is sftp://, the list began with tftp://"},
        {{"file:///" + std::string(200, 'a')}, "install: URI 1 is longer than 199 characters"},
        {{many}, "install: 21 URIs, the provider takes at most 20"},
        {{kTwo, kTwo}, "install takes one URI list"},
        {{kTwo, "--options"}, "install: --options needs a list"},
        {{kTwo, "--options", "5,x"}, "--options: 'x' is not an unsigned integer"},
        {{kTwo, "--options=70000"}, "--options: value 70000 does not fit a uint16"},
        {{kTwo, "--timeout", "0"}, "install: --timeout needs a number of seconds above 0, not '0'"},
        {{kTwo, "--timeout=2s"}, "install: --timeout needs a number of seconds above 0"},
        {{kTwo, "--later"}, "install: unknown option '--later'"},
    };
    for (const Case &c : cases) {
        Outcome run = hostsim(install(c.operands));
        EXPECT_EQ(2, run.status) << c.message;
        EXPECT_NE(std::string::npos, run.err.find("hostsim: " + c.message)) << run.err;
        EXPECT_EQ("", run.out);
    }
    EXPECT_FALSE(testfiles::exists("/tmp/zelkdebug.txt")) << "the provider was never loaded";
}

// The run lives in the hostsim process: the first Ctrl-C stops following and lets it finish,
// a second one ends hostsim and the run with it.
TEST_F(HostsimInstall, CtrlCStopsFollowingAndTheRunGoesOn) {
    const std::string progress = "uefi: 62: Updating and Package installation is running.";
    const std::string stopped = "hostsim: stopped following job ZELK-1.";
    write_scenario(Json::array({"0x00|updating firmware"}));
    pid_t pid = spawn(install({"file:///tmp/pkgs/uefi.xml"}));
    ASSERT_TRUE(wait_for_text(kOut, progress));
    kill(pid, SIGINT);
    ASSERT_TRUE(wait_for_text(kErr, stopped));
    write_scenario(Json::array({"0x00|Process Completed"}));
    Outcome run = finish(pid);
    EXPECT_EQ(130, run.status) << run.err;
    EXPECT_EQ(std::string::npos, run.out.find("PACKAGE")) << run.out;
    EXPECT_EQ("1|uefi: 50: Package installation successfully.|",
              testfiles::read("/tmp/zelkstatZELK-1.txt"));

    write_scenario(Json::array({"0x00|updating firmware"}));
    pid = spawn(install({"file:///tmp/pkgs/uefi.xml"}));
    ASSERT_TRUE(wait_for_text(kOut, progress));
    kill(pid, SIGINT);
    ASSERT_TRUE(wait_for_text(kErr, "hostsim: stopped following job ZELK-2."));
    kill(pid, SIGINT);
    EXPECT_EQ(-SIGINT, finish(pid).status);
    std::vector<std::string> trace = testfiles::trace_messages();
    EXPECT_EQ(1, std::count(trace.begin(), trace.end(), "asyncInstallAllPkgs finish."));
}

} // namespace
