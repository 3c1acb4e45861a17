// hostsim: a CIM client of the simulated host. Global options prepare the host (fast clock,
// scenario, journal, provider registrations), then a verb talks to the providers through the
// broker.
#include <iostream>

#include "cli_errors.h"
#include "cli_options.h"
#include "host_setup.h"
#include "verbs.h"

using namespace hostsim::cli;

namespace {

int run(const std::vector<std::string> &arguments) {
    CliOptions options =
        parse_command_line(std::vector<std::string>(arguments.begin() + 1, arguments.end()));
    if (options.help) {
        std::cout << usage_text();
        return kExitOk;
    }
    if (options.verb.empty()) {
        throw usage_error("no verb given");
    }
    const Verb *verb = find_verb(options.verb);
    if (verb == nullptr) {
        throw usage_error("unknown verb '" + options.verb + "'");
    }
    verb->check(options.operands);
    preload_fast_clock(options, arguments);
    export_scenario_and_journal(options);
    load_providers(options);
    return verb->run(options.operands);
}

} // namespace

int main(int argc, char **argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    try {
        return run(arguments);
    } catch (const CliError &error) {
        std::cerr << "hostsim: " << error.what() << "\n";
        if (error.status() == kExitUsage) {
            std::cerr << "Try 'hostsim --help'.\n";
        }
        return error.status();
    } catch (const std::exception &error) {
        std::cerr << "hostsim: " << error.what() << "\n";
        return kExitCimError;
    }
}
