// The CIM_ConcreteJob provider of "zelk/cimv2": serves the jobs that create_job_instance stored,
// reading each job's state from its owner whenever a client looks, and lets clients delete them.
#include <atomic>
#include <string>

#include <cmpi/cmpimacs.h>

#include "export.h"
#include "job_callbacks.h"
#include "job_store.h"

namespace {

using concretejob::JobRecord;
using concretejob::JobStore;

constexpr const char *kNameSpace = "zelk/cimv2";
constexpr const char *kClassName = "CIM_ConcreteJob";
constexpr const char *kKey = "InstanceID";

std::atomic<const CMPIBroker *> g_broker{nullptr};

CMPIStatus status_of(CMPIrc rc, const char *message = nullptr) {
    CMPIStatus status{rc, nullptr};
    const CMPIBroker *broker = g_broker.load();
    if (message != nullptr && broker != nullptr) {
        status.msg = CMNewString(broker, message, nullptr);
    }
    return status;
}

// No C++ exception leaves the provider.
template <typename Body> CMPIStatus guarded(Body &&body) noexcept {
    try {
        return body();
    } catch (...) {
        return CMPIStatus{CMPI_RC_ERR_FAILED, nullptr};
    }
}

// The InstanceID key of a request path; false when it has none.
bool instance_id_of(const CMPIObjectPath *path, std::string *id) {
    if (path == nullptr) {
        return false;
    }
    CMPIStatus rc{CMPI_RC_OK, nullptr};
    CMPIData key = CMGetKey(path, kKey, &rc);
    if (rc.rc != CMPI_RC_OK || CMIsNullValue(key)) {
        return false;
    }
    const char *text = nullptr;
    if (key.type == CMPI_string && key.value.string != nullptr) {
        text = CMGetCharsPtr(key.value.string, nullptr);
    } else if (key.type == CMPI_chars) {
        text = key.value.chars;
    }
    if (text == nullptr) {
        return false;
    }
    *id = text;
    return true;
}

CMPIObjectPath *job_path(const CMPIBroker *broker, const std::string &id) {
    CMPIObjectPath *path = CMNewObjectPath(broker, kNameSpace, kClassName, nullptr);
    if (path != nullptr) {
        CMAddKey(path, kKey, id.c_str(), CMPI_chars);
    }
    return path;
}

// Asks the job's owner for its state and keeps what it says; TimeOfLastStateChange moves only
// when the state does.
JobRecord refreshed(JobStore &store, const std::string &id, JobRecord record) {
    concretejob::JobObservation seen = concretejob::observe_job(id, record);
    if (seen.state == record.state && seen.status == record.status) {
        return record;
    }
    const uint64_t now = concretejob::now_micros();
    auto apply = [&](JobRecord &job) {
        if (job.state == seen.state && job.status == seen.status) {
            return false;
        }
        if (job.state != seen.state) {
            job.changedMicros = now;
        }
        job.state = seen.state;
        job.status = seen.status;
        return true;
    };
    apply(record);
    // When the store cannot keep it, the client still sees what the owner said.
    store.update(id, apply);
    return record;
}

CMPIInstance *job_instance(const CMPIBroker *broker, const std::string &id,
                           const JobRecord &record) {
    CMPIObjectPath *path = job_path(broker, id);
    CMPIInstance *instance = path ? CMNewInstance(broker, path, nullptr) : nullptr;
    if (instance == nullptr) {
        return nullptr;
    }
    const CMPIUint16 state = static_cast<CMPIUint16>(record.state);
    CMPIDateTime *changed = CMNewDateTimeFromBinary(broker, record.changedMicros, 0, nullptr);
    CMSetProperty(instance, kKey, id.c_str(), CMPI_chars);
    CMSetProperty(instance, "Name", record.name.c_str(), CMPI_chars);
    CMSetProperty(instance, "JobState", &state, CMPI_uint16);
    CMSetProperty(instance, "JobStatus", record.status.c_str(), CMPI_chars);
    if (changed != nullptr) {
        CMSetProperty(instance, "TimeOfLastStateChange", &changed, CMPI_dateTime);
    }
    return instance;
}

CMPIStatus JobCleanup(CMPIInstanceMI *, const CMPIContext *, CMPIBoolean) {
    // Nothing is kept in memory: the library may go whenever the broker likes.
    return status_of(CMPI_RC_OK);
}

CMPIStatus JobEnumInstanceNames(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *result,
                                const CMPIObjectPath *) {
    return guarded([&] {
        const CMPIBroker *broker = g_broker.load();
        if (std::optional<JobStore> store = JobStore::open(false)) {
            for (const std::string &id : store->list()) {
                if (CMPIObjectPath *path = job_path(broker, id)) {
                    CMReturnObjectPath(result, path);
                }
            }
        }
        CMReturnDone(result);
        return status_of(CMPI_RC_OK);
    });
}

CMPIStatus JobEnumInstances(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *result,
                            const CMPIObjectPath *, const char **) {
    return guarded([&] {
        const CMPIBroker *broker = g_broker.load();
        if (std::optional<JobStore> store = JobStore::open(false)) {
            for (const std::string &id : store->list()) {
                JobRecord record;
                // A job deleted while the listing runs is simply left out.
                if (!store->read(id, &record)) {
                    continue;
                }
                if (CMPIInstance *instance =
                        job_instance(broker, id, refreshed(*store, id, std::move(record)))) {
                    CMReturnInstance(result, instance);
                }
            }
        }
        CMReturnDone(result);
        return status_of(CMPI_RC_OK);
    });
}

CMPIStatus JobGetInstance(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *result,
                          const CMPIObjectPath *path, const char **) {
    return guarded([&] {
        std::string id;
        if (!instance_id_of(path, &id)) {
            return status_of(CMPI_RC_ERR_INVALID_PARAMETER, "InstanceID key missing");
        }
        std::optional<JobStore> store = JobStore::open(false);
        JobRecord record;
        if (!store || !store->read(id, &record)) {
            return status_of(CMPI_RC_ERR_NOT_FOUND, "No such job");
        }
        CMPIInstance *instance =
            job_instance(g_broker.load(), id, refreshed(*store, id, std::move(record)));
        if (instance == nullptr) {
            return status_of(CMPI_RC_ERR_FAILED, "Cannot build the job instance");
        }
        CMReturnInstance(result, instance);
        CMReturnDone(result);
        return status_of(CMPI_RC_OK);
    });
}

CMPIStatus JobDeleteInstance(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *result,
                             const CMPIObjectPath *path) {
    return guarded([&] {
        std::string id;
        if (!instance_id_of(path, &id)) {
            return status_of(CMPI_RC_ERR_INVALID_PARAMETER, "InstanceID key missing");
        }
        std::optional<JobStore> store = JobStore::open(false);
        // The job goes even when its owner cannot be reached any more: it could never be
        // deleted otherwise.
        auto farewell = [&](const JobRecord &record) { concretejob::clean_up_job(id, record); };
        if (!store || !store->remove(id, farewell)) {
            return status_of(CMPI_RC_ERR_NOT_FOUND, "No such job");
        }
        CMReturnDone(result);
        return status_of(CMPI_RC_OK);
    });
}

CMPIStatus JobCreateInstance(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
                             const CMPIObjectPath *, const CMPIInstance *) {
    return status_of(CMPI_RC_ERR_NOT_SUPPORTED);
}

CMPIStatus JobModifyInstance(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
                             const CMPIObjectPath *, const CMPIInstance *, const char **) {
    return status_of(CMPI_RC_ERR_NOT_SUPPORTED);
}

CMPIStatus JobExecQuery(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
                        const CMPIObjectPath *, const char *, const char *) {
    return status_of(CMPI_RC_ERR_NOT_SUPPORTED);
}

CMPIInstanceMIFT jobInstanceFT = {
    CMPICurrentVersion, CMPICurrentVersion,   "instanceZELK_ConcreteJobProvider",
    JobCleanup,         JobEnumInstanceNames, JobEnumInstances,
    JobGetInstance,     JobCreateInstance,    JobModifyInstance,
    JobDeleteInstance,  JobExecQuery,
};

CMPIInstanceMI jobInstanceMI = {nullptr, &jobInstanceFT};

} // namespace

CONCRETEJOB_EXPORT CMPIInstanceMI *
ZELK_ConcreteJobProvider_Create_InstanceMI(const CMPIBroker *broker, const CMPIContext *,
                                           CMPIStatus *rc) {
    g_broker.store(broker);
    if (rc != nullptr) {
        rc->rc = CMPI_RC_OK;
        rc->msg = nullptr;
    }
    return &jobInstanceMI;
}
