// What the job library keeps about one job: where its state comes from (the descriptor) and the
// last state and status text read from there. Stored as one small text file per job.
#pragma once

#include <cstdint>
#include <string>

#include <zelk/job_library.h>

namespace concretejob {

// A job that nobody has reported on yet: its creator starts the work as it creates the job.
constexpr uint32_t kInitialJobState = 4; // Running

// Job names become part of InstanceIDs and file names: letters, digits and "_" only.
constexpr size_t kMaxJobNameLength = 64;
// Job numbers stay within what the status functions read back with strtol into an int.
constexpr long long kMaxJobNumber = 2147483647;

struct JobRecord {
    std::string name;
    std::string library;
    std::string statusFunction;
    std::string cleanupFunction;
    uint32_t state = kInitialJobState;
    std::string status;
    uint64_t changedMicros = 0; // time of the last state change, microseconds since the epoch
};

// Copies a descriptor into a record; false when a field is unterminated, empty or holds
// control characters, or the job name is not a plain name.
bool record_from_descriptor(const JobDescriptor *descriptor, JobRecord *record);

// A job number in canonical decimal (no sign, no leading zeros, 1..kMaxJobNumber).
bool parse_job_number(const std::string &text, long long *number);
// "<name>-<number>" in canonical form (no sign, no leading zeros, 1..kMaxJobNumber).
bool parse_instance_id(const std::string &instanceId, std::string *name, long long *number);
std::string make_instance_id(const std::string &name, long long number);

std::string format_record(const JobRecord &record);
// False for anything that is not a complete record.
bool parse_record(const std::string &text, JobRecord *record);

uint64_t now_micros();

} // namespace concretejob
