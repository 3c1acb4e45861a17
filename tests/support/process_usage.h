// What the test process holds of the system, read from /proc/self: open file descriptors,
// threads and resident memory. Runs compare them before and after to find what a run leaves.
#pragma once

#include <chrono>
#include <cstddef>
#include <dirent.h>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace procusage {

// Entries of a /proc directory, without "." and "..".
inline size_t entries_of(const char *dir) {
    DIR *listing = opendir(dir);
    if (listing == nullptr) {
        return 0;
    }
    size_t count = 0;
    while (const dirent *entry = readdir(listing)) {
        count += entry->d_name[0] != '.';
    }
    closedir(listing);
    return count;
}

// Open descriptors; the one that lists them counts as well, the same every time.
inline size_t open_fds() {
    return entries_of("/proc/self/fd");
}

inline size_t threads() {
    return entries_of("/proc/self/task");
}

inline size_t resident_kib() {
    std::ifstream statm("/proc/self/statm");
    size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE)) / 1024;
}

// Waits until at most `count` threads are left: a worker that wrote its last trace record
// still has to leave, and frees what its thread holds when it does. False after a minute.
inline bool wait_for_threads(size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (threads() > count) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace procusage
