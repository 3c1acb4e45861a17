// create_job_instance: the provider's way to register a job. The job lives on disk, so the
// CIM_ConcreteJob provider serves it from whatever process the broker runs it in.
// Nonzero results: 1 bad arguments or descriptor, 2 job directory unusable, 3 job not stored
// (no space, no permission, no job number left), 4 out of memory.
#include <cstring>

#include "export.h"
#include "job_store.h"

CONCRETEJOB_EXPORT int create_job_instance(char *instanceId, int instanceIdSize,
                                           JobDescriptor *descriptor) {
    try {
        concretejob::JobRecord record;
        // The shortest InstanceID, "<name>-1", must fit before anything is touched.
        if (instanceId == nullptr || instanceIdSize < 1 ||
            !concretejob::record_from_descriptor(descriptor, &record) ||
            record.name.size() + 2 > static_cast<size_t>(instanceIdSize) - 1) {
            return 1;
        }
        std::optional<concretejob::JobStore> store = concretejob::JobStore::open(true);
        if (!store) {
            return 2;
        }
        record.changedMicros = concretejob::now_micros();
        std::string id;
        if (!store->create(record, static_cast<size_t>(instanceIdSize) - 1, &id)) {
            return 3;
        }
        std::memcpy(instanceId, id.c_str(), id.size() + 1);
        return 0;
    } catch (...) {
        return 4;
    }
}
