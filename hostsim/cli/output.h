// Plain output, easy to read and to grep: one "Name=value" line per property or argument, a
// blank line between instances, one object path per line.
#pragma once

#include <ostream>
#include <string>

#include <cmpi/cmpift.h>

namespace hostsim::cli {

// A value on one line: strings bare (line breaks as \n), arrays as comma lists, references as
// path text, a null value as nothing.
std::string value_text(const CMPIData &data);

void print_instance(std::ostream &out, const CMPIInstance *instance);
void print_path(std::ostream &out, const CMPIObjectPath *path);
// "ReturnValue=n", then each output argument.
void print_method_result(std::ostream &out, const CMPIData &returned, const CMPIArgs *outArgs);

// The standard's name of a return code ("CIM_ERR_NOT_FOUND").
std::string rc_name(CMPIrc rc);

} // namespace hostsim::cli
