// What the services of the simulated host demand of a method call before they do any work, as
// the real vendors' providers check it: the object path names a listed instance by every one of
// its keys, the arguments the method needs are there with their types, and a Target names a
// listed instance of the class the service installs on, in the service's own namespace. One
// table holds the methods of every simulated service; SimProvider applies it to every call.
#pragma once

#include <string>
#include <vector>

#include <cmpi/cmpidt.h>

namespace hostsim::sim {

struct ArgumentRule {
    const char *name;
    CMPIType type; // CMPI_string takes chars as well
};

struct MethodRule {
    const char *className;
    const char *method;
    // A class-level method is also called on the bare class path (no keys); any other path must
    // name a listed instance.
    bool classLevel;
    std::vector<ArgumentRule> arguments; // required, with these types
    const char *targetClass;             // the class Target must name; null: no Target
};

// The rule of `method` on `className` (names without case); null when the table has none.
const MethodRule *method_rule(const std::string &className, const std::string &method);

// What a check found wrong with a request, and how the service answers it: a path that names no
// instance with CIM_ERR_NOT_FOUND, a missing or mistyped argument with
// CIM_ERR_INVALID_PARAMETER, a Target it cannot install on with the return value 4097.
struct Refusal {
    enum Kind { kNone, kNoInstance, kBadArgument, kUnsupportedTarget };
    Kind kind = kNone;
    std::string reason;

    explicit operator bool() const { return kind != kNone; }
    // "CIM_ERR_NOT_FOUND", "CIM_ERR_INVALID_PARAMETER" or "4097", as the journal writes it.
    std::string answer() const;
};

constexpr CMPIUint32 kUnsupportedTargetCode = 4097;

} // namespace hostsim::sim
