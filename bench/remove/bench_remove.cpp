// Removal: the provider's util_remove_file (through remove_cli) against "rm -rf" on the same tree
// of 50,000 files in 1,000 folders, each run as a child process measured with wait4.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "bench_util.h"

using namespace bench;

namespace {

constexpr unsigned kTop = 10;
constexpr unsigned kSubPerTop = 99; // 10 + 10 * 99 = 1,000 folders
constexpr unsigned kFiles = 50000;
constexpr unsigned kFolders = kTop + kTop * kSubPerTop;

void build_tree(const std::string &root) {
    std::vector<std::string> folders;
    make_dirs(root);
    for (unsigned t = 0; t < kTop; ++t) {
        const std::string top = root + "/t" + std::to_string(t);
        mkdir(top.c_str(), 0755);
        folders.push_back(top);
        for (unsigned s = 0; s < kSubPerTop; ++s) {
            folders.push_back(top + "/s" + std::to_string(s));
            mkdir(folders.back().c_str(), 0755);
        }
    }
    const std::string content(512, 'x');
    for (unsigned f = 0; f < kFiles; ++f) {
        write_file(folders[f % kFolders] + "/file" + std::to_string(f) + ".bin", content);
    }
}

ChildStats remove_once(const std::vector<std::string> &command, const std::string &root) {
    build_tree(root);
    ChildStats stats = run_child(command);
    require_success(stats, command[0]);
    struct stat info {};
    if (lstat(root.c_str(), &info) == 0) {
        std::fprintf(stderr, "bench: %s left %s behind\n", command[0].c_str(), root.c_str());
        std::exit(1);
    }
    return stats;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_remove WORK_DIR REMOVE_CLI [REPS]\n");
        return 2;
    }
    const std::string root = std::string(argv[1]) + "/tree";
    const int reps = argc > 3 ? std::atoi(argv[3]) : 5;
    const std::vector<std::string> ours = {argv[2], root};
    const std::vector<std::string> peer = {"rm", "-rf", root};

    remove_once(ours, root); // warm-up
    remove_once(peer, root);
    std::vector<ChildStats> our_runs;
    std::vector<ChildStats> peer_runs;
    for (int r = 0; r < reps; ++r) {
        if (r % 2 == 0) {
            our_runs.push_back(remove_once(ours, root));
            peer_runs.push_back(remove_once(peer, root));
        } else {
            peer_runs.push_back(remove_once(peer, root));
            our_runs.push_back(remove_once(ours, root));
        }
    }
    const Summary a = summarize(our_runs);
    const Summary b = summarize(peer_runs);
    note("Removal: " + std::to_string(kFiles) + " files of 512 bytes in " +
         std::to_string(kFolders) + " folders (two levels); median of " + std::to_string(reps) +
         " runs each, tree rebuilt before every run.");
    const std::string bench_name = "2 Removal 50,000 files";
    const double ratio = a.wall_s / b.wall_s;
    emit({bench_name, "wall time", seconds(a.wall_s), "rm -rf", seconds(b.wall_s),
          ratio_text(ratio), "<= 1.10x", verdict(ratio <= 1.1)});
    emit({bench_name, "CPU time (user+sys)", seconds(a.cpu_s), "rm -rf", seconds(b.cpu_s),
          ratio_text(a.cpu_s / b.cpu_s), "-", "-"});
    emit({bench_name, "peak RSS", mib(a.peak_rss_kb), "rm -rf", mib(b.peak_rss_kb),
          ratio_text(static_cast<double>(a.peak_rss_kb) / static_cast<double>(b.peak_rss_kb)), "-",
          "-"});
    return 0;
}
