// The verbs of the hostsim command, named after wbemcli's.
#pragma once

#include <string>
#include <vector>

namespace hostsim::cli {

struct Verb {
    const char *name;
    // Checks the operands before the host is prepared; throws a usage error.
    void (*check)(const std::vector<std::string> &operands);
    // Runs with the operands after the verb; returns the exit status, throws CliError.
    int (*run)(const std::vector<std::string> &operands);
};

// Null for an unknown verb.
const Verb *find_verb(const std::string &name);

void check_class_verb(const std::vector<std::string> &operands);
void check_gi(const std::vector<std::string> &operands);
void check_cm(const std::vector<std::string> &operands);
int run_ei(const std::vector<std::string> &operands);
int run_ein(const std::vector<std::string> &operands);
int run_gi(const std::vector<std::string> &operands);
int run_cm(const std::vector<std::string> &operands);
void check_install(const std::vector<std::string> &operands);
int run_install(const std::vector<std::string> &operands);

} // namespace hostsim::cli
