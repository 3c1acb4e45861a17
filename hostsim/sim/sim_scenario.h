// Scenarios: the JSON file, named by HOSTSIM_SCENARIO, that tells the simulated providers
// which adapters exist, what each call returns and which faults to inject.
#pragma once

#include <memory>
#include <string>

#include "sim_json.h"

namespace hostsim::sim {

constexpr const char *kScenarioVariable = "HOSTSIM_SCENARIO";

// Parses scenario text; `origin` names it in messages. Throws SimError "origin:line:column:
// what" for malformed JSON and "origin: ..." when the top level is not an object.
Json parse_scenario(const std::string &text, const std::string &origin);
// Reads and parses a scenario file; throws SimError naming the file (and line) on failure.
Json load_scenario_file(const std::string &path);

// The scenario named by HOSTSIM_SCENARIO: read once, and again whenever the file changes
// (modification time, size or inode) or the variable names another file. An empty object when
// the variable is unset or empty. Throws SimError when the file is missing or malformed. A
// re-read restarts every sequence.
std::shared_ptr<const Json> current_scenario();
// One top-level section of the current scenario ("brocade", ...); null when absent.
Json scenario_section(const std::string &name);

// Per-process sequences, for values consumed one per call: returns steps[n], where n counts the
// earlier calls with this key since the scenario was read or the key reset, and the last
// element once n passes the end. A value that is not an array is returned as it is on every
// call; an empty array gives null.
Json next_in_sequence(const std::string &key, const Json &steps);
// Restarts the sequence of `key` at its first element.
void reset_sequence(const std::string &key);
// Restarts every sequence whose key begins with `prefix`.
void reset_sequences_under(const std::string &prefix);

} // namespace hostsim::sim
