// Global options of the hostsim command.
#include "cli_options.h"
#include "cli_errors.h"

namespace hostsim::cli {

namespace {

struct ValueOption {
    const char *name;
    std::string CliOptions::*field;
};

const ValueOption kValueOptions[] = {
    {"--scenario", &CliOptions::scenario},
    {"--registry", &CliOptions::registry},
    {"--journal", &CliOptions::journal},
    {"--libdir", &CliOptions::libdir},
};

} // namespace

CliOptions parse_command_line(const std::vector<std::string> &arguments) {
    CliOptions options;
    size_t i = 0;
    for (; i < arguments.size(); ++i) {
        const std::string &arg = arguments[i];
        if (arg.rfind("-", 0) != 0) {
            break;
        }
        if (arg == "--fast") {
            options.fast = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        size_t eq = arg.find('=');
        std::string name = arg.substr(0, eq);
        const ValueOption *option = nullptr;
        for (const ValueOption &candidate : kValueOptions) {
            option = name == candidate.name ? &candidate : option;
        }
        if (option == nullptr) {
            throw usage_error("unknown option '" + arg + "'");
        }
        std::string value;
        if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        }
        if (value.empty()) {
            throw usage_error(name + " needs a value");
        }
        options.*(option->field) = value;
    }
    if (i < arguments.size()) {
        options.verb = arguments[i];
        options.operands.assign(arguments.begin() + static_cast<long>(i) + 1, arguments.end());
    }
    return options;
}

std::string usage_text() {
    return "usage: hostsim [--scenario FILE] [--registry FILE] [--journal FILE] [--libdir DIR]\n"
           "               [--fast] VERB ARGS...\n"
           "verbs:\n"
           "  ei  NS:CLASS                                enumerate instances\n"
           "  ein NS:CLASS                                enumerate instance names\n"
           "  gi  NS:CLASS[.K=v,...] [K=v ...]            get an instance\n"
           "  cm  NS:CLASS[.K=v,...] METHOD [NAME=v ...]  call a method\n"
           "  install URI[|URI...] [--sync] [--backup] [--options N,...]\n"
           "                                              install packages, follow the job\n"
           "  serve [--port N] [--user U] [--password P | --password-file FILE]\n"
           "        (--tls-cert FILE --tls-key FILE | --http) [--access-log FILE] [--mof-dir DIR]\n"
           "                                              serve CIM-XML over HTTPS on 127.0.0.1\n"
           "Arrays are comma lists; NAME:TYPE=v gives a type the built-in table lacks.\n"
           "Exit status: 0 done, 1 CIM error (install: a package not installed), 2 bad command\n"
           "line, 3 bad scenario, registry or library directory, 130 install left by Ctrl-C.\n";
}

} // namespace hostsim::cli
