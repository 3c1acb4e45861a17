// Following an installation run through its CIM_ConcreteJob until the run has ended.
#pragma once

#include <string>
#include <vector>

#include <cmpi/cmpift.h>

#include "run_watch.h"

namespace hostsim::cli {

// Exit status after the first Ctrl-C: the run was left to finish unwatched.
constexpr int kExitInterrupted = 130;

// Reads the job about once a second, prints each change of a package's status on its own line
// (with a progress bar on a terminal), and once the run's threads have ended reads it a last
// time and prints the table of packages and the job's final state. Returns 0 when every package
// of `uris` reached code 50, 1 otherwise. The first Ctrl-C stops the output and waits for the
// run to end unwatched, then returns kExitInterrupted.
int follow_run(const CMPIContext *context, const CMPIObjectPath *job,
               const std::vector<std::string> &uris, RunThreads &threads,
               InterruptGuard &interrupt);

} // namespace hostsim::cli
