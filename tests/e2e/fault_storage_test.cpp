// Storage that fails in the middle of a run: the trace log, the status file, the working area
// and the file store are each made unwritable, by a read-only bind mount or by a small tmpfs
// that is full, while a TFTP run of firmware and adapter packages is held inside its first
// package (a controller update whose job lasts until the test opens its gate). The run goes on
// to its end, every record stays whole, and each package ends as the provider defines for that
// failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "gated_controller.h"
#include "run_servers.h"
#include "family_runs.h"
#include "vendor_host.h"

namespace {

using namespace vendorhost;

constexpr const char *kTftpRoot = "/var/tmp/tftproot";
constexpr const char *kFaultScenario = "/var/tmp/fault-scenario.json";
constexpr const char *kFaultJournal = "/var/tmp/fault-journal.jsonl";
constexpr const char *kStaging = "/var/tmp/full-staging";
constexpr const char *kWorkingParent = "/var/tmp/QEL/Xorvo";
constexpr const char *kStatusFailed = "update zelk status fail.";

constexpr const char *kInstalled = "50: Package installation successfully.";
constexpr const char *kFetched = "10: Package download completed with no error.";
constexpr const char *kPathMissing = "55: The path or file does not exist.";
constexpr const char *kFetchFailed = "11: Package download failed.";
constexpr const char *kNoSpace = "14: Not enough space on VMWare ESXi storage.";

// ---- Faults of the file system ----

std::string error_text() {
    return std::strerror(errno);
}

// What the test has mounted, the latest last; undone when the test ends, so that later tests
// of the same process find /tmp and /var/tmp as they were.
std::vector<std::string> g_mounted;

void undo_mounts() {
    while (!g_mounted.empty()) {
        umount2(g_mounted.back().c_str(), MNT_DETACH); // already gone when the test undid it
        g_mounted.pop_back();
    }
}

void bind_read_only(const std::string &path) {
    ASSERT_EQ(0, mount(path.c_str(), path.c_str(), "none", MS_BIND, nullptr)) << error_text();
    g_mounted.push_back(path);
    // The mount turns read-only only while no file is open for writing through it; the run
    // opens its files for a moment at a time.
    int rc = -1;
    for (int tries = 0; tries < 10000 && rc != 0; ++tries) {
        rc = mount("none", path.c_str(), "none", MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr);
        if (rc != 0 && errno != EBUSY) {
            break;
        }
        if (rc != 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    ASSERT_EQ(0, rc) << error_text();
}

// Writes into `dir` until its file system has no byte left.
void fill(const std::string &dir) {
    int fd = open((dir + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_LE(0, fd) << error_text();
    const std::string block(4096, 'x');
    for (size_t size = block.size(); size > 0; size /= 2) {
        while (write(fd, block.data(), size) == static_cast<ssize_t>(size)) {
        }
    }
    EXPECT_EQ(ENOSPC, errno);
    close(fd);
}

// A small tmpfs at kStaging with the permissions `mode`, full after `prepare` has put its files
// there.
template <class Prepare> void full_tmpfs(Prepare prepare, const std::string &mode = "1777") {
    std::filesystem::create_directories(kStaging);
    const std::string options = "size=8m,mode=" + mode;
    ASSERT_EQ(0, mount("fault-full", kStaging, "tmpfs", 0, options.c_str())) << error_text();
    g_mounted.push_back(kStaging);
    prepare();
    fill(kStaging);
}

// Copies the tree `dir` into `destination`, less the trace log, which a full file system would
// still take up to the end of its last page, and the status file's half-written successors
// ("zelkstat<id>.txt.XXXXXX"). Files that the run renames or removes meanwhile are left out.
void copy_tree(const std::filesystem::path &dir, const std::filesystem::path &destination) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::recursive_directory_iterator it(dir, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename();
        if (name == "zelkdebug.txt" ||
            (name.rfind("zelkstat", 0) == 0 && name.find(".txt.") != std::string::npos)) {
            continue;
        }
        const fs::path target = destination / fs::relative(it->path(), dir, error);
        std::error_code vanished;
        if (it->is_directory(vanished)) {
            fs::create_directories(target, vanished);
        } else {
            fs::copy_file(it->path(), target, vanished);
        }
    }
}

// `dir` replaced by a full file system with the same permissions (a file store open to others'
// writes would be refused), which holds a copy of what `dir` held when `keep` is set. A file
// store starts empty: deleting a copy there would make room for the next.
void replace_with_full_tmpfs(const std::string &dir, bool keep) {
    struct stat info {};
    ASSERT_EQ(0, stat(dir.c_str(), &info)) << dir;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%o", info.st_mode & 07777);
    full_tmpfs(
        [&] {
            if (keep) {
                copy_tree(dir, kStaging);
            }
        },
        mode);
    ASSERT_EQ(0, mount(kStaging, dir.c_str(), "none", MS_MOVE, nullptr)) << error_text();
    g_mounted.back() = dir;
}

// The file `path` hidden under an empty file of a full file system.
void replace_file_with_full_one(const std::string &path) {
    const std::string empty = std::string(kStaging) + "/file";
    full_tmpfs([&] { testfiles::write(empty, ""); });
    ASSERT_EQ(0, mount(empty.c_str(), path.c_str(), "none", MS_BIND, nullptr)) << error_text();
    g_mounted.push_back(path);
}

// ---- The run ----

std::set<pid_t> threads_now() {
    std::set<pid_t> threads;
    if (DIR *dir = opendir("/proc/self/task")) {
        while (const dirent *entry = readdir(dir)) {
            if (entry->d_name[0] != '.') {
                threads.insert(static_cast<pid_t>(std::stol(entry->d_name)));
            }
        }
        closedir(dir);
    }
    return threads;
}

bool wait_for_threads_to_end(const std::set<pid_t> &threads) {
    const auto cap = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
        std::set<pid_t> now = threads_now();
        if (std::none_of(threads.begin(), threads.end(),
                         [&](pid_t tid) { return now.count(tid) != 0; })) {
            return true;
        }
        if (std::chrono::steady_clock::now() > cap) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The packages of the run, in list order; uefi is installed first, the adapters after it.
std::vector<Package> run_packages() {
    return {
        {"uefi", "System UEFI firmware", "UEFI", {}, PayloadForm::kFirmware},
        {"brcd", "Brocade 825 FC HBA firmware", "Fibre",
         adapter_archive({{"brocade/bfa825.bin", {"Brocade-825"}}})},
        {"cna", "Emulex OneConnect CNA firmware", "Network",
         adapter_archive({{"emulex/oce11102.ufi", {"OCe11102"}}})},
        {"nic", "Broadcom NetXtreme II firmware", "Network", {{"fw/nic.img", "image"}}},
        {"sas", "SAS HBA firmware", "SAS", {{"fw/sas.img", "image"}}},
    };
}

void write_served(const Package &p) {
    testfiles::write(std::string(kTftpRoot) + "/" + p.id + ".xml", descriptor_of(p));
    const std::string payload = std::string(kTftpRoot) + "/" + p.payload();
    if (p.form == PayloadForm::kArchive) {
        testzip::write(payload, p.files);
    } else {
        testfiles::write(payload, "firmware image " + p.id);
    }
}

using Outcome = std::vector<std::string>; // last status of each package, in list order

// Whether `text` is a whole status text of the run: the flag, then one "id: code: message"
// field per package in list order, each closed by "|".
bool whole_status_text(const std::string &text) {
    if (text.size() < 2 || (text[0] != '0' && text[0] != '1') || text[1] != '|') {
        return false;
    }
    size_t at = 2;
    for (const Package &p : run_packages()) {
        const size_t bar = text.find('|', at);
        if (bar == std::string::npos) {
            return false;
        }
        const std::string field = text.substr(at, bar - at);
        if (field.rfind(p.id + ": ", 0) != 0 ||
            field.find(": ", p.id.size() + 2) == std::string::npos) {
            return false;
        }
        at = bar + 1;
    }
    return at == text.size();
}

Outcome outcome_in_file(const std::string &statusText) {
    std::map<std::string, std::string> last = familyruns::statuses(statusText);
    Outcome outcome;
    for (const Package &p : run_packages()) {
        outcome.push_back(last[p.id]);
    }
    return outcome;
}

Outcome outcome_in_trace(const std::vector<std::string> &trace) {
    Outcome outcome;
    for (const Package &p : run_packages()) {
        std::vector<std::string> statuses = runhost::statuses_of(trace, p.id);
        outcome.push_back(statuses.empty() ? "" : statuses.back());
    }
    return outcome;
}

// Whether a trace record is the status line of one of the run's packages.
bool is_status_record(const std::string &line) {
    for (const Package &p : run_packages()) {
        if (!runhost::statuses_of({line}, p.id).empty()) {
            return true;
        }
    }
    return false;
}

// The status records from the one whose file write failed first to the end of the run.
size_t statuses_since_first_failure(const std::vector<std::string> &trace) {
    auto failed = std::find(trace.begin(), trace.end(), kStatusFailed);
    if (failed == trace.end()) {
        return 0;
    }
    auto first = std::find_if(std::make_reverse_iterator(failed), trace.rend(), is_status_record);
    if (first == trace.rend()) {
        return 0;
    }
    return static_cast<size_t>(
        std::count_if(std::prev(first.base()), trace.end(), is_status_record));
}

// The vendor services whose InstallFromURI the run reached.
std::set<std::string> vendors_asked(const std::vector<Json> &journal) {
    std::set<std::string> classes;
    for (const Json &record : journal) {
        if (record.value("operation", "") == "InstallFromURI") {
            classes.insert(record["class"].get<std::string>());
        }
    }
    return classes;
}

enum class Target { kTraceLog, kStatusFile, kTmp, kWorkingArea, kFileStore };
enum class Way { kReadOnly, kFull };

struct StorageFault {
    const char *name;
    Target target;
    Way way;
    // As the status file or, when that cannot be written, the trace log shows it.
    Outcome outcome;
};

void PrintTo(const StorageFault &fault, std::ostream *os) {
    *os << fault.name;
}

// What a run left behind, read after its worker has ended.
struct FaultRun {
    std::string jobId;
    std::string statusPath;
    std::string statusAtFault; // the status file once the fault began
    std::string statusText;    // the status file at the end
    std::vector<std::string> trace;
    std::vector<Json> journal;
};

class StorageFaults : public runhost::RunHost, public ::testing::WithParamInterface<StorageFault> {
  protected:
    void SetUp() override {
        RunHost::SetUp();
        // The run's scenario, journal and packages stay outside /tmp, which a fault may fill.
        setenv(hostsim::sim::kScenarioVariable, kFaultScenario, 1);
        setenv(hostsim::sim::kJournalVariable, kFaultJournal, 1);
        testfiles::write(kFaultScenario, runhost::default_scenario().dump(2));
        std::remove(runhost::kTraceLog);
        std::remove(kFaultJournal);
        std::filesystem::create_directories(kTftpRoot);
        for (const Package &p : run_packages()) {
            write_served(p);
        }
    }
    void TearDown() override {
        undo_mounts();
        RunHost::TearDown();
    }

    // Starts the run, holds it inside its first package, makes the storage fail and lets the
    // run go on to its end.
    static FaultRun run_with(const StorageFault &fault) {
        FaultRun run;
        runservers::TftpServer server(kTftpRoot);
        EXPECT_TRUE(server.ready()) << server.log();
        gatedcontroller::Controller controller; // serves the run's controller package
        std::string uris;
        for (const Package &p : run_packages()) {
            uris += (uris.empty() ? "" : "|") + server.url(p.id + ".xml");
        }
        // A sanitizer starts a helper thread of its own along with the process's first thread;
        // one made and ended here keeps it out of the run's threads.
        std::thread([] {}).join();
        const std::set<pid_t> before = threads_now();
        runhost::Call call = install(uris);
        EXPECT_EQ(4096u, call.returned) << call.message;
        std::set<pid_t> runThreads;
        for (pid_t tid : threads_now()) {
            if (before.count(tid) == 0) {
                runThreads.insert(tid);
            }
        }
        EXPECT_TRUE(controller.wait_for_polls(1)) << "the run did not reach its first package";
        run.jobId = call.jobId;
        run.statusPath = "/tmp/zelkstat" + call.jobId + ".txt";

        apply(fault, call.jobId);
        // The run goes on polling the controller's job until the gate opens; what the fault
        // froze is read now.
        run.statusAtFault = testfiles::read(run.statusPath);
        controller.open();
        EXPECT_TRUE(wait_for_threads_to_end(runThreads)) << "the run did not end";

        run.statusText = testfiles::read(run.statusPath);
        run.trace = testfiles::trace_messages();
        run.journal = hostsim::sim::read_journal(kFaultJournal);
        return run;
    }

    static void apply(const StorageFault &fault, const std::string &jobId) {
        const bool readOnly = fault.way == Way::kReadOnly;
        switch (fault.target) {
        case Target::kTraceLog:
            readOnly ? bind_read_only(runhost::kTraceLog)
                     : replace_file_with_full_one(runhost::kTraceLog);
            break;
        case Target::kStatusFile:
            bind_read_only("/tmp/zelkstat" + jobId + ".txt");
            break;
        case Target::kTmp:
            replace_with_full_tmpfs("/tmp", true);
            break;
        case Target::kWorkingArea:
            std::filesystem::create_directories(kWorkingParent);
            readOnly ? bind_read_only(kWorkingParent)
                     : replace_with_full_tmpfs(kWorkingParent, false);
            break;
        case Target::kFileStore:
            readOnly ? bind_read_only(runhost::kStore)
                     : replace_with_full_tmpfs(runhost::kStore, false);
            break;
        }
    }
};

const Outcome kAllInstalled(5, kInstalled);

const StorageFault kFaults[] = {
    // The trace log is best effort: records that cannot be written are dropped, nothing else
    // changes.
    {"TraceLogReadOnly", Target::kTraceLog, Way::kReadOnly, kAllInstalled},
    {"TraceLogFull", Target::kTraceLog, Way::kFull, kAllInstalled},
    // A status that cannot be written leaves the file as it was; the run does not notice.
    {"StatusFileReadOnly", Target::kStatusFile, Way::kReadOnly, kAllInstalled},
    // A full /tmp takes no trace record, but the status file, rewritten in place, still takes
    // every status up to the last.
    {"TmpFull", Target::kTmp, Way::kFull, kAllInstalled},
    // No working area: the Brocade installer finds no payload configuration and records
    // nothing, the Emulex one stops at the failed unpacking and records nothing; Broadcom and
    // LSI are asked to install from a directory that is not there.
    {"WorkingAreaReadOnly",
     Target::kWorkingArea,
     Way::kReadOnly,
     {kInstalled, kFetched, kFetched, kPathMissing, kPathMissing}},
    // A full working area: no archive fits, so none is unpacked and the working area is never
    // made. Broadcom and LSI are asked to install from a directory that is not there.
    {"WorkingAreaFull",
     Target::kWorkingArea,
     Way::kFull,
     {kInstalled, kFetched, kFetched, kPathMissing, kPathMissing}},
    // Payloads that cannot be stored fail their packages with the transfer's code.
    {"FileStoreReadOnly",
     Target::kFileStore,
     Way::kReadOnly,
     {kInstalled, kFetchFailed, kFetchFailed, kFetchFailed, kFetchFailed}},
    {"FileStoreFull",
     Target::kFileStore,
     Way::kFull,
     {kInstalled, kNoSpace, kNoSpace, kNoSpace, kNoSpace}},
};

TEST_P(StorageFaults, RunGoesOnAndRecordsStayWhole) {
    const StorageFault &fault = GetParam();
    FaultRun run = run_with(fault);
    ASSERT_FALSE(HasFailure());

    // The status file always holds a whole status text, whatever could not be written.
    EXPECT_TRUE(whole_status_text(run.statusAtFault)) << run.statusAtFault;
    EXPECT_TRUE(whole_status_text(run.statusText)) << run.statusText;

    switch (fault.target) {
    case Target::kTraceLog:
        EXPECT_EQ(fault.outcome, outcome_in_file(run.statusText)) << run.statusText;
        if (fault.way == Way::kFull) {
            EXPECT_EQ("", testfiles::trace_log()) << "a full file system took a record";
            ASSERT_EQ(0, umount(runhost::kTraceLog)) << error_text();
            g_mounted.pop_back();
            run.trace = testfiles::trace_messages();
        }
        // Nothing reached the log after the fault began: no final status, no end of the run.
        EXPECT_LT(0u, runhost::count_of(run.trace, "Enter syncInstallAllPkgs."));
        EXPECT_EQ(0u, runhost::count_of(run.trace, std::string("uefi: ") + kInstalled));
        EXPECT_EQ(0u, runhost::count_of(run.trace, runhost::kRunEnd));
        break;
    case Target::kStatusFile: {
        // The file keeps the text of the moment the fault began; the trace log tells the rest,
        // with one failed write for each status recorded since the first that failed.
        EXPECT_EQ(run.statusAtFault, run.statusText);
        EXPECT_EQ(fault.outcome, outcome_in_trace(run.trace));
        EXPECT_LE(5u, runhost::count_of(run.trace, kStatusFailed));
        EXPECT_EQ(statuses_since_first_failure(run.trace),
                  runhost::count_of(run.trace, kStatusFailed));
        // The client's job reads the text that the file keeps.
        RunOutcome job;
        job.call.jobId = run.jobId;
        read_job(&job);
        EXPECT_EQ(run.statusAtFault, job.jobStatus);
        break;
    }
    case Target::kTmp: {
        // The job reaches its final state; nothing reaches the log, and the vendors show that
        // every package went on to be installed.
        EXPECT_EQ(fault.outcome, outcome_in_file(run.statusText)) << run.statusText;
        RunOutcome job;
        job.call.jobId = run.jobId;
        read_job(&job);
        EXPECT_EQ(7u, job.jobState);
        EXPECT_TRUE(run.trace.empty());
        EXPECT_EQ((std::set<std::string>{"BRCMFWUP_SoftwareInstallationService",
                                         "BROCADE_HBASoftwareInstallationService",
                                         "ELXUCNA_SoftwareInstallationService",
                                         "ORPV_SoftwareInstallationService"}),
                  vendors_asked(run.journal));
        break;
    }
    case Target::kWorkingArea:
    case Target::kFileStore:
        EXPECT_EQ(fault.outcome, outcome_in_file(run.statusText)) << run.statusText;
        EXPECT_EQ(0u, runhost::count_of(run.trace, kStatusFailed));
        EXPECT_EQ(1u, runhost::count_of(run.trace, runhost::kRunEnd));
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Storage, StorageFaults, ::testing::ValuesIn(kFaults),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
