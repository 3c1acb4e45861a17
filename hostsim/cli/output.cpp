// Formatting of instances, paths and method results.
#include <cmpi/cmpimacs.h>

#include "output.h"
#include "sim_values.h"

namespace hostsim::cli {

namespace {

std::string one_line(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string json_value_text(const sim::Json &value) {
    if (value.is_null()) {
        return "";
    }
    if (value.is_array()) {
        std::string text;
        for (size_t i = 0; i < value.size(); ++i) {
            text += (i ? "," : "") + json_value_text(value[i]);
        }
        return text;
    }
    return one_line(sim::json_text(value));
}

void print_named(std::ostream &out, const std::string &name, const CMPIData &data) {
    out << name << "=" << value_text(data) << "\n";
}

} // namespace

std::string value_text(const CMPIData &data) {
    return json_value_text(sim::value_to_json(data));
}

void print_instance(std::ostream &out, const CMPIInstance *instance) {
    CMPICount count = instance ? CMGetPropertyCount(instance, nullptr) : 0;
    for (CMPICount i = 0; i < count; ++i) {
        CMPIString *name = nullptr;
        CMPIData data = CMGetPropertyAt(instance, i, &name, nullptr);
        print_named(out, sim::chars_of(name), data);
    }
}

void print_path(std::ostream &out, const CMPIObjectPath *path) {
    out << one_line(sim::path_text(path)) << "\n";
}

void print_method_result(std::ostream &out, const CMPIData &returned, const CMPIArgs *outArgs) {
    print_named(out, "ReturnValue", returned);
    CMPICount count = outArgs ? CMGetArgCount(outArgs, nullptr) : 0;
    for (CMPICount i = 0; i < count; ++i) {
        CMPIString *name = nullptr;
        CMPIData data = CMGetArgAt(outArgs, i, &name, nullptr);
        print_named(out, sim::chars_of(name), data);
    }
}

std::string rc_name(CMPIrc rc) {
    static const char *const kNames[] = {"CIM_ERR_OK",
                                         "CIM_ERR_FAILED",
                                         "CIM_ERR_ACCESS_DENIED",
                                         "CIM_ERR_INVALID_NAMESPACE",
                                         "CIM_ERR_INVALID_PARAMETER",
                                         "CIM_ERR_INVALID_CLASS",
                                         "CIM_ERR_NOT_FOUND",
                                         "CIM_ERR_NOT_SUPPORTED",
                                         "CIM_ERR_CLASS_HAS_CHILDREN",
                                         "CIM_ERR_CLASS_HAS_INSTANCES",
                                         "CIM_ERR_INVALID_SUPERCLASS",
                                         "CIM_ERR_ALREADY_EXISTS",
                                         "CIM_ERR_NO_SUCH_PROPERTY",
                                         "CIM_ERR_TYPE_MISMATCH",
                                         "CIM_ERR_QUERY_LANGUAGE_NOT_SUPPORTED",
                                         "CIM_ERR_INVALID_QUERY",
                                         "CIM_ERR_METHOD_NOT_AVAILABLE",
                                         "CIM_ERR_METHOD_NOT_FOUND"};
    size_t index = static_cast<size_t>(rc);
    return index < sizeof kNames / sizeof kNames[0] ? kNames[index]
                                                    : "CMPI_RC_" + std::to_string(rc);
}

} // namespace hostsim::cli
