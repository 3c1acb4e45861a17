// The provider frame: what the broker calls, the broker handle it keeps, and the operations of a
// run that the frame drives (status recording, initialisation, maintenance).
#pragma once

#include <cmpi/cmpift.h>

#include "export.h"
#include "maintenance.h"
#include "pkg_table.h"
#include "run_init.h"
#include "status_recording.h"
#include "trace_log.h"

// The broker handle of the most recent factory call; every broker call of the provider uses it.
extern const CMPIBroker *QEL_VMWarePackageInstallationBroker;

extern "C" {
extern const char *_ZELKClassName;
extern const char *_ZELKSuperClassName;
extern const char *_ZELKNameSpace;
}

// Writes the initialisation trace record; each factory calls it. Exported for outside modules.
ZELK_EXPORT void QEL_VMWarePackageInstallationProviderInit();

// Fills `dst` with the host's node name, at most `size` bytes, always NUL-terminated.
char *get_sys_name(char *dst, int size);
