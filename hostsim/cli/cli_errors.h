// Errors of the hostsim command, each with its exit status.
#pragma once

#include <stdexcept>
#include <string>

namespace hostsim::cli {

enum ExitStatus {
    kExitOk = 0,
    kExitCimError = 1, // the broker or a provider answered with an error status
    kExitUsage = 2,    // bad command line: verb, option, path or value
    kExitSetup = 3,    // scenario, registry, library directory or fast clock unusable
};

class CliError : public std::runtime_error {
  public:
    CliError(ExitStatus status, const std::string &what)
        : std::runtime_error(what), status_(status) {}
    ExitStatus status() const { return status_; }

  private:
    ExitStatus status_;
};

inline CliError usage_error(const std::string &what) {
    return CliError(kExitUsage, what);
}

} // namespace hostsim::cli
