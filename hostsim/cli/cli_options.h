// The command line: global options, then a verb and its operands.
#pragma once

#include <string>
#include <vector>

namespace hostsim::cli {

struct CliOptions {
    std::string scenario; // empty: HOSTSIM_SCENARIO, else the shipped default scenario
    std::string registry; // empty: the shipped registration file
    std::string journal;  // empty: HOSTSIM_JOURNAL as it is
    std::string libdir;   // empty: /usr/lib/cim
    bool fast = false;
    bool help = false;
    std::string verb;
    std::vector<std::string> operands; // everything after the verb, verb options included
};

// Global options come before the verb, as "--name value" or "--name=value". Throws a usage
// error for an unknown option or one without its value.
CliOptions parse_command_line(const std::vector<std::string> &arguments);

std::string usage_text();

} // namespace hostsim::cli
