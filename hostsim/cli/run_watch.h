// hostsim is the broker process, so an installation run lives here, in the worker thread that
// InstallFromURI starts: the run has ended when that thread has. A status text cannot tell it,
// since its completion flag belongs to the last package of the list, not of the run.
#pragma once

#include <atomic>
#include <csignal>
#include <set>
#include <sys/types.h>

#include <cmpi/cmpift.h>

namespace hostsim::cli {

class RunThreads {
  public:
    // Around the call that starts the run with `context`: the run's thread is the one that
    // clones that context (the provider's worker does so before the call returns); failing
    // that, every thread the call left behind.
    void before_call(const CMPIContext *context);
    void after_call();
    // Any of them still there; forgets those that have ended.
    bool running();

  private:
    std::set<pid_t> before_;
    std::set<pid_t> run_;
};

// Ctrl-C while a run is followed. The first press only sets interrupted(); the handler then
// falls back to the default, so a second press ends the process and the run with it. From
// construction on, threads started by this thread (the run's) never receive SIGINT.
class InterruptGuard {
  public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard &) = delete;
    InterruptGuard &operator=(const InterruptGuard &) = delete;

    // Lets this thread take Ctrl-C from now on.
    void listen();
    bool interrupted() const;

  private:
    sigset_t oldMask_{};
    struct sigaction oldAction_ {};
    bool listening_ = false;
};

// Waits a quarter of a second, or less when a signal arrives. Shorter than a second, so the fast
// clock leaves it real.
void nap();

} // namespace hostsim::cli
