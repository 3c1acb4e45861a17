// The journal: every request a simulated provider receives, one JSON line each, in the file
// named by HOSTSIM_JOURNAL, so tests and people see exactly what was sent.
#pragma once

#include <string>
#include <vector>

#include <cmpi/cmpift.h>

#include "sim_json.h"

namespace hostsim::sim {

constexpr const char *kJournalVariable = "HOSTSIM_JOURNAL";

// One request as the journal records it:
// {"namespace", "class", "operation" (method name, or "EnumerateInstances",
//  "EnumerateInstanceNames", "GetInstance", "DeleteInstance", ...),
//  "keys": [[name, type, value], ...], "args": [[name, type, value], ...]}.
Json request_record(const std::string &operation, const CMPIObjectPath *path, const CMPIArgs *args);
// Appends `record` as one line with a single write on an O_APPEND descriptor, so lines of
// concurrent writers never interleave. False when the file cannot be written.
bool append_journal_line(const std::string &path, const Json &record);
// Records a request in the journal named by HOSTSIM_JOURNAL; nothing when the variable is
// unset or empty. Never throws.
void journal_request(const std::string &operation, const CMPIObjectPath *path,
                     const CMPIArgs *args);
// Records, after the request itself, that a service refused `method` on `path` without doing
// any work: a request record of the operation "Refused" without arguments, with "method",
// "answer" and "reason" added, so that tests and people see why. Never throws.
void journal_refusal(const std::string &method, const CMPIObjectPath *path,
                     const std::string &answer, const std::string &reason);
// Reads a journal back, one record per line; throws SimError ("file:line: ...") on a bad line.
// A missing file reads as no records.
std::vector<Json> read_journal(const std::string &path);

} // namespace hostsim::sim
