// Unpacking: Minizip (through minizip_cli) against "unzip -q -o" and "miniunzip -o -x" on the same
// archives, each tool run as a child process and measured with wait4.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "archive_maker.h"
#include "bench_util.h"

using namespace bench;

namespace {

struct Tool {
    const char *name;
    std::vector<std::string> (*command)(const std::string &cli, const std::string &archive,
                                        const std::string &dest);
};

const Tool kTools[] = {
    {"Minizip",
     [](const std::string &cli, const std::string &archive, const std::string &dest) {
         return std::vector<std::string>{cli, archive, dest};
     }},
    {"unzip -q -o",
     [](const std::string &, const std::string &archive, const std::string &dest) {
         return std::vector<std::string>{"unzip", "-q", "-o", archive, "-d", dest};
     }},
    {"miniunzip -o -x",
     [](const std::string &, const std::string &archive, const std::string &dest) {
         return std::vector<std::string>{"miniunzip", "-o", "-x", archive, "-d", dest};
     }},
};
constexpr size_t kToolCount = sizeof kTools / sizeof kTools[0];

struct Input {
    const char *label;
    std::string path;
    ArchiveShape shape;
    uint64_t bytes = 0;
};

ChildStats unpack_once(const Tool &tool, const std::string &cli, const Input &input,
                       const std::string &dest) {
    remove_tree(dest);
    make_dirs(dest); // miniunzip refuses a missing destination
    ChildStats stats = run_child(tool.command(cli, input.path, dest));
    require_success(stats, std::string(tool.name) + " on " + input.path);
    return stats;
}

// The first run of each tool warms the page cache and proves the tools agree on the output.
void check_output(const Tool &tool, const std::string &cli, const Input &input,
                  const std::string &dest) {
    unpack_once(tool, cli, input, dest);
    const TreeCount count = count_tree(dest);
    if (count.files != input.shape.files || count.bytes != input.bytes) {
        std::fprintf(stderr, "bench: %s wrote %llu files, %llu bytes; expected %u, %llu\n",
                     tool.name, static_cast<unsigned long long>(count.files),
                     static_cast<unsigned long long>(count.bytes), input.shape.files,
                     static_cast<unsigned long long>(input.bytes));
        std::exit(1);
    }
    remove_tree(dest);
}

void report(const Input &input, const Summary (&by_tool)[kToolCount], long baseline_rss_kb) {
    const Summary &ours = by_tool[0];
    const std::string bench = std::string("1 Unpacking ") + input.label;
    const double max_ratio[kToolCount] = {0, 0.6, 1.0};
    for (size_t t = 1; t < kToolCount; ++t) {
        const double ratio = ours.wall_s / by_tool[t].wall_s;
        emit({bench, "wall time", seconds(ours.wall_s), kTools[t].name, seconds(by_tool[t].wall_s),
              ratio_text(ratio), "<= " + ratio_text(max_ratio[t]), verdict(ratio <= max_ratio[t])});
    }
    for (size_t t = 1; t < kToolCount; ++t) {
        emit({bench, "CPU time (user+sys)", seconds(ours.cpu_s), kTools[t].name,
              seconds(by_tool[t].cpu_s), ratio_text(ours.cpu_s / by_tool[t].cpu_s), "-", "-"});
    }
    constexpr long kFlatSlackKb = 2048;
    for (size_t t = 1; t < kToolCount; ++t) {
        emit({bench, "peak RSS", mib(ours.peak_rss_kb), kTools[t].name, mib(by_tool[t].peak_rss_kb),
              ratio_text(static_cast<double>(ours.peak_rss_kb) /
                         static_cast<double>(by_tool[t].peak_rss_kb)),
              "flat: <= " + mib(baseline_rss_kb + kFlatSlackKb) + " (1-file archive + 2 MiB)",
              verdict(ours.peak_rss_kb <= baseline_rss_kb + kFlatSlackKb)});
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_unpack INPUT_DIR WORK_DIR MINIZIP_CLI [REPS]\n");
        return 2;
    }
    const std::string inputs = argv[1];
    const std::string work = argv[2];
    const std::string cli = argv[3];
    const int reps = argc > 4 ? std::atoi(argv[4]) : 5;
    make_dirs(inputs);
    make_dirs(work);

    Input tiny{"tiny", inputs + "/unpack-tiny-v1.zip", {"tiny", 1, 1, 1024, 1024, 0}};
    Input large{"200 MB / 2,000 files",
                inputs + "/unpack-large-v2.zip",
                {"firmware", 2000, 10, 40 * 1024, 300 * 1024, 20}};
    Input small{"20,000 small files",
                inputs + "/unpack-small-v2.zip",
                {"drivers", 20000, 20, 100, 4000, 20}};
    // Made in a child: a forked tool inherits its parent's resident pages until it execs, and
    // they count in its peak RSS, so the measuring process stays small.
    const pid_t maker = fork();
    if (maker == 0) {
        for (Input *input : {&tiny, &large, &small}) {
            make_archive(input->path, input->shape);
        }
        _exit(0);
    }
    int status = 0;
    if (maker < 0 || waitpid(maker, &status, 0) != maker || status != 0) {
        std::fprintf(stderr, "bench: cannot make the archives\n");
        return 1;
    }
    for (Input *input : {&tiny, &large, &small}) {
        input->bytes = make_archive(input->path, input->shape); // exists now: only counts
    }

    const std::string dest = work + "/unpacked";
    const long baseline_rss_kb = unpack_once(kTools[0], cli, tiny, dest).peak_rss_kb;
    for (Input *input : {&large, &small}) {
        note(std::string("Unpacking ") + input->label + ": archive " +
             mib(static_cast<long>(file_size(input->path) / 1024)) + ", " +
             std::to_string(input->shape.files) + " files, " +
             mib(static_cast<long>(input->bytes / 1024)) + " unpacked; median of " +
             std::to_string(reps) + " runs per tool, runs interleaved.");
        for (const Tool &tool : kTools) {
            check_output(tool, cli, *input, dest);
        }
        std::vector<ChildStats> runs[kToolCount];
        for (int r = 0; r < reps; ++r) {
            for (size_t k = 0; k < kToolCount; ++k) {
                const size_t t = (k + static_cast<size_t>(r)) % kToolCount; // rotate the order
                runs[t].push_back(unpack_once(kTools[t], cli, *input, dest));
            }
        }
        remove_tree(dest);
        Summary by_tool[kToolCount];
        for (size_t t = 0; t < kToolCount; ++t) {
            by_tool[t] = summarize(runs[t]);
        }
        report(*input, by_tool, baseline_rss_kb);
    }
    return 0;
}
