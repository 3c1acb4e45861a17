// The guard's list of connections and its watcher thread.
#include <algorithm>
#include <fcntl.h>
#include <map>
#include <vector>
#include <sys/socket.h>
#include <unistd.h>

#include "http_connection_guard.h"

namespace hostsim::server {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kWatchInterval{100};

} // namespace

ConnectionGuard::ConnectionGuard(const ConnectionLimits &limits, AccessLog *log)
    : limits_(limits), log_(log), watcher_([this] { watch(); }) {}

ConnectionGuard::~ConnectionGuard() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    watcher_.join();
    for (Entry &entry : entries_) {
        close(entry.fd);
    }
}

ConnectionGuard::Entry *ConnectionGuard::opened(int fd, const std::string &peer) {
    int own = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0) {
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(Entry{own, peer, Clock::now(), State::Waiting, {}});
    entries_.back().self = std::prev(entries_.end());
    return &entries_.back();
}

void ConnectionGuard::closed(Entry *entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    close(entry->fd);
    entries_.erase(entry->self);
}

void ConnectionGuard::admitted(Entry *entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (entry->state == State::Waiting) {
        entry->state = State::Admitted;
    }
}

void ConnectionGuard::received(Entry *entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (entry->state != State::Dropped) {
        entry->state = State::Answering;
    }
}

void ConnectionGuard::answered(Entry *entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (entry->state != State::Dropped) {
        entry->state = State::Waiting;
        entry->since = Clock::now();
    }
}

void ConnectionGuard::drop(Entry &entry, const char *reason) {
    shutdown(entry.fd, SHUT_RDWR); // the connection's thread sees the end and closes it
    entry.state = State::Dropped;
    if (log_ != nullptr) {
        log_->dropped(entry.peer, reason);
    }
}

void ConnectionGuard::drop_late() {
    const Clock::time_point now = Clock::now();
    std::map<std::string, std::vector<Entry *>> waiting; // by peer, oldest first
    for (Entry &entry : entries_) {
        bool receiving = entry.state == State::Waiting || entry.state == State::Admitted;
        if (receiving && entry.since < now - limits_.requestDeadline) {
            drop(entry, "request deadline");
        } else if (entry.state == State::Waiting) {
            waiting[entry.peer].push_back(&entry);
        }
    }
    for (auto &[peer, entries] : waiting) {
        std::sort(entries.begin(), entries.end(),
                  [](const Entry *a, const Entry *b) { return a->since < b->since; });
        for (size_t i = 0; i + limits_.waitingPerAddress < entries.size(); ++i) {
            if (entries[i]->since < now - limits_.waitingGrace) {
                drop(*entries[i], "too many waiting connections");
            }
        }
    }
}

void ConnectionGuard::watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, kWatchInterval, [this] { return stopping_; })) {
        drop_late();
    }
}

} // namespace hostsim::server
