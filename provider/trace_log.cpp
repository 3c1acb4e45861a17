#include "trace_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include "regular_file.h"
#include "zelk_limits.h"

namespace {

constexpr int kRecordBufferSize = 1024;

// The trace log opened for appending ("a": write-only, created 0666 less the umask), closed when
// the record is written. A plain descriptor instead of a stdio stream: a record is one write of
// its own bytes, with no buffer to allocate and no position to look up first. A link, pipe or
// another user's file in the log's place is not written to: the record is dropped.
class TraceLogFile {
  public:
    TraceLogFile()
        : fd_(open_regular_file(zelk::kTraceLogPath, O_WRONLY | O_APPEND | O_CREAT,
                                kOwnFileRules)) {}
    ~TraceLogFile() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    TraceLogFile(const TraceLogFile &) = delete;
    TraceLogFile &operator=(const TraceLogFile &) = delete;

    explicit operator bool() const { return fd_ >= 0; }
    // Appends the texts in one write; a short or failed write is dropped like a missing log.
    void append(const char *first, const char *second = "") const {
        iovec parts[2] = {{const_cast<char *>(first), std::strlen(first)},
                          {const_cast<char *>(second), std::strlen(second)}};
        ssize_t ignored = writev(fd_, parts, 2);
        (void)ignored;
    }

  private:
    int fd_;
};

void write_record(const char *message) {
    TraceLogFile log;
    if (!log) {
        return; // best effort: a missing log never stops an operation
    }
    char prefix[32];
    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    format_trace_prefix(local, prefix, sizeof prefix);
    log.append(prefix, message);
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
    TraceLogFile log;
    if (log && text) {
        log.append(text);
    }
}

void format_trace_prefix(const struct tm &local, char *out, size_t outSize) {
    std::snprintf(out, outSize, "[%2d:%2d:%2d] ", local.tm_hour, local.tm_min, local.tm_sec);
}
