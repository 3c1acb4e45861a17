/*
 * The contract between an update provider and the job library /usr/lib/cim/libconcretejob.so:
 * the provider describes where the job's state comes from, the library creates the
 * CIM_ConcreteJob and later calls back into the provider's library by the names given here.
 */
#ifndef ZELK_JOB_LIBRARY_H
#define ZELK_JOB_LIBRARY_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define JOB_DESCRIPTOR_FIELD_SIZE 256

/* Four NUL-terminated, zero-filled fields; 1024 bytes in all. */
typedef struct JobDescriptor {
    char job_name[JOB_DESCRIPTOR_FIELD_SIZE];         /* prefix of the InstanceID, e.g. "ZELK" */
    char provider_library[JOB_DESCRIPTOR_FIELD_SIZE]; /* library holding the two functions */
    char status_function[JOB_DESCRIPTOR_FIELD_SIZE];  /* JobStatusFunction */
    char cleanup_function[JOB_DESCRIPTOR_FIELD_SIZE]; /* JobCleanupFunction */
} JobDescriptor;

/* Creates a job; writes "<job_name>-<n>" (NUL-terminated, at most instanceIdSize bytes) into
 * instanceId and returns 0, or returns nonzero and leaves no job behind. */
typedef int (*CreateJobInstanceFunction)(char *instanceId, int instanceIdSize,
                                         JobDescriptor *descriptor);

/* Reads a job's state (CIM_ConcreteJob JobState) and status text; always returns 0 and leaves
 * both outputs untouched when there is nothing to read. */
typedef int (*JobStatusFunction)(const char *instanceId, uint32_t *jobState, char *statusText,
                                 int statusTextSize);

/* Called when the job goes away; 1 when the job's status was removed. */
typedef int (*JobCleanupFunction)(const char *instanceId);

#ifdef __cplusplus
}
#endif

#endif
