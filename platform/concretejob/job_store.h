// The jobs on disk, shared by every process that loads the job library:
//   /var/tmp/concretejob/lock          flock'ed around every change
//   /var/tmp/concretejob/counter       the last job number handed out, in decimal
//   /var/tmp/concretejob/<id>.job      one record per job (see job_record.h)
// Files are replaced whole (temporary file, then rename), so readers need no lock and a failed
// write leaves the old file or none.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "job_record.h"
#include "unique_fd.h"

namespace concretejob {

constexpr const char *kJobDirectory = "/var/tmp/concretejob";

class JobStore {
  public:
    // The job directory, made first when `create` is set. Empty when it is missing, is not a
    // directory, belongs to another user or others may write in it.
    static std::optional<JobStore> open(bool create);

    // Stores a new job under the next job number; its InstanceID must fit in `idCapacity`
    // characters. Either the job and the advanced counter are both on disk, or neither.
    bool create(const JobRecord &record, size_t idCapacity, std::string *instanceId);

    bool read(const std::string &instanceId, JobRecord *record) const;

    // InstanceIDs of the stored jobs, by name and then by number.
    std::vector<std::string> list() const;

    // Under the lock: re-reads the job, lets `change` edit it and stores it when `change` says
    // so. False when the job is gone or the write failed.
    bool update(const std::string &instanceId, const std::function<bool(JobRecord &)> &change);

    // Under the lock: hands the job to `farewell`, then removes it. False when it was not there.
    bool remove(const std::string &instanceId,
                const std::function<void(const JobRecord &)> &farewell);

  private:
    explicit JobStore(UniqueFd directory) : dir_(std::move(directory)) {}

    UniqueFd lock() const;
    bool read_file(const std::string &name, size_t limit, std::string *content) const;
    bool write_file(const std::string &name, const std::string &content, bool replace) const;
    long long highest_number() const;

    UniqueFd dir_;
};

} // namespace concretejob
