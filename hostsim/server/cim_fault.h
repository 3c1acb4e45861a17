// A CIM error answered to the client as an ERROR element (DSP0201) with this code and text.
#pragma once

#include <stdexcept>
#include <string>

#include <cmpi/cmpidt.h>

namespace hostsim::server {

class CimFault : public std::runtime_error {
  public:
    CimFault(CMPIrc code, const std::string &what) : std::runtime_error(what), code_(code) {}
    CMPIrc code() const { return code_; }

  private:
    CMPIrc code_;
};

inline CimFault invalid_parameter(const std::string &what) {
    return CimFault(CMPI_RC_ERR_INVALID_PARAMETER, what);
}

} // namespace hostsim::server
