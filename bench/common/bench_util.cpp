#include "bench_util.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace bench {
namespace {

double timespec_s(const timespec &t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double timeval_s(const timeval &t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

double clock_s(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return timespec_s(t);
}

TreeCount g_count;

int count_one(const char *, const struct stat *info, int type, FTW *) {
    if (type == FTW_F && S_ISREG(info->st_mode)) {
        ++g_count.files;
        g_count.bytes += static_cast<uint64_t>(info->st_size);
    }
    return 0;
}

int remove_one(const char *path, const struct stat *, int type, FTW *) {
    return (type == FTW_DP ? rmdir(path) : unlink(path)) == 0 ? 0 : -1;
}

} // namespace

double now_s() {
    return clock_s(CLOCK_MONOTONIC);
}

ChildStats run_child(const std::vector<std::string> &argv, const char *stdout_path) {
    std::vector<char *> args;
    for (const std::string &arg : argv) {
        args.push_back(const_cast<char *>(arg.c_str()));
    }
    args.push_back(nullptr);

    ChildStats stats;
    const double start = now_s();
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        const int out = open(stdout_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            dup2(out, STDOUT_FILENO);
            close(out);
        }
        execvp(args[0], args.data());
        std::fprintf(stderr, "cannot run %s: %s\n", args[0], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    stats.wall_s = now_s() - start;
    stats.user_s = timeval_s(usage.ru_utime);
    stats.sys_s = timeval_s(usage.ru_stime);
    stats.peak_rss_kb = usage.ru_maxrss;
    stats.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return stats;
}

void require_success(const ChildStats &stats, const std::string &what) {
    if (stats.exit_code != 0) {
        std::fprintf(stderr, "bench: %s failed (exit %d)\n", what.c_str(), stats.exit_code);
        std::exit(1);
    }
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

Summary summarize(const std::vector<ChildStats> &runs) {
    std::vector<double> walls;
    std::vector<double> cpus;
    Summary summary;
    for (const ChildStats &run : runs) {
        walls.push_back(run.wall_s);
        cpus.push_back(run.cpu_s());
        summary.peak_rss_kb = std::max(summary.peak_rss_kb, run.peak_rss_kb);
    }
    summary.wall_s = median(walls);
    summary.cpu_s = median(cpus);
    return summary;
}

void emit(const Row &row) {
    std::printf("ROW\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", row.benchmark.c_str(), row.figure.c_str(),
                row.ours.c_str(), row.peer.c_str(), row.peer_value.c_str(), row.ratio.c_str(),
                row.target.c_str(), row.verdict.c_str());
    std::fflush(stdout);
}

void note(const std::string &text) {
    std::printf("NOTE\t%s\n", text.c_str());
    std::fflush(stdout);
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string seconds(double value) {
    return value < 1.0 ? fixed(value * 1000.0, 1) + " ms" : fixed(value, 3) + " s";
}

std::string mib(long kib) {
    return fixed(static_cast<double>(kib) / 1024.0, 1) + " MiB";
}

std::string ratio_text(double value) {
    return fixed(value, 2) + "x";
}

const char *verdict(bool pass) {
    return pass ? "PASS" : "MISS";
}

bool remove_tree(const std::string &path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        return true;
    }
    return nftw(path.c_str(), remove_one, 64, FTW_DEPTH | FTW_PHYS) == 0;
}

void make_dirs(const std::string &path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0755);
    }
    mkdir(path.c_str(), 0755);
}

TreeCount count_tree(const std::string &path) {
    g_count = TreeCount{};
    nftw(path.c_str(), count_one, 64, FTW_PHYS);
    return g_count;
}

void write_file(const std::string &path, const std::string &content) {
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(content.data(), 1, content.size(), file) != content.size() ||
        std::fclose(file) != 0) {
        throw std::runtime_error("cannot write " + path);
    }
}

uint64_t file_size(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

} // namespace bench
