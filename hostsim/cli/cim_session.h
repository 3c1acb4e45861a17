// What every verb does around its broker call: a call scope and a context for the target's
// namespace, object paths built from command-line text, and CIM error statuses as CliError.
#pragma once

#include <string>
#include <vector>

#include <cmpi/cmpift.h>

#include "hostsim_broker.h"
#include "value_parsing.h"

namespace hostsim::cli {

class CimSession {
  public:
    explicit CimSession(const std::string &nameSpace);
    ~CimSession();
    CimSession(const CimSession &) = delete;
    CimSession &operator=(const CimSession &) = delete;
    const CMPIContext *context() const { return context_; }

  private:
    CallScope scope_;
    CMPIContext *context_;
};

// The target's path with its keys, and extra "Key=value" operands as further keys, each typed
// by the built-in table. Throws a usage error for a bad operand or value.
CMPIObjectPath *target_path(const sim::PathText &target,
                            const std::vector<std::string> &keyOperands);

// Throws CliError(kExitCimError) "what: CIM error N (NAME): message" unless OK.
void check_status(const CMPIStatus &status, const std::string &what);

// Adds a typed value to a path, args or instance setter; a SimError becomes a usage error.
sim::CimValue cli_value(const std::string &name, const std::string &text, CMPIType type);

} // namespace hostsim::cli
