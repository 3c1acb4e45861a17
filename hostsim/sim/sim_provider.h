// Building blocks of simulated providers: statuses, results, instances and method replies made
// from the scenario, and SimProvider, a CMPI provider that serves a scenario section by itself
// and journals every request. A provider library needs little more than
//
//     class BrocadeProvider : public hostsim::sim::SimProvider {
//         using SimProvider::SimProvider; // override what the scenario cannot express
//     };
//     HOSTSIM_SIM_PROVIDER(BROCADE_Provider, BrocadeProvider, "brocade")
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include <cmpi/cmpift.h>

#include "sim_json.h"
#include "sim_request_rules.h"

namespace hostsim::sim {

// ---- Helpers for any provider ----
CMPIStatus ok_status();
// A failed status whose message is made through the broker.
CMPIStatus error_status(const CMPIBroker *broker, CMPIrc rc, const std::string &message);
// Returns a method's uint32 return value and closes the result.
void return_uint32(const CMPIResult *result, CMPIUint32 value);
// Instances as scenarios write them: {"keys": {name: value, ...}, "properties": {...}}, values
// as CimValue reads them; keys are properties of the instance too.
CMPIObjectPath *path_from_json(const CMPIBroker *broker, const std::string &nameSpace,
                               const std::string &className, const Json &entry);
CMPIInstance *instance_from_json(const CMPIBroker *broker, const std::string &nameSpace,
                                 const std::string &className, const Json &entry);
// Returns every entry of `list` as an instance (or only its path) in the namespace and class of
// `classPath`, then closes the result.
void return_instances(const CMPIBroker *broker, const CMPIResult *result,
                      const CMPIObjectPath *classPath, const Json &list, bool namesOnly);
// Whether `path` has exactly the entry's keys, each with the same value (as text); names without
// case. A path that lacks one of the keys names no instance.
bool keys_match(const Json &entry, const CMPIObjectPath *path);
// Class, method, key and property names compare without case, as CIM names do.
bool same_name(const std::string &a, const std::string &b);
// Adds each member of a JSON object as an argument.
void set_args(const CMPIBroker *broker, CMPIArgs *args, const Json &values);

// ---- Method replies with fault injection ----
// A scenario method entry: {"return": n or [n, ...], "out": {name: value}, "omit": [name, ...],
// "status": null or {"rc": n, "message": "..."} or a list of those}. Lists are consumed one
// element per call, the last repeated.
struct MethodReply {
    CMPIUint32 returnValue = 0;
    bool returnGiven = false;      // the entry has "return"
    Json out = Json::object();     // out arguments to send; a provider may add its own
    std::vector<std::string> omit; // out arguments never sent, whoever set them
    bool fail = false;             // fail the call with rc and message
    CMPIrc rc = CMPI_RC_OK;
    std::string message;
};
// The reply for this call; `key` names the call's sequences. Throws SimError for a bad entry.
// The entry's "fault" (a list consumed per call like "status") acts here, before the provider
// does any work: "hang" blocks the call for "hang_seconds" of real time (forever without it),
// then throws; "crash" marks the call to end its thread (take_crash) and throws.
MethodReply method_reply(const std::string &key, const Json &entry, CMPIUint32 defaultReturn);
// Whether the current call is to crash; clears the mark. The method MI then ends the call's
// thread with pthread_exit, as a provider process dies: the hostsim broker, which runs every
// provider call on a thread of its own, fails the call with CIM_ERR_FAILED.
bool take_crash();
// Sends `reply`: its failed status, or its out arguments (less those omitted) and return value.
CMPIStatus send_reply(const CMPIBroker *broker, const CMPIResult *result, CMPIArgs *out,
                      const MethodReply &reply);

// ---- A simulated provider ----
// One request, with the provider's scenario section as read for it.
struct Request {
    const CMPIBroker *broker = nullptr;
    const CMPIContext *context = nullptr;
    const CMPIResult *result = nullptr;
    const CMPIObjectPath *path = nullptr;
    std::string nameSpace;
    std::string className;
    Json section;
};

class SimProvider {
  public:
    // `providerName` as registered; `sectionName` the scenario section it follows.
    SimProvider(std::string providerName, std::string sectionName);
    virtual ~SimProvider() = default;
    SimProvider(const SimProvider &) = delete;
    SimProvider &operator=(const SimProvider &) = delete;

    // Request handlers. The defaults serve section "instances" and "job", and answer methods
    // from section "methods" (hostsim/scenarios/README.md). Exceptions become failed statuses.
    virtual CMPIStatus enumerate(const Request &request, bool namesOnly);
    virtual CMPIStatus get_instance(const Request &request);
    virtual CMPIStatus delete_instance(const Request &request);
    virtual CMPIStatus invoke(const Request &request, const std::string &method, const CMPIArgs *in,
                              CMPIArgs *out);

    // What the method MI calls: a request that its method's rule (sim_request_rules.h) refuses
    // is journaled with the reason and answered as the refusal says, without any work and
    // without taking a turn of the scenario's lists; any other goes to invoke().
    CMPIStatus answer_method(const Request &request, const std::string &method, const CMPIArgs *in,
                             CMPIArgs *out);
    // The check itself; no refusal when the method has no rule.
    Refusal check_request(const Request &request, const std::string &method, const CMPIArgs *in);
    // Journals `refusal` of `method` and answers it; for the checks a provider makes itself.
    CMPIStatus refuse(const Request &request, const std::string &method, const Refusal &refusal);

    // The scenario pieces behind the defaults, for overrides to reuse.
    // Instances of `className` (names without case): the listed ones, then the job's once
    // started. Each read of the job advances its steps.
    Json instances_of(const Request &request, const std::string &className);
    // Whether `path` names a listed instance of `className`: a real service refuses requests on
    // objects it does not have.
    bool lists(const Request &request, const std::string &className, const CMPIObjectPath *path);
    // The method's entry ("Class.Method" before "Method"), or null; `key` gets its sequence name.
    const Json *method_entry(const Request &request, const std::string &method,
                             std::string *key) const;
    // Restarts the job's walk through its steps; until the first start there is no job.
    void start_job();
    bool job_started() const { return jobStarted_; }

    const std::string &section_name() const { return section_; }
    const CMPIBroker *broker() const { return broker_; }
    CMPIInstanceMI *instance_mi(const CMPIBroker *broker);
    CMPIMethodMI *method_mi(const CMPIBroker *broker);

    // What the MI tables call: journals the request, reads the scenario section, refuses with
    // not-found when the section is absent or "present" is false, runs `handler`, and turns
    // any exception into a failed status.
    CMPIStatus serve(const char *operation, const CMPIContext *context, const CMPIResult *result,
                     const CMPIObjectPath *path, const CMPIArgs *in,
                     const std::function<CMPIStatus(const Request &)> &handler) noexcept;

  private:
    std::string section_;
    std::string instanceName_, methodName_;
    std::atomic<const CMPIBroker *> broker_{nullptr};
    std::atomic<bool> jobStarted_{false};
    CMPIInstanceMIFT instanceFT_{};
    CMPIMethodMIFT methodFT_{};
    CMPIInstanceMI instanceMI_{};
    CMPIMethodMI methodMI_{};
};

} // namespace hostsim::sim

// Defines the factories NAME_Create_InstanceMI and NAME_Create_MethodMI of a provider library
// for one SimProvider subclass TYPE following scenario section SECTION.
#define HOSTSIM_SIM_PROVIDER(NAME, TYPE, SECTION)                                                  \
    static hostsim::sim::SimProvider &NAME##_sim_provider() {                                      \
        static TYPE provider(#NAME, SECTION);                                                      \
        return provider;                                                                           \
    }                                                                                              \
    CMPI_EXTERN_C CMPIInstanceMI *NAME##_Create_InstanceMI(const CMPIBroker *broker,               \
                                                           const CMPIContext *, CMPIStatus *) {    \
        try {                                                                                      \
            return NAME##_sim_provider().instance_mi(broker);                                      \
        } catch (...) {                                                                            \
            return nullptr;                                                                        \
        }                                                                                          \
    }                                                                                              \
    CMPI_EXTERN_C CMPIMethodMI *NAME##_Create_MethodMI(const CMPIBroker *broker,                   \
                                                       const CMPIContext *, CMPIStatus *) {        \
        try {                                                                                      \
            return NAME##_sim_provider().method_mi(broker);                                        \
        } catch (...) {                                                                            \
            return nullptr;                                                                        \
        }                                                                                          \
    }
