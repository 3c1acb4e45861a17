// Scalar CIM values between their CIM-XML text (DSP0201 VALUE content) and CMPI.
#pragma once

#include <string>

#include <cmpi/cmpift.h>

namespace hostsim::server {

// A scalar of base type `type` read from its text: integers in decimal or 0x hex, booleans
// TRUE/FALSE in any case, reals, char16 as one character, date-times in the CIM format
// (yyyymmddhhmmss.mmmmmmsutc or ddddddddhhmmss.mmmmmm:000), strings verbatim. Strings and
// date-times are made through the broker in the current call scope. Throws
// CimFault(CIM_ERR_INVALID_PARAMETER) naming `what` for text that is not of the type.
CMPIValue value_from_text(CMPIType type, const std::string &text, const std::string &what);

// The CIM-XML text of a scalar (not a reference, instance or array); empty for a value of a
// type that has no text.
std::string value_text(CMPIType type, const CMPIValue &value);

// A CIM date-time as microseconds since the epoch (UTC) or, for an interval, its length.
bool parse_datetime(const std::string &text, CMPIUint64 *micros, bool *interval);

} // namespace hostsim::server
