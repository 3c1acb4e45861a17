#include "maintenance.h"

#include <unistd.h>

#include "regular_file.h"
#include "trace_log.h"
#include "working_area.h"
#include "zelk_limits.h"

namespace {

// Unlinks `path` with `unlink_file` (unlink_walked for a file in a directory below /tmp); traces
// "Successfully to delete <path>" or the failure text.
int remove_traced(const char *path, int (*unlink_file)(const char *), const char *failure) {
    if (unlink_file(path) == 0) {
        trace("Successfully to delete ");
        debug(path);
        debug("\n");
        return 1;
    }
    trace(failure);
    return 0;
}

} // namespace

int reset_cimmon() {
    trace("Delete the files that left after update failed.\n");
    if (util_remove_file(zelk::kFileStorePath) != 0) {
        trace("Fail to delete files under filestore.\n");
    }
    return remove_traced(zelk::kRunLockPath, unlink_walked, "Fail to delete ZELK_LOCK_FILE.\n");
}

int DeleteZelkDebugLog() {
    trace("Delete the zelk debug log file.\n");
    return remove_traced(zelk::kTraceLogPath, ::unlink, "Fail to delete zelk debug log file.\n");
}
