// Calls into the library that owns a job's state: its status function whenever a client looks at
// the job, its cleanup function when the job goes away.
#pragma once

#include <cstdint>
#include <string>

#include "job_record.h"

namespace concretejob {

// Longest status text taken from a status function.
constexpr size_t kStatusTextSize = 1024;

struct JobObservation {
    uint32_t state;
    std::string status;
};

// The job's state and status text as its status function reports them; the record's last known
// values when the function reports nothing, reports a state beyond uint16 or cannot be reached.
JobObservation observe_job(const std::string &instanceId, const JobRecord &record);

// False when the cleanup function could not be reached; its own answer is not ours to judge.
bool clean_up_job(const std::string &instanceId, const JobRecord &record);

} // namespace concretejob
