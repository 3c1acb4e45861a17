// The environment and the providers of the simulated host.
#include <climits>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

#include "cli_errors.h"
#include "host_setup.h"
#include "hostsim_broker.h"
#include "sim_journal.h"
#include "sim_scenario.h"

namespace hostsim::cli {

namespace {

constexpr const char *kFastClock = "libfastclock.so";

std::string executable_dir() {
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return ".";
    }
    std::string path(buffer, static_cast<size_t>(length));
    return path.substr(0, path.rfind('/'));
}

std::string absolute(const std::string &path) {
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

std::string library_dir(const CliOptions &options) {
    return options.libdir.empty() ? kDefaultLibraryDir : options.libdir;
}

} // namespace

std::string shipped_file(const std::string &relative) {
    std::string installed = executable_dir() + "/../share/hostsim/" + relative;
    if (access(installed.c_str(), R_OK) == 0) {
        return installed;
    }
    return std::string(HOSTSIM_SOURCE_DIR) + "/" + relative;
}

void preload_fast_clock(const CliOptions &options, const std::vector<std::string> &arguments) {
    if (!options.fast) {
        return;
    }
    std::string clock = absolute(library_dir(options)) + "/" + kFastClock;
    const char *preloaded = std::getenv("LD_PRELOAD");
    std::string current = preloaded ? preloaded : "";
    if (current.find(clock) != std::string::npos) {
        return;
    }
    if (access(clock.c_str(), R_OK) != 0) {
        throw CliError(kExitSetup, "--fast: " + clock + " not found");
    }
    setenv("LD_PRELOAD", (current.empty() ? clock : clock + ":" + current).c_str(), 1);
    // A sanitizer build of hostsim would refuse a preloaded library ahead of its runtime.
    const char *asanOptions = std::getenv("ASAN_OPTIONS");
    std::string sanitizer = asanOptions ? asanOptions : "";
    setenv("ASAN_OPTIONS",
           (sanitizer.empty() ? std::string("verify_asan_link_order=0")
                              : sanitizer + ":verify_asan_link_order=0")
               .c_str(),
           1);
    std::vector<char *> argv;
    for (const std::string &arg : arguments) {
        argv.push_back(const_cast<char *>(arg.c_str()));
    }
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    throw CliError(kExitSetup, "--fast: cannot restart hostsim with " + clock);
}

void export_scenario_and_journal(const CliOptions &options) {
    const char *fromEnvironment = std::getenv(sim::kScenarioVariable);
    std::string scenario = !options.scenario.empty() ? options.scenario
                           : fromEnvironment && *fromEnvironment != '\0'
                               ? fromEnvironment
                               : shipped_file("scenarios/"
                                              "default.json");
    try {
        sim::load_scenario_file(scenario);
    } catch (const sim::SimError &error) {
        throw CliError(kExitSetup, error.what());
    }
    setenv(sim::kScenarioVariable, absolute(scenario).c_str(), 1);
    if (!options.journal.empty()) {
        setenv(sim::kJournalVariable, absolute(options.journal).c_str(), 1);
    }
}

void load_providers(const CliOptions &options) {
    std::string registry =
        options.registry.empty() ? shipped_file("registry/hostsim.reg") : options.registry;
    std::string libdir = library_dir(options);
    if (access(libdir.c_str(), X_OK) != 0) {
        throw CliError(kExitSetup, "--libdir: " + libdir + " is not a readable directory");
    }
    RegistryLoad load;
    std::string error;
    if (!load_registry(registry, absolute(libdir), &load, &error)) {
        throw CliError(kExitSetup, error);
    }
    for (const std::string &warning : load.warnings) {
        std::cerr << "hostsim: warning: " << warning << "\n";
    }
}

} // namespace hostsim::cli
