// The CIM types of the keys and method arguments of the classes hostsim serves, so that
// `name=value` on the command line becomes a value of the right type.
#pragma once

#include <string>

#include <cmpi/cmpidt.h>

namespace hostsim::cli {

// The type of key `name` of `className`; string when the table does not know it.
CMPIType key_type(const std::string &className, const std::string &name);
// The type of input argument `name` of `className`.`method`; string when unknown.
CMPIType argument_type(const std::string &className, const std::string &method,
                       const std::string &name);

} // namespace hostsim::cli
