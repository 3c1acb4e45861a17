// The method table of the simulated host's services and the check every method call passes
// before a simulated provider acts on it.
#include <cmpi/cmpimacs.h>

#include "sim_journal.h"
#include "sim_provider.h"
#include "sim_request_rules.h"
#include "sim_values.h"

namespace hostsim::sim {

namespace {

constexpr bool kClassLevel = true;
constexpr bool kOnInstance = false;

const std::vector<ArgumentRule> kTransferArguments = {
    {"SourceURI", CMPI_string}, {"TransferOptions", CMPI_uint16A}, {"BlockSize", CMPI_uint16}};
const std::vector<ArgumentRule> kUriOnly = {{"URI", CMPI_string}};
const std::vector<ArgumentRule> kOptionsAndUri = {{"InstallOptions", CMPI_uint16A},
                                                  {"URI", CMPI_string}};

// Every method of a simulated service that acts on a request. Other methods fail in the
// provider with CIM_ERR_METHOD_NOT_FOUND, or answer as the scenario says.
const MethodRule kMethodRules[] = {
    {"QEL_FileTransferService", "TransferViaTFTP", kClassLevel, kTransferArguments, nullptr},
    {"QEL_FileTransferService", "TransferViaURL", kClassLevel, kTransferArguments, nullptr},
    {"QEL_FileTransferService",
     "DeleteTransferredFile",
     kClassLevel,
     {{"FileURI", CMPI_string}},
     nullptr},
    {"QEL_SoftwareInstallationService",
     "InstallFromURI",
     kOnInstance,
     {{"URI", CMPI_string}, {"Update_Operation", CMPI_uint8}},
     nullptr},
    {"VMware_SoftwareInstallationService", "InstallFromURI", kOnInstance, kUriOnly,
     "OMC_UnitaryComputerSystem"},
    {"BROCADE_HBASoftwareInstallationService", "InstallFromURI", kOnInstance, kOptionsAndUri,
     "BROCADE_PortController"},
    {"ELXUCNA_SoftwareInstallationService", "InstallFromURI", kOnInstance, kUriOnly,
     "ELXUCNA_EthernetPort"},
    {"ELXHBA_SoftwareInstallationService", "InstallFromURI", kOnInstance, kUriOnly,
     "ELXHBA_FCPort"},
    {"QLogicFCHBA_SoftwareInstallationService", "InstallFromURI", kOnInstance, kOptionsAndUri,
     "QLogicFCHBA_PortController"},
    {"BRCMFWUP_SoftwareInstallationService", "InstallFromURI", kOnInstance, kUriOnly, nullptr},
    {"ORPV_SoftwareInstallationService", "InstallFromURI", kOnInstance, kUriOnly, nullptr},
};

bool of_type(CMPIType wanted, CMPIType given) {
    return given == wanted || (wanted == CMPI_string && given == CMPI_chars);
}

// The argument `name` as given; its state says notFound when the request lacks it.
CMPIData argument(const CMPIArgs *in, const char *name) {
    CMPIData data{};
    data.state = CMPI_notFound;
    if (in != nullptr) {
        CMPIStatus rc{CMPI_RC_OK, nullptr};
        CMPIData found = CMGetArg(in, name, &rc);
        if (rc.rc == CMPI_RC_OK) {
            data = found;
        }
    }
    return data;
}

bool given(const CMPIData &data) {
    return (data.state & (CMPI_notFound | CMPI_nullValue)) == 0;
}

} // namespace

const MethodRule *method_rule(const std::string &className, const std::string &method) {
    for (const MethodRule &rule : kMethodRules) {
        if (same_name(rule.className, className) && same_name(rule.method, method)) {
            return &rule;
        }
    }
    return nullptr;
}

std::string Refusal::answer() const {
    switch (kind) {
    case kNoInstance:
        return "CIM_ERR_NOT_FOUND";
    case kBadArgument:
        return "CIM_ERR_INVALID_PARAMETER";
    case kUnsupportedTarget:
        return std::to_string(kUnsupportedTargetCode);
    case kNone:
        break;
    }
    return "";
}

Refusal SimProvider::check_request(const Request &request, const std::string &method,
                                   const CMPIArgs *in) {
    const MethodRule *rule = method_rule(request.className, method);
    if (rule == nullptr) {
        return Refusal();
    }
    const bool bareClass = request.path == nullptr || CMGetKeyCount(request.path, nullptr) == 0;
    if (!(rule->classLevel && bareClass) && !lists(request, request.className, request.path)) {
        return Refusal{Refusal::kNoInstance, "no such instance: " + path_text(request.path)};
    }
    for (const ArgumentRule &wanted : rule->arguments) {
        CMPIData data = argument(in, wanted.name);
        if (!given(data)) {
            return Refusal{Refusal::kBadArgument,
                           method + " needs " + wanted.name + " (" + type_name(wanted.type) + ")"};
        }
        if (!of_type(wanted.type, data.type)) {
            return Refusal{Refusal::kBadArgument, std::string(wanted.name) + " is " +
                                                      type_name(data.type) + ", not " +
                                                      type_name(wanted.type)};
        }
    }
    if (rule->targetClass == nullptr) {
        return Refusal();
    }
    CMPIData target = argument(in, "Target");
    if (!given(target)) {
        return Refusal{Refusal::kUnsupportedTarget, "no Target"};
    }
    if (target.type != CMPI_ref || target.value.ref == nullptr) {
        return Refusal{Refusal::kBadArgument, "Target is " + type_name(target.type) + ", not ref"};
    }
    const CMPIObjectPath *ref = target.value.ref;
    if (!same_name(chars_of(CMGetNameSpace(ref, nullptr)), request.nameSpace) ||
        !same_name(chars_of(CMGetClassName(ref, nullptr)), rule->targetClass) ||
        !lists(request, rule->targetClass, ref)) {
        return Refusal{Refusal::kUnsupportedTarget, "Target names no " +
                                                        std::string(rule->targetClass) + " of " +
                                                        request.nameSpace + ": " + path_text(ref)};
    }
    return Refusal();
}

CMPIStatus SimProvider::answer_method(const Request &request, const std::string &method,
                                      const CMPIArgs *in, CMPIArgs *out) {
    Refusal refusal = check_request(request, method, in);
    return refusal ? refuse(request, method, refusal) : invoke(request, method, in, out);
}

CMPIStatus SimProvider::refuse(const Request &request, const std::string &method,
                               const Refusal &refusal) {
    journal_refusal(method, request.path, refusal.answer(), refusal.reason);
    switch (refusal.kind) {
    case Refusal::kNoInstance:
        return error_status(request.broker, CMPI_RC_ERR_NOT_FOUND, refusal.reason);
    case Refusal::kBadArgument:
        return error_status(request.broker, CMPI_RC_ERR_INVALID_PARAMETER, refusal.reason);
    default:
        return_uint32(request.result, kUnsupportedTargetCode);
        return ok_status();
    }
}

} // namespace hostsim::sim
