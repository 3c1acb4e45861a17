#include "maintenance.h"

#include <unistd.h>

#include "trace_log.h"
#include "working_area.h"
#include "zelk_limits.h"

int reset_cimmon() {
    trace("Delete the files that left after update failed.\n");
    if (util_remove_file(zelk::kFileStorePath) != 0) {
        trace("Fail to delete files under filestore.\n");
    }
    if (unlink(zelk::kRunLockPath) == 0) {
        trace("Successfully to delete ");
        debug(zelk::kRunLockPath);
        debug("\n");
        return 1;
    }
    trace("Fail to delete ZELK_LOCK_FILE.\n");
    return 0;
}

int DeleteZelkDebugLog() {
    trace("Delete the zelk debug log file.\n");
    if (unlink(zelk::kTraceLogPath) == 0) {
        trace("Successfully to delete ");
        debug(zelk::kTraceLogPath);
        debug("\n");
        return 1;
    }
    trace("Fail to delete zelk debug log file.\n");
    return 0;
}
