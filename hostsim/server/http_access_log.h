// The access log of hostsim serve: one line per answered request, refused logins included, and
// one per connection the server drops. Client-supplied fields are cut to printable ASCII
// without blanks, so that a line cannot be forged or split; the password is never written.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

namespace hostsim::server {

struct AccessRecord {
    std::string peer;
    std::string method;    // HTTP method
    std::string path;      // request target
    std::string operation; // CIMMethod header: the CIM operation or extrinsic method
    std::string user;      // the user name presented, whether or not it was accepted
    unsigned status = 0;
    std::chrono::steady_clock::duration duration{};
};

class AccessLog {
  public:
    AccessLog() = default; // logs nothing
    // Appends to `path`, created with mode 0600, never through a symbolic link. Throws
    // std::runtime_error when it cannot be opened.
    explicit AccessLog(const std::string &path);
    ~AccessLog();
    AccessLog(const AccessLog &) = delete;
    AccessLog &operator=(const AccessLog &) = delete;

    // "2024-05-01T12:00:00.123Z 127.0.0.1 POST /cimom EnumerateInstances admin 200 1.25ms"
    void request(const AccessRecord &record);
    // "2024-05-01T12:00:00.123Z 127.0.0.1 - - - - dropped (request deadline)"
    void dropped(const std::string &peer, const std::string &reason);

  private:
    void write_line(const std::string &fields);

    int fd_ = -1;
    std::mutex mutex_;
};

} // namespace hostsim::server
