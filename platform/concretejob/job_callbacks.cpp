#include "job_callbacks.h"

#include <cstring>
#include <dlfcn.h>

namespace concretejob {

namespace {

constexpr uint32_t kMaxJobState = 65535;

// The owning library, loaded for one call. Usually it is already in the process (the provider
// that created the job), and this only takes another reference on it.
class Library {
  public:
    explicit Library(const std::string &path)
        : handle_(dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL)) {}
    ~Library() {
        if (handle_ != nullptr) {
            dlclose(handle_);
        }
    }
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    template <typename Function> Function find(const std::string &name) const {
        return handle_ == nullptr ? nullptr
                                  : reinterpret_cast<Function>(dlsym(handle_, name.c_str()));
    }

  private:
    void *handle_;
};

} // namespace

JobObservation observe_job(const std::string &instanceId, const JobRecord &record) {
    JobObservation last{record.state, record.status};
    Library library(record.library);
    auto status = library.find<JobStatusFunction>(record.statusFunction);
    if (status == nullptr) {
        return last;
    }
    // The outputs start as the last known values: what the function leaves alone stays so.
    uint32_t state = record.state;
    char text[kStatusTextSize] = {};
    std::strncpy(text, record.status.c_str(), sizeof text - 1);
    status(instanceId.c_str(), &state, text, static_cast<int>(sizeof text));
    text[sizeof text - 1] = '\0';
    return JobObservation{state <= kMaxJobState ? state : record.state, text};
}

bool clean_up_job(const std::string &instanceId, const JobRecord &record) {
    Library library(record.library);
    auto cleanup = library.find<JobCleanupFunction>(record.cleanupFunction);
    if (cleanup == nullptr) {
        return false;
    }
    cleanup(instanceId.c_str());
    return true;
}

} // namespace concretejob
