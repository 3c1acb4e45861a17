// The broker handle and its four function tables: services, encapsulated-type factories,
// operating-system encapsulation and memory management.
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <sys/time.h>
#include <unistd.h>

#include "hostsim_broker.h"
#include "object_model.h"
#include "routing.h"

namespace hostsim::detail {

namespace {

const ObjectBase *object_of(const void *object) {
    return owner_of(object);
}

const char *type_name_of(const void *object) {
    const ObjectBase *base = object_of(object);
    if (dynamic_cast<const StringImpl *>(base))
        return "CMPIString";
    if (dynamic_cast<const ArrayImpl *>(base))
        return "CMPIArray";
    if (dynamic_cast<const ArgsImpl *>(base))
        return "CMPIArgs";
    if (dynamic_cast<const ObjectPathImpl *>(base))
        return "CMPIObjectPath";
    if (dynamic_cast<const InstanceImpl *>(base))
        return "CMPIInstance";
    if (dynamic_cast<const EnumerationImpl *>(base))
        return "CMPIEnumeration";
    if (dynamic_cast<const ContextImpl *>(base))
        return "CMPIContext";
    if (dynamic_cast<const ResultImpl *>(base))
        return "CMPIResult";
    if (dynamic_cast<const DateTimeImpl *>(base))
        return "CMPIDateTime";
    return "CMPIObject";
}

// ---- CMPIBrokerFT ----
CMPIContext *prepare_attach_thread(const CMPIBroker *, const CMPIContext *ctx) {
    return ctx ? ctx->ft->clone(ctx, nullptr) : nullptr;
}
CMPIStatus attach_thread(const CMPIBroker *, const CMPIContext *) {
    return status_ok();
}
CMPIStatus detach_thread(const CMPIBroker *, const CMPIContext *ctx) {
    if (ctx != nullptr) {
        destroy(impl_of<ContextImpl>(ctx));
    }
    return status_ok();
}
CMPIStatus deliver_indication(const CMPIBroker *, const CMPIContext *, const char *,
                              const CMPIInstance *) {
    return status_of(CMPI_RC_ERR_NOT_SUPPORTED);
}
CMPIEnumeration *enum_instance_names(const CMPIBroker *, const CMPIContext *ctx,
                                     const CMPIObjectPath *op, CMPIStatus *rc) {
    return route_enumerate(ctx, op, nullptr, true, rc);
}
CMPIInstance *get_instance(const CMPIBroker *, const CMPIContext *ctx, const CMPIObjectPath *op,
                           const char **properties, CMPIStatus *rc) {
    return route_get_instance(ctx, op, properties, rc);
}
CMPIObjectPath *create_instance(const CMPIBroker *, const CMPIContext *, const CMPIObjectPath *,
                                const CMPIInstance *, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_ERR_NOT_SUPPORTED);
    return nullptr;
}
CMPIStatus modify_instance(const CMPIBroker *, const CMPIContext *, const CMPIObjectPath *,
                           const CMPIInstance *, const char **) {
    return status_of(CMPI_RC_ERR_NOT_SUPPORTED);
}
CMPIStatus delete_instance(const CMPIBroker *, const CMPIContext *ctx, const CMPIObjectPath *op) {
    return route_delete_instance(ctx, op);
}
CMPIEnumeration *exec_query(const CMPIBroker *, const CMPIContext *, const CMPIObjectPath *,
                            const char *, const char *, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_ERR_NOT_SUPPORTED);
    return nullptr;
}
CMPIEnumeration *enum_instances(const CMPIBroker *, const CMPIContext *ctx,
                                const CMPIObjectPath *op, const char **properties, CMPIStatus *rc) {
    return route_enumerate(ctx, op, properties, false, rc);
}
CMPIEnumeration *associators(const CMPIBroker *, const CMPIContext *, const CMPIObjectPath *,
                             const char *, const char *, const char *, const char *, const char **,
                             CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_ERR_NOT_SUPPORTED);
    return nullptr;
}
CMPIEnumeration *associator_names(const CMPIBroker *, const CMPIContext *, const CMPIObjectPath *,
                                  const char *, const char *, const char *, const char *,
                                  CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_ERR_NOT_SUPPORTED);
    return nullptr;
}
CMPIEnumeration *references(const CMPIBroker *, const CMPIContext *, const CMPIObjectPath *,
                            const char *, const char *, const char **, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_ERR_NOT_SUPPORTED);
    return nullptr;
}
CMPIEnumeration *reference_names(const CMPIBroker *, const CMPIContext *, const CMPIObjectPath *,
                                 const char *, const char *, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_ERR_NOT_SUPPORTED);
    return nullptr;
}
CMPIData invoke_method(const CMPIBroker *, const CMPIContext *ctx, const CMPIObjectPath *op,
                       const char *method, const CMPIArgs *in, CMPIArgs *out, CMPIStatus *rc) {
    return route_invoke_method(ctx, op, method, in, out, rc);
}
CMPIStatus set_property(const CMPIBroker *, const CMPIContext *, const CMPIObjectPath *,
                        const char *, const CMPIValue *, CMPIType) {
    return status_of(CMPI_RC_ERR_NOT_SUPPORTED);
}
CMPIData get_property(const CMPIBroker *, const CMPIContext *, const CMPIObjectPath *, const char *,
                      CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_ERR_NOT_SUPPORTED);
    return null_data(CMPI_notFound);
}

CMPIBrokerFT brokerFT = {
    0,
    CMPICurrentVersion,
    "hostsim",
    prepare_attach_thread,
    attach_thread,
    detach_thread,
    deliver_indication,
    enum_instance_names,
    get_instance,
    create_instance,
    modify_instance,
    delete_instance,
    exec_query,
    enum_instances,
    associators,
    associator_names,
    references,
    reference_names,
    invoke_method,
    set_property,
    get_property,
};

// ---- CMPIBrokerEncFT ----
CMPIInstance *new_instance(const CMPIBroker *, const CMPIObjectPath *op, CMPIStatus *rc) {
    if (op == nullptr) {
        set_rc(rc, CMPI_RC_ERR_INVALID_PARAMETER);
        return nullptr;
    }
    set_rc(rc, CMPI_RC_OK);
    return &make_instance(impl_of<ObjectPathImpl>(op))->enc;
}
CMPIObjectPath *new_object_path(const CMPIBroker *, const char *ns, const char *cn,
                                CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return &make_path(ns, cn)->enc;
}
CMPIArgs *new_args(const CMPIBroker *, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return &make_args()->enc;
}
CMPIString *new_string(const CMPIBroker *, const char *data, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return &make_string(data ? data : "")->enc;
}
CMPIArray *new_array(const CMPIBroker *, CMPICount max, CMPIType type, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return &make_array(type, max)->enc;
}
CMPIUint64 now_microseconds() {
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    return static_cast<CMPIUint64>(tv.tv_sec) * 1000000u + static_cast<CMPIUint64>(tv.tv_usec);
}
CMPIDateTime *new_datetime(const CMPIBroker *, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return &make_datetime(now_microseconds(), false)->enc;
}
CMPIDateTime *new_datetime_binary(const CMPIBroker *, CMPIUint64 binTime, CMPIBoolean interval,
                                  CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return &make_datetime(binTime, interval != 0)->enc;
}
CMPIDateTime *new_datetime_chars(const CMPIBroker *, const char *, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_ERR_NOT_SUPPORTED);
    return nullptr;
}
CMPISelectExp *new_select_exp(const CMPIBroker *, const char *, const char *, CMPIArray **,
                              CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_ERR_NOT_SUPPORTED);
    return nullptr;
}
CMPIBoolean class_path_is_a(const CMPIBroker *, const CMPIObjectPath *op, const char *type,
                            CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    const ObjectPathImpl *path = impl_of<ObjectPathImpl>(op);
    return path && type && strcasecmp(path->className.c_str(), type) == 0 ? 1 : 0;
}
CMPIString *to_string(const CMPIBroker *, const void *object, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    const ObjectBase *base = object_of(object);
    if (auto *path = dynamic_cast<const ObjectPathImpl *>(base)) {
        return &make_string(hostsim::path_to_text(&path->enc))->enc;
    }
    if (auto *text = dynamic_cast<const StringImpl *>(base)) {
        return &make_string(text->text)->enc;
    }
    return &make_string(type_name_of(object))->enc;
}
CMPIBoolean is_of_type(const CMPIBroker *, const void *object, const char *type, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return type && std::strcmp(type_name_of(object), type) == 0 ? 1 : 0;
}
CMPIString *get_type(const CMPIBroker *, const void *object, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return &make_string(type_name_of(object))->enc;
}
CMPIString *get_message(const CMPIBroker *, const char *, const char *defMsg, CMPIStatus *rc,
                        CMPICount, ...) {
    set_rc(rc, CMPI_RC_OK);
    return &make_string(defMsg ? defMsg : "")->enc;
}
CMPIStatus log_message(const CMPIBroker *, int, const char *, const char *, const CMPIString *) {
    return status_ok();
}
CMPIStatus trace_message(const CMPIBroker *, int, const char *, const char *, const CMPIString *) {
    return status_ok();
}
CMPIError *new_error(const CMPIBroker *, const char *, const char *, const char *,
                     const CMPIErrorSeverity, const CMPIErrorProbableCause, const CMPIrc,
                     CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_ERR_NOT_SUPPORTED);
    return nullptr;
}
CMPIStatus open_message_file(const CMPIBroker *, const char *, CMPIMsgFileHandle *handle) {
    if (handle != nullptr) {
        *handle = nullptr;
    }
    return status_ok();
}
CMPIStatus close_message_file(const CMPIBroker *, const CMPIMsgFileHandle) {
    return status_ok();
}
CMPIString *get_message2(const CMPIBroker *, const char *, const CMPIMsgFileHandle,
                         const char *defMsg, CMPIStatus *rc, CMPICount, ...) {
    set_rc(rc, CMPI_RC_OK);
    return &make_string(defMsg ? defMsg : "")->enc;
}

CMPIBrokerEncFT encFT = {
    CMPICurrentVersion, new_instance,  new_object_path,     new_args,           new_string,
    new_array,          new_datetime,  new_datetime_binary, new_datetime_chars, new_select_exp,
    class_path_is_a,    to_string,     is_of_type,          get_type,           get_message,
    log_message,        trace_message, new_error,           open_message_file,  close_message_file,
    get_message2,
};

// ---- CMPIBrokerExtFT: POSIX threads ----
char *resolve_file_name(const char *filename) {
    if (filename == nullptr) {
        return nullptr;
    }
    std::string name = std::string("lib") + filename + ".so";
    return strdup(name.c_str());
}
void *new_thread(void *(*start)(void *), void *parm, int detached) {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, start, parm) != 0) {
        return nullptr;
    }
    if (detached) {
        pthread_detach(thread);
    }
    return reinterpret_cast<void *>(thread);
}
int join_thread(void *thread, void **retval) {
    return pthread_join(reinterpret_cast<pthread_t>(thread), retval);
}
int exit_thread(void *retval) {
    pthread_exit(retval);
}
int cancel_thread(void *thread) {
    return pthread_cancel(reinterpret_cast<pthread_t>(thread));
}
int thread_sleep(CMPIUint32 msec) {
    return usleep(static_cast<useconds_t>(msec) * 1000u);
}
int thread_once(int *once, void (*init)(void)) {
    static std::mutex onceLock;
    std::lock_guard<std::mutex> guard(onceLock);
    if (*once == 0) {
        init();
        *once = 1;
    }
    return 0;
}
int create_thread_key(pthread_key_t *key, void (*cleanup)(void *)) {
    return pthread_key_create(key, cleanup);
}
int destroy_thread_key(pthread_key_t key) {
    return pthread_key_delete(key);
}
void *get_thread_specific(pthread_key_t key) {
    return pthread_getspecific(key);
}
int set_thread_specific(pthread_key_t key, void *value) {
    return pthread_setspecific(key, value);
}
void *new_mutex(int) {
    auto *m = new pthread_mutex_t;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(m, &attr);
    pthread_mutexattr_destroy(&attr);
    return m;
}
void destroy_mutex(void *m) {
    pthread_mutex_destroy(static_cast<pthread_mutex_t *>(m));
    delete static_cast<pthread_mutex_t *>(m);
}
void lock_mutex(void *m) {
    pthread_mutex_lock(static_cast<pthread_mutex_t *>(m));
}
void unlock_mutex(void *m) {
    pthread_mutex_unlock(static_cast<pthread_mutex_t *>(m));
}
void *new_condition(int) {
    auto *c = new pthread_cond_t;
    pthread_cond_init(c, nullptr);
    return c;
}
void destroy_condition(void *c) {
    pthread_cond_destroy(static_cast<pthread_cond_t *>(c));
    delete static_cast<pthread_cond_t *>(c);
}
int cond_wait(void *c, void *m) {
    return pthread_cond_wait(static_cast<pthread_cond_t *>(c), static_cast<pthread_mutex_t *>(m));
}
int timed_cond_wait(void *c, void *m, struct timespec *wait) {
    return pthread_cond_timedwait(static_cast<pthread_cond_t *>(c),
                                  static_cast<pthread_mutex_t *>(m), wait);
}
int signal_condition(void *c) {
    return pthread_cond_signal(static_cast<pthread_cond_t *>(c));
}

CMPIBrokerExtFT extFT = {
    CMPICurrentVersion, resolve_file_name,  new_thread,          join_thread,
    exit_thread,        cancel_thread,      thread_sleep,        thread_once,
    create_thread_key,  destroy_thread_key, get_thread_specific, set_thread_specific,
    new_mutex,          destroy_mutex,      lock_mutex,          unlock_mutex,
    new_condition,      destroy_condition,  cond_wait,           timed_cond_wait,
    signal_condition,
};

// ---- CMPIBrokerMemFT ----
CMPIGcStat *mem_mark(const CMPIBroker *, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return nullptr;
}
CMPIStatus mem_release(const CMPIBroker *, const CMPIGcStat *) {
    return status_ok();
}
void *mem_malloc(const CMPIBroker *, size_t size) {
    return std::malloc(size);
}
void *mem_calloc(const CMPIBroker *, size_t n, size_t size) {
    return std::calloc(n, size);
}
void *mem_realloc(const CMPIBroker *, void *ptr, size_t size) {
    return std::realloc(ptr, size);
}
char *mem_strdup(const CMPIBroker *, const char *text) {
    return text ? strdup(text) : nullptr;
}
void mem_free(const CMPIBroker *, void *ptr) {
    std::free(ptr);
}
template <class Enc> void mem_free_object(const CMPIBroker *, Enc *object) {
    if (object != nullptr) {
        destroy(owner_of(object));
    }
}

CMPIBrokerMemFT memFT = {
    CMPICurrentVersion,
    mem_mark,
    mem_release,
    mem_malloc,
    mem_calloc,
    mem_realloc,
    mem_strdup,
    mem_free,
    mem_free_object<CMPIInstance>,
    mem_free_object<CMPIObjectPath>,
    mem_free_object<CMPIArgs>,
    mem_free_object<CMPIString>,
    mem_free_object<CMPIArray>,
    mem_free_object<CMPIDateTime>,
    mem_free_object<CMPISelectExp>,
};

CMPIBroker theBroker = {nullptr, &brokerFT, &encFT, &extFT, &memFT};

} // namespace

} // namespace hostsim::detail

namespace hostsim {
const CMPIBroker *broker() {
    return &detail::theBroker;
}
} // namespace hostsim
