// The run's threads, seen in /proc/self/task, and Ctrl-C while following them.
#include "run_watch.h"

#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <dlfcn.h>
#include <mutex>
#include <pthread.h>
#include <string>
#include <unistd.h>

#include "cli_errors.h"

namespace hostsim::cli {

namespace {

constexpr const char *kTasks = "/proc/self/task";

std::set<pid_t> current_threads() {
    DIR *dir = opendir(kTasks);
    if (dir == nullptr) {
        throw CliError(kExitSetup,
                       std::string("install: cannot watch the run: ") + kTasks + " unreadable");
    }
    std::set<pid_t> threads;
    while (const dirent *entry = readdir(dir)) {
        char *end = nullptr;
        long tid = std::strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0' && tid > 0) {
            threads.insert(static_cast<pid_t>(tid));
        }
    }
    closedir(dir);
    return threads;
}

std::atomic<bool> g_interrupted{false};

// The context handed to the call that starts the run, and the threads that cloned it.
std::atomic<const CMPIContext *> g_watched{nullptr};
std::mutex g_clonersLock;
std::set<pid_t> g_cloners;

using CloneFunction = CMPIContext *(*)(const CMPIContext *);

extern "C" void on_interrupt(int) {
    g_interrupted.store(true);
}

} // namespace

void RunThreads::before_call(const CMPIContext *context) {
    before_ = current_threads();
    std::lock_guard<std::mutex> guard(g_clonersLock);
    g_cloners.clear();
    g_watched.store(context);
}

void RunThreads::after_call() {
    g_watched.store(nullptr);
    {
        std::lock_guard<std::mutex> guard(g_clonersLock);
        run_ = g_cloners;
    }
    if (!run_.empty()) {
        return;
    }
    // A worker that did not clone the context: every thread the call left behind.
    for (pid_t tid : current_threads()) {
        if (before_.count(tid) == 0) {
            run_.insert(tid);
        }
    }
}

bool RunThreads::running() {
    for (auto it = run_.begin(); it != run_.end();) {
        std::string path = std::string(kTasks) + "/" + std::to_string(*it);
        it = access(path.c_str(), F_OK) == 0 ? std::next(it) : run_.erase(it);
    }
    return !run_.empty();
}

InterruptGuard::InterruptGuard() {
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    pthread_sigmask(SIG_BLOCK, &block, &oldMask_);
}

InterruptGuard::~InterruptGuard() {
    if (listening_) {
        sigaction(SIGINT, &oldAction_, nullptr);
    }
    pthread_sigmask(SIG_SETMASK, &oldMask_, nullptr);
}

void InterruptGuard::listen() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    action.sa_flags = SA_RESETHAND; // the second Ctrl-C takes the default action
    sigemptyset(&action.sa_mask);
    g_interrupted.store(false);
    sigaction(SIGINT, &action, &oldAction_);
    listening_ = true;
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, SIGINT);
    pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
}

bool InterruptGuard::interrupted() const {
    return g_interrupted.load();
}

void nap() {
    struct timespec quarter {
        0, 250 * 1000 * 1000
    };
    nanosleep(&quarter, nullptr);
}

} // namespace hostsim::cli

// The broker's export, seen first by the providers this process loads: the thread of a run is
// the one that clones the context of the call that started it.
extern "C" __attribute__((visibility("default"))) CMPIContext *
native_clone_CMPIContext(const CMPIContext *context) {
    using namespace hostsim::cli;
    if (context != nullptr && context == g_watched.load()) {
        std::lock_guard<std::mutex> guard(g_clonersLock);
        g_cloners.insert(gettid());
    }
    static const CloneFunction broker =
        reinterpret_cast<CloneFunction>(dlsym(RTLD_NEXT, "native_clone_CMPIContext"));
    return broker != nullptr ? broker(context) : nullptr;
}
