// install: InstallFromURI on the installation service, then the run followed through its job.
#include <algorithm>
#include <cstdlib>
#include <iostream>

#include <cmpi/cmpimacs.h>

#include "cim_session.h"
#include "cli_errors.h"
#include "install_follow.h"
#include "install_status.h"
#include "output.h"
#include "run_watch.h"
#include "verbs.h"

namespace hostsim::cli {

namespace {

constexpr const char *kNameSpace = "zelk/cimv2";
constexpr const char *kService = "XORVO_VMpkgInstallationService";
constexpr const char *kSynchronous = "32768";
constexpr unsigned long long kMaxOption = 65535;
constexpr double kLongestTimeout = 1e9; // seconds, some 31 years

struct InstallRequest {
    std::string uriList;
    std::vector<std::string> uris;
    std::vector<std::string> options; // InstallOptions, absent when empty
    bool backup = false;
    double timeoutSeconds = 0; // 0: follow the run to its end
};

// The value of the option `name` at operands[i], given as "name VALUE" or "name=VALUE"; false
// when operands[i] is another operand. Moves `i` past a separate value.
bool option_value(const std::vector<std::string> &operands, size_t &i, const std::string &name,
                  std::string *value) {
    const std::string &operand = operands[i];
    if (operand == name) {
        *value = i + 1 < operands.size() ? operands[++i] : "";
    } else if (operand.rfind(name + "=", 0) == 0) {
        *value = operand.substr(name.size() + 1);
    } else {
        return false;
    }
    return true;
}

double timeout_seconds(const std::string &text) {
    char *end = nullptr;
    double seconds = text.empty() ? 0 : std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds > 0) || seconds > kLongestTimeout) {
        throw usage_error("install: --timeout needs a number of seconds above 0, not '" + text +
                          "'");
    }
    return seconds;
}

std::string joined(const std::vector<std::string> &items) {
    std::string text;
    for (const std::string &item : items) {
        text += (text.empty() ? "" : ",") + item;
    }
    return text;
}

bool synchronous(const InstallRequest &request) {
    return std::find(request.options.begin(), request.options.end(), kSynchronous) !=
           request.options.end();
}

InstallRequest install_request(const std::vector<std::string> &operands) {
    InstallRequest request;
    bool sync = false, haveList = false;
    for (size_t i = 0; i < operands.size(); ++i) {
        const std::string &operand = operands[i];
        std::string list, seconds;
        if (operand == "--sync") {
            sync = true;
        } else if (operand == "--backup") {
            request.backup = true;
        } else if (option_value(operands, i, "--timeout", &seconds)) {
            request.timeoutSeconds = timeout_seconds(seconds);
        } else if (option_value(operands, i, "--options", &list)) {
            if (list.empty()) {
                throw usage_error("install: --options needs a list N,...");
            }
            const Json typed = typed_value("--options", list, CMPI_uint16A);
            for (const Json &value : typed["value"]) {
                if (value.get<unsigned long long>() > kMaxOption) {
                    throw usage_error("--options: value " + value.dump() +
                                      " does not fit a uint16");
                }
                request.options.push_back(value.dump());
            }
        } else if (operand.rfind("--", 0) == 0) {
            throw usage_error("install: unknown option '" + operand + "'");
        } else if (haveList) {
            throw usage_error("install takes one URI list (URIs separated by '|')");
        } else {
            request.uriList = operand;
            haveList = true;
        }
    }
    if (!haveList) {
        throw usage_error("install takes a URI list: install URI[|URI...] [--sync] [--backup] "
                          "[--options N,...] [--timeout SECONDS]");
    }
    request.uris = split_uri_list(request.uriList);
    if (sync && !synchronous(request)) {
        request.options.push_back(kSynchronous);
    }
    return request;
}

CMPIArgs *install_arguments(const InstallRequest &request) {
    CMPIArgs *in = CMNewArgs(broker(), nullptr);
    CMAddArg(in, "URI", request.uriList.c_str(), CMPI_chars);
    if (!request.options.empty()) {
        sim::CimValue options = cli_value("InstallOptions", joined(request.options), CMPI_uint16A);
        CMAddArg(in, "InstallOptions", options.value(), options.type());
    }
    if (request.backup) {
        CMAddArg(in, "UpdateArgs", "--backup", CMPI_chars);
    }
    return in;
}

} // namespace

void check_install(const std::vector<std::string> &operands) {
    install_request(operands);
}

int run_install(const std::vector<std::string> &operands) {
    InstallRequest request = install_request(operands);
    CimSession session(kNameSpace);
    CMPIObjectPath *service = CMNewObjectPath(broker(), kNameSpace, kService, nullptr);
    CMPIArgs *in = install_arguments(request);
    CMPIArgs *out = CMNewArgs(broker(), nullptr);

    InterruptGuard interrupt; // before the call: the run's threads inherit SIGINT blocked
    RunThreads threads;
    threads.before_call(session.context());
    CMPIStatus status{CMPI_RC_OK, nullptr};
    CMPIData returned =
        CBInvokeMethod(broker(), session.context(), service, "InstallFromURI", in, out, &status);
    threads.after_call();
    check_status(status, "install");
    print_method_result(std::cout, returned, out);
    std::cout << std::flush;

    CMPIData job = CMGetArg(out, "Job", nullptr);
    if (job.type != CMPI_ref || CMIsNullValue(job) || job.value.ref == nullptr) {
        if (synchronous(request)) {
            std::cout << "No installation was started: with InstallOptions 32768 the provider "
                         "only prepares the run.\n";
            return kExitOk;
        }
        throw CliError(kExitCimError, "install: InstallFromURI returned no Job");
    }
    const int exitStatus = follow_run(session.context(), job.value.ref, request.uris, threads,
                                      interrupt, request.timeoutSeconds);
    if (exitStatus == kExitStillRunning) {
        // The run's threads may be inside a provider for good: the process ends without
        // tearing down what they use.
        std::cout << std::flush;
        std::cerr << std::flush;
        std::_Exit(exitStatus);
    }
    return exitStatus;
}

} // namespace hostsim::cli
