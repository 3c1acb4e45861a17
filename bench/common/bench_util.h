// Shared pieces of the benchmark programs: timing, child processes measured with wait4, simple
// statistics and the result rows that scripts/bench turns into the results table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// Wall, CPU and peak memory of one child process.
struct ChildStats {
    double wall_s = 0;
    double user_s = 0;
    double sys_s = 0;
    long peak_rss_kb = 0;
    int exit_code = -1; // -1 when killed by a signal
    double cpu_s() const { return user_s + sys_s; }
};

// Monotonic seconds.
double now_s();

// Runs argv[0] (looked up in PATH) with stdout sent to `stdout_path`, waits for it with wait4 and
// returns what the kernel accounted to it.
ChildStats run_child(const std::vector<std::string> &argv, const char *stdout_path = "/dev/null");

// Stops the program with a message when a measured command did not succeed.
void require_success(const ChildStats &stats, const std::string &what);

double median(std::vector<double> values);

// Summary of repeated runs of one command: medians of wall and CPU, maximum of peak RSS.
struct Summary {
    double wall_s = 0;
    double cpu_s = 0;
    long peak_rss_kb = 0;
};
Summary summarize(const std::vector<ChildStats> &runs);

// One line of the results table, printed as "ROW\t..." on stdout.
struct Row {
    std::string benchmark;
    std::string figure;
    std::string ours;
    std::string peer;
    std::string peer_value;
    std::string ratio;
    std::string target;
    std::string verdict; // PASS, MISS or "-"
};
void emit(const Row &row);

// A remark printed under the table ("NOTE\t...").
void note(const std::string &text);

// Number formatting for the table.
std::string fixed(double value, int decimals);
std::string seconds(double value);
std::string mib(long kib);
std::string ratio_text(double value);
const char *verdict(bool pass);

// Removes a tree (not measured); true when nothing is left.
bool remove_tree(const std::string &path);

// Creates a directory and its parents.
void make_dirs(const std::string &path);

// Number of regular files and their total size below `path`.
struct TreeCount {
    uint64_t files = 0;
    uint64_t bytes = 0;
};
TreeCount count_tree(const std::string &path);

// Whole-file helpers.
void write_file(const std::string &path, const std::string &content);
uint64_t file_size(const std::string &path);

} // namespace bench
