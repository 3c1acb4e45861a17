// The method MI's invokeMethod: checks the class, dispatches on the method name, and for
// InstallFromURI admits one run, initialises it and hands it to a background worker.
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <strings.h>

#include <zelk/job_library.h>

#include "export.h"
#include "install_worker.h"
#include "zelk_pkg_installer_broker.h"

namespace {

constexpr const char *kVersionRecord = "zelk version is 5.01-7.200.\n";
constexpr const char *kCompleteRecord =
    "Complete QEL_VMWarePackageInstallationProviderInvokeMethod.\n";
constexpr CMPIUint16 kSynchronousOption = 32768;
constexpr CMPIUint16 kAsynchronousOption = 32769;
constexpr CMPIUint32 kJobStarted = 4096;
constexpr int kUpdateArgsTraceSize = 190;
constexpr char kUpdateArgsLabel[] = "UpdateArgs = ";
// The value's room in the trace line: the buffer less the label, the line end and the terminator.
constexpr int kUpdateArgsValueRoom = kUpdateArgsTraceSize - (sizeof kUpdateArgsLabel - 1) - 2;

CMPIStatus failure(CMPIrc rc, const char *message) {
    CMPIStatus status{rc, nullptr};
    if (QEL_VMWarePackageInstallationBroker != nullptr) {
        status.msg = CMNewString(QEL_VMWarePackageInstallationBroker, message, nullptr);
    }
    return status;
}

void return_uint32(const CMPIResult *result, CMPIUint32 value) {
    if (result != nullptr) {
        CMReturnData(result, &value, CMPI_uint32);
        CMReturnDone(result);
    }
}

CMPIStatus fail_with_data(const CMPIResult *result, CMPIrc rc, const char *message,
                          CMPIUint32 data) {
    return_uint32(result, data);
    return failure(rc, message);
}

bool is_service_class(const CMPIObjectPath *path) {
    if (path == nullptr) {
        return false;
    }
    CMPIString *className = CMGetClassName(path, nullptr);
    const char *chars = className ? CMGetCharsPtr(className, nullptr) : nullptr;
    return chars != nullptr && strcasecmp(chars, _ZELKClassName) == 0;
}

CMPIStatus invalid_method(const CMPIResult *result) {
    return_uint32(result, 1);
    trace(kCompleteRecord);
    return failure(CMPI_RC_ERR_METHOD_NOT_FOUND, "InValid Method Name");
}

CMPIStatus maintenance_done(const CMPIResult *result) {
    return_uint32(result, 0);
    trace(kCompleteRecord);
    return CMPIStatus{CMPI_RC_OK, nullptr};
}

const char *string_argument(const CMPIArgs *in, const char *name) {
    CMPIData data = CMGetArg(in, name, nullptr);
    if (data.type != CMPI_string || (data.state & (CMPI_nullValue | CMPI_notFound)) ||
        data.value.string == nullptr) {
        return nullptr;
    }
    return CMGetCharsPtr(data.value.string, nullptr);
}

// 32768 asks for a synchronous run, 32769 for an asynchronous one; asynchronous by default.
void read_install_options(const CMPIArgs *in) {
    CMPIData options = CMGetArg(in, "InstallOptions", nullptr);
    if (options.type == CMPI_uint16A && !(options.state & (CMPI_nullValue | CMPI_notFound)) &&
        options.value.array != nullptr) {
        CMPICount count = CMGetArrayCount(options.value.array, nullptr);
        for (CMPICount i = 0; i < count; ++i) {
            CMPIStatus rc{CMPI_RC_OK, nullptr};
            CMPIData element = CMGetArrayElementAt(options.value.array, i, &rc);
            if (rc.rc != CMPI_RC_OK) {
                continue;
            }
            if (element.value.uint16 == kSynchronousOption) {
                is_sync_install = 1;
            } else if (element.value.uint16 == kAsynchronousOption) {
                is_async_install = 1;
            }
        }
    }
    if (is_sync_install == 0) {
        is_async_install = 1;
    }
}

void read_update_args(const CMPIArgs *in) {
    const char *updateArgs = string_argument(in, "UpdateArgs");
    if (updateArgs == nullptr) {
        return; // absent: the backup choice of the previous call stands
    }
    // A long value is cut, never the line end: the next record starts a line of its own.
    char line[kUpdateArgsTraceSize];
    std::snprintf(line, sizeof line, "%s%.*s\n", kUpdateArgsLabel, kUpdateArgsValueRoom,
                  updateArgs);
    trace(line);
    if (std::strstr(updateArgs, "--backup") != nullptr) {
        trace("--backup is selected.\n");
        g_is_backup_update = 1;
    } else {
        trace("--backup is not selected.\n");
        g_is_backup_update = 0;
    }
}

bool create_job() {
    JobDescriptor descriptor;
    std::memset(&descriptor, 0, sizeof descriptor);
    std::snprintf(descriptor.job_name, sizeof descriptor.job_name, "%s", "ZELK");
    std::snprintf(descriptor.provider_library, sizeof descriptor.provider_library, "%s",
                  zelk::kProviderLibraryPath);
    std::snprintf(descriptor.status_function, sizeof descriptor.status_function, "%s",
                  "getZELKStatus");
    std::snprintf(descriptor.cleanup_function, sizeof descriptor.cleanup_function, "%s",
                  "ZELKStatusCleanup");

    void *library = dlopen(zelk::kJobLibraryPath, RTLD_LAZY);
    if (library == nullptr) {
        return false;
    }
    auto create =
        reinterpret_cast<CreateJobInstanceFunction>(dlsym(library, "create_job_instance"));
    bool created = create != nullptr && create(instanceID, zelk::kInstanceIdSize, &descriptor) == 0;
    dlclose(library);
    instanceID[zelk::kInstanceIdSize - 1] = '\0';
    return created;
}

CMPIStatus return_job(const CMPIResult *result, const CMPIObjectPath *path, CMPIArgs *out) {
    const CMPIBroker *broker = QEL_VMWarePackageInstallationBroker;
    CMPIString *nameSpace = CMGetNameSpace(path, nullptr);
    CMPIObjectPath *job =
        CMNewObjectPath(broker, nameSpace ? CMGetCharsPtr(nameSpace, nullptr) : _ZELKNameSpace,
                        "CIM_ConcreteJob", nullptr);
    CMPIStatus added{CMPI_RC_ERR_FAILED, nullptr};
    if (job != nullptr) {
        CMAddKey(job, "InstanceID", instanceID, CMPI_chars);
        if (out != nullptr) {
            added = CMAddArg(out, "Job", &job, CMPI_ref);
        }
    }
    return_uint32(result, kJobStarted);
    trace("Job accomplished.\n");
    trace(kCompleteRecord);
    return added;
}

CMPIStatus install_from_uri(const CMPIContext *ctx, const CMPIResult *result,
                            const CMPIObjectPath *path, const CMPIArgs *in, CMPIArgs *out) {
    trace("calling Method: InstallFromURI.\n");
    if (!admit_run()) {
        return fail_with_data(result, CMPI_RC_ERR_FAILED, "An installation process is running", 1);
    }
    if (in == nullptr) {
        release_run();
        return_uint32(result, 1);
        trace(kCompleteRecord);
        return failure(CMPI_RC_ERR_METHOD_NOT_FOUND, "IN Parameter is NULL");
    }
    const char *uri = string_argument(in, "URI");
    if (uri == nullptr) {
        release_run();
        return fail_with_data(result, CMPI_RC_ERR_FAILED, "Invalid parameter URI.", 3);
    }
    read_install_options(in);
    read_update_args(in);
    initPkgInstall(uri);

    if (is_sync_install == 1) {
        release_run();
        trace(kCompleteRecord);
        return CMPIStatus{CMPI_RC_OK, nullptr};
    }
    trace("using async installation.\n");
    if (!create_job()) {
        release_run();
        return fail_with_data(result, CMPI_RC_ERR_FAILED, "Fail to create job instance", 1);
    }
    trace("New Job Created.\n");
    trace("Creating new thread\n");
    if (start_install_worker(ctx) != 0) {
        release_run();
        trace("Create new thread fail.\n");
        return fail_with_data(result, CMPI_RC_ERR_FAILED, "Fail to create file transfer thread.",
                              1);
    }
    trace("Create new thread success.\n");
    return return_job(result, path, out);
}

} // namespace

ZELK_EXPORT CMPIStatus QEL_VMWarePackageInstallationProviderInvokeMethod(
    CMPIMethodMI *, const CMPIContext *ctx, const CMPIResult *result, const CMPIObjectPath *path,
    const char *methodName, const CMPIArgs *in, CMPIArgs *out) {
    trace("Enter QEL_VMWarePackageInstallationProviderInvokeMethod.\n");
    trace(kVersionRecord);
    trace("methodName:");
    debug(methodName ? methodName : "");
    debug("\n");

    if (!is_service_class(path) || methodName == nullptr) {
        return invalid_method(result);
    }
    if (strcasecmp(methodName, "InstallFromURI") == 0) {
        return install_from_uri(ctx, result, path, in, out);
    }
    if (strcasecmp(methodName, "ResetCimmon") == 0) {
        trace("Enter ResetCimmon.\n");
        reset_cimmon();
        return maintenance_done(result);
    }
    if (strcasecmp(methodName, "DeleteZELKDebugLogFile") == 0) {
        trace("calling Method: DeleteZELKDebugLogFile\n");
        DeleteZelkDebugLog();
        return maintenance_done(result);
    }
    return invalid_method(result);
}
