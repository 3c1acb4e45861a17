// Status export: getZELKStatus calls per second while a writer thread rewrites the status file
// through update_Pkg_Install_status; every text read must be a complete status text.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "bench_util.h"
#include "pkg_table.h"
#include "status_recording.h"

extern "C" int getZELKStatus(const char *instanceId, uint32_t *jobState, char *statusText,
                             int statusTextSize);

using namespace bench;

namespace {

constexpr int kPackages = 20;
constexpr const char *kJob = "ZELK-7";
constexpr const char *kUnread = "\x01unread";
constexpr const char *kMessages[2] = {"Package installation successfully.",
                                      "Package installation error happened."};
constexpr int32_t kCodes[2] = {status_code::kInstalled, status_code::kInstallError};

std::string status_line(int pkg, int variant) {
    char line[128];
    std::snprintf(line, sizeof line, "p%02d: %d: %s", pkg, kCodes[variant], kMessages[variant]);
    return line;
}

// A complete text is "<flag>|" and then every package's line (either variant) and "|".
bool complete_text(const char *text) {
    if ((text[0] != '0' && text[0] != '1') || text[1] != '|') {
        return false;
    }
    const char *cursor = text + 2;
    for (int pkg = 0; pkg < kPackages; ++pkg) {
        bool matched = false;
        for (int variant = 0; variant < 2 && !matched; ++variant) {
            const std::string line = status_line(pkg, variant) + "|";
            if (std::strncmp(cursor, line.c_str(), line.size()) == 0) {
                cursor += line.size();
                matched = true;
            }
        }
        if (!matched) {
            return false;
        }
    }
    return *cursor == '\0';
}

void start_run() {
    pkgnum = kPackages;
    is_async_install = 1;
    copy_text(instanceID, kJob);
    for (int pkg = 0; pkg < kPackages; ++pkg) {
        char uri[64];
        std::snprintf(uri, sizeof uri, "file:///var/tmp/pkgs/p%02d.xml", pkg);
        copy_text(pkgInstance[pkg].XMLPath, uri);
    }
    for (int pkg = 0; pkg < kPackages; ++pkg) {
        update_Pkg_Install_status(pkg, kCodes[0], kMessages[0]);
    }
}

struct ReadCounts {
    uint64_t calls = 0;
    uint64_t empty = 0; // the file was found truncated: nothing read
    uint64_t torn = 0;  // some text, but not a complete one
    double seconds = 0;
    std::string first_torn;
};

ReadCounts read_for(double duration_s) {
    ReadCounts counts;
    char text[zelk::kStatusTextSize];
    const double start = now_s();
    double now = start;
    while (now - start < duration_s) {
        for (int i = 0; i < 64; ++i) {
            std::strcpy(text, kUnread);
            uint32_t state = 0;
            getZELKStatus(kJob, &state, text, sizeof text);
            ++counts.calls;
            if (std::strcmp(text, kUnread) == 0) {
                ++counts.empty;
            } else if (!complete_text(text)) {
                if (counts.torn++ == 0) {
                    counts.first_torn = text;
                }
            }
        }
        now = now_s();
    }
    counts.seconds = now - start;
    return counts;
}

} // namespace

int main(int argc, char **argv) {
    const double duration_s = argc > 1 ? std::atof(argv[1]) : 3.0;
    start_run();

    const ReadCounts quiet = read_for(duration_s / 3);
    if (quiet.empty + quiet.torn != 0) {
        std::fprintf(stderr, "bench: status file unreadable without a writer\n");
        return 1;
    }

    std::atomic<bool> stop{false};
    std::atomic<uint64_t> updates{0};
    std::thread writer([&] {
        for (uint64_t i = 0; !stop.load(std::memory_order_relaxed); ++i) {
            const int pkg = static_cast<int>(i % kPackages);
            const int variant = static_cast<int>((i / kPackages) % 2);
            update_Pkg_Install_status(pkg, kCodes[variant], kMessages[variant]);
            updates.store(i + 1, std::memory_order_relaxed);
        }
    });
    const double writer_start = now_s();
    const ReadCounts busy = read_for(duration_s);
    stop = true;
    writer.join();
    const double writer_s = now_s() - writer_start;

    const double busy_rate = static_cast<double>(busy.calls) / busy.seconds;
    const double quiet_rate = static_cast<double>(quiet.calls) / quiet.seconds;
    const uint64_t bad = busy.empty + busy.torn;
    note("Status export: " + std::to_string(kPackages) + "-package status texts of about " +
         std::to_string(2 + kPackages * (status_line(0, 0).size() + 1)) +
         " bytes, reader and writer threads for " + fixed(busy.seconds, 1) +
         " s; writer: " + fixed(static_cast<double>(updates.load()) / writer_s, 0) +
         " update_Pkg_Install_status calls/s (each traced to the trace log and the status file "
         "rewritten).");
    if (busy.torn > 0) {
        const size_t shortest = 2 + kPackages * (status_line(0, 0).size() + 1);
        const size_t longest = 2 + kPackages * (status_line(0, 1).size() + 1);
        const std::string &torn = busy.first_torn;
        note("Status export: first partial read: " + std::to_string(torn.size()) +
             " bytes (complete texts have " + std::to_string(shortest) + " to " +
             std::to_string(longest) + "), ending \"..." +
             torn.substr(torn.size() > 40 ? torn.size() - 40 : 0) + "\".");
    }
    emit({"5 Status export", "getZELKStatus calls/s during rewrites", fixed(busy_rate, 0),
          "same, no writer", fixed(quiet_rate, 0), ratio_text(busy_rate / quiet_rate), "-", "-"});
    emit({"5 Status export", "torn reads (empty / partial) of " + std::to_string(busy.calls),
          std::to_string(bad) + " (" + std::to_string(busy.empty) + " / " +
              std::to_string(busy.torn) + ")",
          "-", "-",
          fixed(100.0 * static_cast<double>(bad) / static_cast<double>(busy.calls), 2) + " %", "0",
          verdict(bad == 0)});
    return 0;
}
