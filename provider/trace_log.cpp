#include "trace_log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "file_guard.h"
#include "zelk_limits.h"

namespace {

constexpr int kRecordBufferSize = 1024;

void write_record(const char *message) {
    FileGuard log(zelk::kTraceLogPath, "a");
    if (!log) {
        return; // best effort: a missing log never stops an operation
    }
    char record[kRecordBufferSize];
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    format_trace_prefix(local, record, sizeof record);
    std::fputs(record, log.get());
    std::fputs(message, log.get());
}

} // namespace

void trace(const char *message) {
    write_record(message ? message : "");
}

void tracef(const char *format, ...) {
    char message[kRecordBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    write_record(message);
}

void debug(const char *text) {
    FileGuard log(zelk::kTraceLogPath, "a");
    if (log && text) {
        std::fputs(text, log.get());
    }
}

void format_trace_prefix(const struct tm &local, char *out, size_t outSize) {
    std::snprintf(out, outSize, "[%2d:%2d:%2d] ", local.tm_hour, local.tm_min, local.tm_sec);
}
