// Job status export: the job library reads a run's state and status text back from the status
// file through these two functions, and removes the file when the job goes away.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "export.h"
#include "file_guard.h"
#include "regular_file.h"
#include "zelk_limits.h"

namespace {

constexpr uint32_t kJobRunning = 4;
constexpr uint32_t kJobCompleted = 7;
constexpr uint32_t kJobException = 10;
constexpr int kPathSize = 256;

// Status-file name of the job whose InstanceID is "<name>-<number>"; false when there is no "-".
bool status_file_of(const char *instanceId, char (&path)[kPathSize]) {
    const char *dash = instanceId ? std::strchr(instanceId, '-') : nullptr;
    if (dash == nullptr) {
        return false;
    }
    int jobNumber = static_cast<int>(std::strtol(dash + 1, nullptr, 10));
    std::snprintf(path, sizeof path, zelk::kStatusFileFormat, jobNumber);
    return true;
}

uint32_t job_state_of(const char *statusText) {
    if (std::strstr(statusText, "successfully")) {
        return kJobCompleted;
    }
    if (std::strstr(statusText, "running")) {
        return kJobRunning;
    }
    return kJobException;
}

} // namespace

ZELK_EXPORT int getZELKStatus(const char *instanceId, uint32_t *jobState, char *statusText,
                              int statusTextSize) {
    char path[kPathSize];
    if (jobState == nullptr || statusText == nullptr || statusTextSize < 1 ||
        !status_file_of(instanceId, path)) {
        return 0;
    }
    char line[zelk::kStatusTextSize] = {};
    {
        // Only the provider's own status file is read: a link planted in its place must not
        // show another file's first line to the job's clients.
        FileGuard file(open_regular_file(path, O_RDONLY, kOwnFileRules), "r");
        if (!file || std::fgets(line, sizeof line, file.get()) == nullptr) {
            return 0;
        }
    }
    std::snprintf(statusText, static_cast<size_t>(statusTextSize), "%s", line);

    FileGuard sideRecord(open_own_file_emptied(zelk::kStatusSideRecordPath), "w");
    if (sideRecord) {
        std::fprintf(sideRecord.get(), "begin to record %s-%s\n", instanceId, statusText);
    }
    *jobState = job_state_of(statusText);
    return 0;
}

ZELK_EXPORT int ZELKStatusCleanup(const char *instanceId) {
    char path[kPathSize];
    if (!status_file_of(instanceId, path)) {
        return 0;
    }
    return unlink(path) == 0 ? 1 : 0;
}
