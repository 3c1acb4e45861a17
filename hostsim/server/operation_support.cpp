// Broker contexts, parameter bookkeeping and checks shared by the operations.
#include <algorithm>
#include <cctype>

#include <cmpi/cmpimacs.h>

#include "cim_fault.h"
#include "hostsim_broker.h"
#include "operation_support.h"
#include "protocol_error.h"
#include "xml_tree.h"

namespace hostsim::server {

namespace {

// The CIM status codes of DSP0200; a CMPI-only code is reported as a general failure.
constexpr CMPIrc kLastCimCode = static_cast<CMPIrc>(28);

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

CallContext::CallContext(const std::string &nameSpace, const std::string &principal)
    : context_(new_context()) {
    CMAddContextEntry(context_, CMPIInitNameSpace, nameSpace.c_str(), CMPI_chars);
    if (!principal.empty()) {
        CMAddContextEntry(context_, CMPIPrincipal, principal.c_str(), CMPI_chars);
    }
}

CallContext::~CallContext() {
    CMRelease(context_);
}

NamedParameters::NamedParameters(const std::vector<const xmlNode *> &elements) {
    for (const xmlNode *element : elements) {
        std::optional<std::string> name = attribute(element, "NAME");
        if (!name || name->empty()) {
            throw not_valid(name_of(element) + " without its NAME attribute");
        }
        if (!given_.emplace(lower(*name), element).second) {
            throw invalid_parameter("parameter " + *name + " given twice");
        }
    }
}

const xmlNode *NamedParameters::take(const char *name) {
    auto found = given_.find(lower(name));
    if (found == given_.end()) {
        return nullptr;
    }
    const xmlNode *element = found->second;
    given_.erase(found);
    return element;
}

void NamedParameters::check_all_taken() const {
    if (!given_.empty()) {
        std::string name = attribute(given_.begin()->second, "NAME").value_or("");
        throw invalid_parameter("unknown parameter " + name);
    }
}

void check_status(const CMPIStatus &status, const std::string &what) {
    if (status.rc == CMPI_RC_OK) {
        return;
    }
    const char *text = status.msg ? CMGetCharsPtr(status.msg, nullptr) : nullptr;
    std::string message = text && *text ? text : what;
    CMPIrc code = status.rc > 0 && status.rc <= kLastCimCode ? status.rc : CMPI_RC_ERR_FAILED;
    throw CimFault(code, message);
}

bool routed(const std::string &nameSpace, const std::string &className) {
    return find_provider(nameSpace, className) != nullptr;
}

void check_namespace(const ClassRepository &classes, const std::string &nameSpace,
                     const std::string &className) {
    if (routed(nameSpace, className)) {
        return;
    }
    for (const std::string &declared : classes.class_names()) {
        if (routed(nameSpace, declared)) {
            return;
        }
    }
    throw CimFault(CMPI_RC_ERR_INVALID_NAMESPACE, "namespace " + nameSpace + " is not served");
}

void write_error(XmlWriter &out, CMPIrc code, const std::string &description) {
    out.start("ERROR").attribute("CODE", std::to_string(code));
    out.attribute("DESCRIPTION", description).end();
}

std::string call_name(const xmlNode *call) {
    std::optional<std::string> name = attribute(call, "NAME");
    if (!name || name->empty()) {
        throw not_valid(name_of(call) + " without its NAME attribute");
    }
    return *name;
}

} // namespace hostsim::server
