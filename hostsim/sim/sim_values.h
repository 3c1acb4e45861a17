// CMPI values, object paths and argument lists as JSON and text, read and built through the
// CMPI function tables only, so that a simulated provider works under any broker.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <cmpi/cmpift.h>

#include "sim_json.h"

namespace hostsim::sim {

// CMPI type names as the journal writes them: "string", "uint16", "uint16[]", "ref",
// "boolean", "dateTime", "instance"; chars are "string". "?" for an unknown code.
std::string type_name(CMPIType type);
// The type of such a name ("chars" too); false for an unknown name.
bool type_from_name(const std::string &name, CMPIType *type);

// An object path as text: namespace:Class.Key="value",Key2="value2". Values are quoted, with
// '"' and '\' escaped by '\'; keys keep their order.
struct PathText {
    std::string nameSpace;
    std::string className;
    std::vector<std::pair<std::string, std::string>> keys;
};
std::string format_path_text(const PathText &path);
// Reads the form above; key values may also be written without quotes (up to the next ',').
// False with `error` set for a path without namespace or class, a bad name, a key without
// '=' or an unterminated quote.
bool parse_path_text(const std::string &text, PathText *path, std::string *error);

// Reading objects (null objects read as empty).
std::string chars_of(const CMPIString *text);
std::string path_text(const CMPIObjectPath *path);
// A value as JSON: null for a null value, numbers and booleans as such, strings as strings,
// arrays as arrays, references as path text, date-times in their string format, instances
// as {"class": ..., "properties": [[name, type, value], ...]}.
Json value_to_json(const CMPIData &data);
// A JSON value as plain text: strings bare, everything else as JSON.
std::string json_text(const Json &value);
// The argument `name` of `args` as such text; empty when absent or null.
std::string argument_text(const CMPIArgs *args, const char *name);
// [[name, type, value], ...] in order.
Json keys_to_json(const CMPIObjectPath *path);
Json args_to_json(const CMPIArgs *args);
Json properties_to_json(const CMPIInstance *instance);

// A value built from scenario JSON, ready for CMSetProperty, CMAddKey or CMAddArg. Plain JSON
// takes its natural type: string -> string, true/false -> boolean, integer -> uint32 (sint32
// when negative), real -> real64, array -> array of its first element's type (string[] when
// empty). Typed form: {"type": "uint16[]", "value": [4, 5]}, {"type": "ref", "value":
// "ns:Class.Key=\"v\""}, {"type": "uint8", "value": null} (a null value). Arrays and
// references are made through `broker`, in the current call. Throws SimError for a value that
// does not fit its type.
class CimValue {
  public:
    static CimValue from_json(const CMPIBroker *broker, const Json &json);
    // Strings are handed over as chars.
    CMPIType type() const { return type_ == CMPI_string ? CMPI_chars : type_; }
    // Null for a null value.
    const CMPIValue *value() const;

  private:
    CMPIType type_ = CMPI_string;
    CMPIValue value_{};
    std::string chars_;
    bool null_ = false;
};

// An object path made through the broker from path text; throws SimError when malformed.
CMPIObjectPath *path_from_text(const CMPIBroker *broker, const std::string &text);

} // namespace hostsim::sim
