// A request refused before any CIM operation runs (DSP0200): an HTTP status with the CIMError
// header that says why ("request-not-valid", "unsupported-operation", ...).
#pragma once

#include <stdexcept>
#include <string>

namespace hostsim::server {

class ProtocolError : public std::runtime_error {
  public:
    ProtocolError(unsigned status, const std::string &cimError, const std::string &what)
        : std::runtime_error(what), status_(status), cimError_(cimError) {}
    unsigned status() const { return status_; }
    const std::string &cim_error() const { return cimError_; }

  private:
    unsigned status_;
    std::string cimError_;
};

inline ProtocolError not_valid(const std::string &what) {
    return ProtocolError(400, "request-not-valid", what);
}

} // namespace hostsim::server
