// The provider's single diagnostic channel: "/tmp/zelkdebug.txt", opened in append mode and closed
// again for every record, so no handle is held and any thread may write at any time.
#pragma once

#include <cstddef>
#include <ctime>

#include "export.h"

// A timed record: the "[hh:mm:ss] " prefix (blank-padded) and then the message, verbatim.
void trace(const char *message);

// A timed record whose message is formatted first into a 1024-byte buffer (cut there).
void tracef(const char *format, ...) __attribute__((format(printf, 1, 2)));

// An untimed continuation: appends the text verbatim, no prefix. Exported for outside modules.
ZELK_EXPORT void debug(const char *text);

// The record prefix "[%2d:%2d:%2d] " for a local time: blank-padded, e.g. "[ 9: 5: 3] ".
void format_trace_prefix(const struct tm &local, char *out, size_t outSize);
