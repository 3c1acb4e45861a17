// Broker sessions of the verbs.
#include <cmpi/cmpimacs.h>

#include "cim_session.h"
#include "cli_errors.h"
#include "output.h"
#include "type_table.h"

namespace hostsim::cli {

CimSession::CimSession(const std::string &nameSpace) : context_(new_context()) {
    CMAddContextEntry(context_, CMPIInitNameSpace, nameSpace.c_str(), CMPI_chars);
}

CimSession::~CimSession() {
    CMRelease(context_);
}

sim::CimValue cli_value(const std::string &name, const std::string &text, CMPIType type) {
    try {
        return sim::CimValue::from_json(broker(), typed_value(name, text, type));
    } catch (const sim::SimError &error) {
        throw usage_error(name + ": " + error.what());
    }
}

CMPIObjectPath *target_path(const sim::PathText &target,
                            const std::vector<std::string> &keyOperands) {
    std::vector<Assignment> keys;
    for (const auto &key : target.keys) {
        keys.push_back({key.first, key.second, CMPI_null});
    }
    for (const std::string &operand : keyOperands) {
        keys.push_back(parse_assignment(operand));
    }
    CMPIObjectPath *path =
        CMNewObjectPath(broker(), target.nameSpace.c_str(), target.className.c_str(), nullptr);
    for (const Assignment &key : keys) {
        CMPIType type = key.type != CMPI_null ? key.type : key_type(target.className, key.name);
        sim::CimValue value = cli_value(key.name, key.text, type);
        CMAddKey(path, key.name.c_str(), value.value(), value.type());
    }
    return path;
}

void check_status(const CMPIStatus &status, const std::string &what) {
    if (status.rc == CMPI_RC_OK) {
        return;
    }
    std::string message =
        what + ": CIM error " + std::to_string(status.rc) + " (" + rc_name(status.rc) + ")";
    const char *text = status.msg ? CMGetCharsPtr(status.msg, nullptr) : nullptr;
    if (text != nullptr && *text != '\0') {
        message += ": " + std::string(text);
    }
    throw CliError(kExitCimError, message);
}

} // namespace hostsim::cli
