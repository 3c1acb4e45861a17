// ei, ein and gi: instance enumeration and retrieval.
#include <iostream>

#include <cmpi/cmpimacs.h>

#include "cim_session.h"
#include "cli_errors.h"
#include "output.h"
#include "verbs.h"

namespace hostsim::cli {

namespace {

sim::PathText class_target(const std::vector<std::string> &operands) {
    if (operands.size() != 1) {
        throw usage_error("ei and ein take one NS:CLASS path");
    }
    return parse_target(operands[0]);
}

int enumerate(const std::string &verb, const std::vector<std::string> &operands, bool names) {
    sim::PathText target = class_target(operands);
    CimSession session(target.nameSpace);
    CMPIObjectPath *path = target_path(target, {});
    CMPIStatus status{CMPI_RC_OK, nullptr};
    CMPIEnumeration *found =
        names ? CBEnumInstanceNames(broker(), session.context(), path, &status)
              : CBEnumInstances(broker(), session.context(), path, nullptr, &status);
    check_status(status, verb + " " + operands[0]);
    bool first = true;
    while (found != nullptr && CMHasNext(found, nullptr)) {
        CMPIData item = CMGetNext(found, nullptr);
        if (names) {
            print_path(std::cout, item.value.ref);
            continue;
        }
        std::cout << (first ? "" : "\n");
        print_instance(std::cout, item.value.inst);
        first = false;
    }
    return kExitOk;
}

// The path and the keys given as further operands.
sim::PathText instance_target(const std::vector<std::string> &operands,
                              std::vector<std::string> *keyOperands) {
    if (operands.empty()) {
        throw usage_error("gi takes a NS:CLASS[.Key=value,...] path and Key=value keys");
    }
    sim::PathText target = parse_target(operands[0]);
    keyOperands->assign(operands.begin() + 1, operands.end());
    for (const std::string &operand : *keyOperands) {
        parse_assignment(operand);
    }
    return target;
}

} // namespace

void check_class_verb(const std::vector<std::string> &operands) {
    class_target(operands);
}

void check_gi(const std::vector<std::string> &operands) {
    std::vector<std::string> keys;
    instance_target(operands, &keys);
}

int run_ei(const std::vector<std::string> &operands) {
    return enumerate("ei", operands, false);
}

int run_ein(const std::vector<std::string> &operands) {
    return enumerate("ein", operands, true);
}

int run_gi(const std::vector<std::string> &operands) {
    std::vector<std::string> keys;
    sim::PathText target = instance_target(operands, &keys);
    CimSession session(target.nameSpace);
    CMPIObjectPath *path = target_path(target, keys);
    CMPIStatus status{CMPI_RC_OK, nullptr};
    CMPIInstance *instance = CBGetInstance(broker(), session.context(), path, nullptr, &status);
    check_status(status, "gi " + operands[0]);
    if (instance == nullptr) {
        throw CliError(kExitCimError, "gi " + operands[0] + ": no instance");
    }
    print_instance(std::cout, instance);
    return kExitOk;
}

} // namespace hostsim::cli
