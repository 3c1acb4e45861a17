// Access log lines, each appended with one write.
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <sys/time.h>
#include <unistd.h>

#include "http_access_log.h"

namespace hostsim::server {

namespace {

constexpr size_t kMaxField = 80;

// Printable ASCII without blanks, at most kMaxField bytes; "-" when empty.
std::string field(const std::string &text) {
    std::string safe;
    for (char c : text) {
        if (safe.size() == kMaxField) {
            break;
        }
        safe += c > ' ' && c < 0x7f ? c : '?';
    }
    return safe.empty() ? "-" : safe;
}

std::string timestamp() {
    timeval now{};
    gettimeofday(&now, nullptr);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    char text[40];
    size_t length = strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    snprintf(text + length, sizeof text - length, ".%03ldZ", static_cast<long>(now.tv_usec / 1000));
    return text;
}

} // namespace

AccessLog::AccessLog(const std::string &path)
    : fd_(open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
    if (fd_ < 0) {
        throw std::runtime_error("access log " + path + ": cannot be opened");
    }
}

AccessLog::~AccessLog() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

void AccessLog::request(const AccessRecord &record) {
    if (fd_ < 0) {
        return;
    }
    char duration[32];
    snprintf(duration, sizeof duration, "%.2fms",
             std::chrono::duration<double, std::milli>(record.duration).count());
    write_line(field(record.peer) + " " + field(record.method) + " " + field(record.path) + " " +
               field(record.operation) + " " + field(record.user) + " " +
               std::to_string(record.status) + " " + duration);
}

void AccessLog::dropped(const std::string &peer, const std::string &reason) {
    if (fd_ >= 0) {
        write_line(field(peer) + " - - - - dropped (" + reason + ")");
    }
}

void AccessLog::write_line(const std::string &fields) {
    std::string line = timestamp() + " " + fields + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    ssize_t written = ::write(fd_, line.data(), line.size());
    (void)written; // a full disk loses log lines, never requests
}

} // namespace hostsim::server
