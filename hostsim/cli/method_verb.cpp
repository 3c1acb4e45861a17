// cm: calling an extrinsic method.
#include <iostream>

#include <cmpi/cmpimacs.h>

#include "cim_session.h"
#include "cli_errors.h"
#include "output.h"
#include "type_table.h"
#include "verbs.h"

namespace hostsim::cli {

namespace {

struct MethodCall {
    sim::PathText target;
    std::string method;
    std::vector<Assignment> args;
    std::vector<CMPIType> types;
};

MethodCall method_call(const std::vector<std::string> &operands) {
    if (operands.size() < 2) {
        throw usage_error("cm takes a NS:CLASS[.Key=value,...] path, a method and NAME=value "
                          "arguments");
    }
    MethodCall call;
    call.target = parse_target(operands[0]);
    call.method = operands[1];
    if (call.method.empty() || call.method.find_first_of("=:.,\"") != std::string::npos) {
        throw usage_error("'" + call.method + "' is not a method name");
    }
    for (size_t i = 2; i < operands.size(); ++i) {
        Assignment arg = parse_assignment(operands[i]);
        CMPIType type = arg.type != CMPI_null
                            ? arg.type
                            : argument_type(call.target.className, call.method, arg.name);
        typed_value(arg.name, arg.text, type); // reports a bad value before the host starts
        call.args.push_back(arg);
        call.types.push_back(type);
    }
    return call;
}

} // namespace

void check_cm(const std::vector<std::string> &operands) {
    method_call(operands);
}

int run_cm(const std::vector<std::string> &operands) {
    MethodCall call = method_call(operands);
    CimSession session(call.target.nameSpace);
    CMPIObjectPath *path = target_path(call.target, {});
    CMPIArgs *in = CMNewArgs(broker(), nullptr);
    for (size_t i = 0; i < call.args.size(); ++i) {
        sim::CimValue value = cli_value(call.args[i].name, call.args[i].text, call.types[i]);
        CMAddArg(in, call.args[i].name.c_str(), value.value(), value.type());
    }
    CMPIArgs *out = CMNewArgs(broker(), nullptr);
    CMPIStatus status{CMPI_RC_OK, nullptr};
    CMPIData returned =
        CBInvokeMethod(broker(), session.context(), path, call.method.c_str(), in, out, &status);
    check_status(status, "cm " + operands[0] + " " + call.method);
    print_method_result(std::cout, returned, out);
    return kExitOk;
}

} // namespace hostsim::cli
