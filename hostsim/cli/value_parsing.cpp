// Parsing of targets, assignments and typed values from the command line.
#include <cerrno>
#include <cstdlib>

#include "cli_errors.h"
#include "value_parsing.h"

namespace hostsim::cli {

namespace {

std::vector<std::string> comma_list(const std::string &text) {
    std::vector<std::string> items;
    if (text.empty()) {
        return items;
    }
    size_t start = 0;
    for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1) {
        items.push_back(text.substr(start, comma - start));
    }
    items.push_back(text.substr(start));
    return items;
}

Json integer_of(const std::string &name, const std::string &text, bool isSigned) {
    const char *begin = text.c_str();
    char *end = nullptr;
    errno = 0;
    bool negative = !text.empty() && text[0] == '-';
    if (text.empty() || (negative && !isSigned) ||
        (!negative && !(text[0] >= '0' && text[0] <= '9'))) {
        throw usage_error(name + ": '" + text + "' is not " +
                          (isSigned ? "an integer" : "an unsigned integer"));
    }
    Json value;
    if (negative) {
        value = std::strtoll(begin, &end, 10);
    } else {
        value = std::strtoull(begin, &end, 10);
    }
    if (errno == ERANGE || *end != '\0') {
        throw usage_error(name + ": '" + text + "' is not a number in range");
    }
    return value;
}

Json scalar_of(const std::string &name, const std::string &text, CMPIType type) {
    switch (type) {
    case CMPI_string:
        return text;
    case CMPI_ref: {
        sim::PathText path;
        std::string error;
        if (!sim::parse_path_text(text, &path, &error)) {
            throw usage_error(name + ": " + error);
        }
        return text;
    }
    case CMPI_boolean:
        if (text == "true" || text == "false") {
            return text == "true";
        }
        throw usage_error(name + ": '" + text + "' is not true or false");
    case CMPI_real32:
    case CMPI_real64: {
        char *end = nullptr;
        double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0') {
            throw usage_error(name + ": '" + text + "' is not a real number");
        }
        return value;
    }
    case CMPI_uint8:
    case CMPI_uint16:
    case CMPI_uint32:
    case CMPI_uint64:
    case CMPI_char16:
        return integer_of(name, text, false);
    case CMPI_sint8:
    case CMPI_sint16:
    case CMPI_sint32:
    case CMPI_sint64:
        return integer_of(name, text, true);
    default:
        throw usage_error(name + ": values of type " + sim::type_name(type) +
                          " cannot be given on the command line");
    }
}

} // namespace

sim::PathText parse_target(const std::string &text) {
    sim::PathText path;
    std::string error;
    if (!sim::parse_path_text(text, &path, &error)) {
        throw usage_error("bad path: " + error);
    }
    return path;
}

Assignment parse_assignment(const std::string &operand) {
    size_t eq = operand.find('=');
    if (eq == std::string::npos || eq == 0) {
        throw usage_error("expected name=value, found '" + operand + "'");
    }
    Assignment assignment;
    assignment.name = operand.substr(0, eq);
    assignment.text = operand.substr(eq + 1);
    size_t colon = assignment.name.find(':');
    if (colon != std::string::npos) {
        std::string typeName = assignment.name.substr(colon + 1);
        assignment.name.resize(colon);
        if (!sim::type_from_name(typeName, &assignment.type)) {
            throw usage_error("unknown type '" + typeName + "' in '" + operand + "'");
        }
    }
    if (assignment.name.empty()) {
        throw usage_error("expected name=value, found '" + operand + "'");
    }
    return assignment;
}

Json typed_value(const std::string &name, const std::string &text, CMPIType type) {
    Json typed = Json::object();
    typed["type"] = sim::type_name(type);
    if ((type & CMPI_ARRAY) == 0) {
        typed["value"] = scalar_of(name, text, type);
        return typed;
    }
    CMPIType element = static_cast<CMPIType>(type & ~CMPI_ARRAY);
    Json items = Json::array();
    for (const std::string &item : comma_list(text)) {
        items.push_back(scalar_of(name, item, element));
    }
    typed["value"] = items;
    return typed;
}

} // namespace hostsim::cli
