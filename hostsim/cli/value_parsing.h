// Command-line operands: "namespace:Class[.Key=value,...]" targets and "name=value" arguments,
// made into JSON values typed for hostsimkit's CimValue.
#pragma once

#include <string>
#include <vector>

#include <cmpi/cmpidt.h>

#include "sim_json.h"
#include "sim_values.h"

namespace hostsim::cli {

using sim::Json;

// A target path; throws a usage error naming the text when malformed.
sim::PathText parse_target(const std::string &text);

// One "name=value" operand; "name:type=value" gives the type explicitly (e.g. "BlockSize:uint16=
// 2048"). `type` is CMPI_null when no type was given.
struct Assignment {
    std::string name;
    std::string text;
    CMPIType type = CMPI_null;
};
Assignment parse_assignment(const std::string &operand);

// The text as a typed value: {"type": "uint16[]", "value": [4, 5]}. Arrays are comma lists;
// numbers are decimal; booleans true or false. Throws a usage error for text that is not of the
// type.
Json typed_value(const std::string &name, const std::string &text, CMPIType type);

} // namespace hostsim::cli
