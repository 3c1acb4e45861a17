// Preparing the simulated host before a verb runs: the fast clock, the scenario and journal
// that the simulated providers read from the environment, and the provider registrations.
#pragma once

#include <string>
#include <vector>

#include "cli_options.h"

namespace hostsim::cli {

// A file shipped with hostsim ("scenarios/default.json", "registry/hostsim.reg"): taken from
// ../share/hostsim/ beside the executable when there, else from the source tree it was built
// from.
std::string shipped_file(const std::string &relative);

// With --fast, re-executes this program with the fast clock preloaded (once); returns when it
// is preloaded already or not asked for. Throws CliError when the library is missing.
void preload_fast_clock(const CliOptions &options, const std::vector<std::string> &arguments);

// Checks the scenario (--scenario, else HOSTSIM_SCENARIO, else the shipped default) and names
// it in HOSTSIM_SCENARIO; names the --journal file in HOSTSIM_JOURNAL. Throws CliError naming
// the file and line of a missing or malformed scenario.
void export_scenario_and_journal(const CliOptions &options);

// Loads the providers of the registration file; warnings go to stderr. Throws CliError when the
// file cannot be read or is malformed.
void load_providers(const CliOptions &options);

} // namespace hostsim::cli
