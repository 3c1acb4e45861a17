// Following an installation run through its CIM_ConcreteJob until the run has ended.
#pragma once

#include <string>
#include <vector>

#include <cmpi/cmpift.h>

#include "run_watch.h"

namespace hostsim::cli {

// Exit status after the first Ctrl-C: the run was left to finish unwatched.
constexpr int kExitInterrupted = 130;
// Exit status when the run had not ended within the time given to follow it.
constexpr int kExitStillRunning = 4;

// Reads the job about once a second, prints each change of a package's status on its own line
// (with a progress bar on a terminal), and once the run's threads have ended reads it a last
// time and prints the table of packages and the job's final state. Returns 0 when every package
// of `uris` reached code 50, 1 otherwise. The first Ctrl-C stops the output and waits for the
// run to end unwatched, then returns kExitInterrupted. With `timeoutSeconds` above 0, a run
// still going after that long (a provider call may never return, as under sfcb) is left: the
// table shows what is known and kExitStillRunning is returned.
int follow_run(const CMPIContext *context, const CMPIObjectPath *job,
               const std::vector<std::string> &uris, RunThreads &threads, InterruptGuard &interrupt,
               double timeoutSeconds);

} // namespace hostsim::cli
