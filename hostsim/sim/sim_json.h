// The JSON type of scenarios and journals, and the error every hostsimkit function throws.
#pragma once

#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace hostsim::sim {

// Object members keep the order of the file, so instances list properties as written.
using Json = nlohmann::ordered_json;

// A scenario or value that cannot be used; the message says where and why.
class SimError : public std::runtime_error {
  public:
    explicit SimError(const std::string &what) : std::runtime_error(what) {}
};

} // namespace hostsim::sim
