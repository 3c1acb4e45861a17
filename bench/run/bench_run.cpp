// A whole run: "hostsim --fast install" of twenty packages of every family on the shipped default
// host, measured as a child process (wall time, peak RSS) and from inside through librunprobe.so
// (CPU time of the provider's worker thread and of its unpacking).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <glob.h>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "bench_util.h"
#include "run_packages.h"

using namespace bench;

namespace {

constexpr const char *kPackageDir = "/tmp/bench-pkgs";
constexpr const char *kProbeOut = "/tmp/bench-probe.txt";
constexpr const char *kTraceLog = "/tmp/zelkdebug.txt";
constexpr const char *kStatusWrite = "Write current status into file";
constexpr const char *kSimProviders[] = {"simfiletransfer", "simcontroller", "simhypervisor",
                                         "simbrocade",      "simemulex",     "simqlogic",
                                         "simbroadcom",     "simorpv"};
constexpr double kMaxCpuPerPackageMs = 1.0;
constexpr const char *kBenchName = "3 Whole run, 20 packages";

std::string read_all(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

size_t count_of(const std::string &text, const std::string &part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

bool exists(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// Why the run cannot be measured on this tree, or empty when it can.
std::string missing_host(const std::string &hostsim) {
    if (!exists(hostsim)) {
        return "hostsim is not built";
    }
    for (const char *provider : kSimProviders) {
        if (!exists(std::string("/usr/lib/cim/lib") + provider + ".so")) {
            return std::string("simulated provider lib") + provider + ".so is not built";
        }
    }
    const char *help = "/tmp/bench-hostsim-help.txt";
    if (run_child({hostsim, "--help"}, help).exit_code != 0 ||
        read_all(help).find("install") == std::string::npos) {
        return "hostsim has no install verb";
    }
    return "";
}

std::map<std::string, double> read_probe() {
    std::map<std::string, double> values;
    std::ifstream in(kProbeOut);
    std::string key;
    double value = 0;
    while (in >> key >> value) {
        values[key] = value;
    }
    return values;
}

struct RunFigures {
    ChildStats process;
    double worker_cpu_s = 0;
    double worker_wall_s = 0;
    double unpack_cpu_s = 0;
    double unpacks = 0;
    double status_writes = 0;
    double trace_lines = 0;
};

// Clears what a run leaves behind, so that every run starts on the same host.
void clean_host() {
    remove_tree("/var/tmp/QEL");
    remove_tree("/var/tmp/filestore");
    remove_tree("/var/tmp/concretejob");
    remove_tree(kTraceLog);
    remove_tree(kProbeOut);
    remove_tree("/tmp/getZELKStatus.txt");
    glob_t found{};
    if (glob("/tmp/zelkstat*.txt", 0, nullptr, &found) == 0) {
        for (size_t i = 0; i < found.gl_pathc; ++i) {
            remove_tree(found.gl_pathv[i]);
        }
    }
    globfree(&found);
}

RunFigures run_once(const std::vector<std::string> &command, size_t packages) {
    clean_host();
    RunFigures run;
    run.process = run_child(command, "/tmp/bench-run.out");
    if (run.process.exit_code != 0) {
        std::fprintf(stderr, "bench: the run failed (exit %d):\n%s\n", run.process.exit_code,
                     read_all("/tmp/bench-run.out").c_str());
        std::exit(1);
    }
    std::map<std::string, double> probe = read_probe();
    if (probe["workers"] < 1) {
        std::fprintf(stderr, "bench: the probe saw no provider thread\n");
        std::exit(1);
    }
    run.worker_cpu_s = probe["worker_cpu_ns"] * 1e-9;
    run.worker_wall_s = probe["worker_wall_ns"] * 1e-9;
    run.unpack_cpu_s = probe["unpack_cpu_ns"] * 1e-9;
    run.unpacks = probe["unpacks"];
    const std::string trace = read_all(kTraceLog);
    run.status_writes = static_cast<double>(count_of(trace, kStatusWrite));
    run.trace_lines = static_cast<double>(count_of(trace, "\n"));
    if (count_of(trace, "Package installation successfully.") < packages) {
        std::fprintf(stderr, "bench: not every package installed\n");
        std::exit(1);
    }
    return run;
}

template <typename Field> double median_of(const std::vector<RunFigures> &runs, Field field) {
    std::vector<double> values;
    for (const RunFigures &run : runs) {
        values.push_back(field(run));
    }
    return median(values);
}

void report(const std::vector<RunFigures> &runs, const Summary &idle_summary, size_t packages,
            int reps) {
    const std::string bench_name = kBenchName;
    const double n = static_cast<double>(packages);
    const double wall = median_of(runs, [](const RunFigures &r) { return r.process.wall_s; });
    const double worker_wall = median_of(runs, [](const RunFigures &r) { return r.worker_wall_s; });
    const double cpu_per_package_ms = median_of(
        runs, [n](const RunFigures &r) { return (r.worker_cpu_s - r.unpack_cpu_s) / n * 1000.0; });
    const double unpack_ms = median_of(runs, [](const RunFigures &r) {
        return r.unpacks > 0 ? r.unpack_cpu_s / r.unpacks * 1000.0 : 0.0;
    });
    const double updates_per_s =
        median_of(runs, [](const RunFigures &r) { return r.status_writes / r.worker_wall_s; });
    const double updates = median_of(runs, [](const RunFigures &r) { return r.status_writes; });
    const double process_cpu =
        median_of(runs, [](const RunFigures &r) { return r.process.cpu_s(); });
    long peak_kb = 0;
    for (const RunFigures &r : runs) {
        peak_kb = r.process.peak_rss_kb > peak_kb ? r.process.peak_rss_kb : peak_kb;
    }

    note("Whole run: hostsim --fast install of 20 packages (2 each of Brocade, Emulex CNA, Emulex "
         "FC, QLogic, Broadcom, LSI, and of the controller categories UEFI, Diagnostics, VXC, "
         "FPGA) on the shipped default scenario; median of " +
         std::to_string(reps) +
         " runs. Provider CPU is the CPU time of the provider's worker thread minus its time in "
         "Minizip. It includes the broker's work for the provider's calls (objects, routing, "
         "starting the thread each call into a vendor provider runs on); the vendor providers' "
         "own work runs on those threads and is not counted.");
    emit({bench_name, "wall time (hostsim install)", seconds(wall), "-", "-", "-", "-", "-"});
    emit({bench_name, "worker thread wall time", seconds(worker_wall), "-", "-", "-", "-", "-"});
    emit({bench_name, "provider CPU per package, excl. unpacking",
          fixed(cpu_per_package_ms, 3) + " ms", "-", "-", "-",
          "< " + fixed(kMaxCpuPerPackageMs, 0) + " ms",
          verdict(cpu_per_package_ms < kMaxCpuPerPackageMs)});
    // Every trace record opens, appends to and closes the trace log: a large part of the above.
    emit({bench_name, "trace-log lines per package",
          fixed(median_of(runs, [n](const RunFigures &r) { return r.trace_lines / n; }), 0), "-",
          "-", "-", "-", "-"});
    emit({bench_name, "unpacking CPU per archive", fixed(unpack_ms, 3) + " ms", "-", "-", "-", "-",
          "-"});
    emit({bench_name, "status updates/s (" + fixed(updates, 0) + " per run)",
          fixed(updates_per_s, 0), "-", "-", "-", "-", "-"});
    emit({bench_name, "process CPU (user+sys)", seconds(process_cpu), "hostsim ein (no run)",
          seconds(idle_summary.cpu_s), "-", "-", "-"});
    emit({bench_name, "peak RSS (hostsim process)", mib(peak_kb), "hostsim ein (no run)",
          mib(idle_summary.peak_rss_kb),
          ratio_text(static_cast<double>(peak_kb) / static_cast<double>(idle_summary.peak_rss_kb)),
          "-", "-"});
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_run SOURCE_DIR BUILD_DIR [REPS]\n");
        return 2;
    }
    const std::string source = argv[1];
    const std::string build = argv[2];
    const int reps = argc > 3 ? std::atoi(argv[3]) : 5;
    const std::string hostsim = build + "/bin/hostsim";
    const std::string missing = missing_host(hostsim);
    if (!missing.empty()) {
        emit({kBenchName, "skipped: " + missing, "-", "-", "-", "-", "-", "SKIP"});
        return 0;
    }
    const std::vector<RunPackage> packages = twenty_packages();
    const std::string uris = write_packages(kPackageDir, packages);
    const std::string scenario = source + "/hostsim/scenarios/default.json";
    setenv("BENCH_PROBE_OUT", kProbeOut, 1);
    setenv("LD_PRELOAD", (build + "/lib/librunprobe.so").c_str(), 1);
    const std::vector<std::string> command = {hostsim,  "--fast",  "--scenario",
                                              scenario, "install", uris};
    const std::vector<std::string> idle = {
        hostsim,  "--fast", "--scenario",
        scenario, "ein",    "zelk/cimv2:XORVO_VMpkgInstallationService"};

    run_once(command, packages.size()); // warm-up
    std::vector<RunFigures> runs;
    std::vector<ChildStats> idle_runs;
    for (int r = 0; r < reps; ++r) {
        runs.push_back(run_once(command, packages.size()));
        idle_runs.push_back(run_child(idle));
    }
    report(runs, summarize(idle_runs), packages.size(), reps);
    return 0;
}
