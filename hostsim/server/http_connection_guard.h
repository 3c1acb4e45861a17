// Keeps slow and idle clients from taking the server's connections from everyone else.
//
// A connection is "waiting" until the headers of its request pass the handler's checks
// (credentials, path, method, length). Of the connections waiting from one peer address, those
// beyond the newest `waitingPerAddress` are dropped, oldest first, once they have waited
// `waitingGrace`: a burst of new clients is let in, while slow ones cannot pile up and fill the
// connection limits. Every request's headers and body must arrive within `requestDeadline` of
// the connection's start or of the previous answer; a connection that misses it is dropped. A
// request being answered has no deadline.
// Connections are shut down through a duplicate of their descriptor, which the guard owns, so
// that a descriptor libmicrohttpd has closed and reused is never touched.
#pragma once

#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "http_access_log.h"

namespace hostsim::server {

struct ConnectionLimits {
    unsigned connections = 256;
    unsigned perAddress = 192;
    unsigned waitingPerAddress = 32;
    std::chrono::milliseconds waitingGrace{1000};
    std::chrono::milliseconds requestDeadline{10000};
};

class ConnectionGuard {
  public:
    struct Entry;

    ConnectionGuard(const ConnectionLimits &limits, AccessLog *log);
    ~ConnectionGuard();
    ConnectionGuard(const ConnectionGuard &) = delete;
    ConnectionGuard &operator=(const ConnectionGuard &) = delete;

    // A connection from `peer` on descriptor `fd`; null when it cannot be watched.
    Entry *opened(int fd, const std::string &peer);
    void closed(Entry *entry);
    // Its request's headers passed the checks: it no longer waits.
    void admitted(Entry *entry);
    // Its request has arrived whole: no deadline while it is answered.
    void received(Entry *entry);
    // The answer is out: it waits for its next request, with a fresh deadline.
    void answered(Entry *entry);

  private:
    enum class State { Waiting, Admitted, Answering, Dropped };
    void drop(Entry &entry, const char *reason); // with mutex_ held
    void drop_late();                            // with mutex_ held
    void watch();

    const ConnectionLimits limits_;
    AccessLog *const log_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::list<Entry> entries_; // oldest first
    std::thread watcher_;

  public:
    struct Entry {
        int fd;
        std::string peer;
        std::chrono::steady_clock::time_point since;
        State state;
        std::list<Entry>::iterator self;
    };
};

} // namespace hostsim::server
