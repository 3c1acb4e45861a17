// SimProvider: the CMPI entry points of a simulated provider and its scenario-driven defaults.
#include <pthread.h>
#include <strings.h>

#include <cmpi/cmpimacs.h>

#include "sim_journal.h"
#include "sim_provider.h"
#include "sim_scenario.h"
#include "sim_values.h"

namespace hostsim::sim {

namespace {

SimProvider *owner(const void *hdl) {
    return static_cast<SimProvider *>(const_cast<void *>(hdl));
}

const Json *member(const Json &object, const std::string &name) {
    if (!object.is_object()) {
        return nullptr;
    }
    for (const auto &item : object.items()) {
        if (same_name(item.key(), name)) {
            return &item.value();
        }
    }
    return nullptr;
}

// ---- Instance MI ----
CMPIStatus mi_cleanup(CMPIInstanceMI *, const CMPIContext *, CMPIBoolean) {
    return ok_status();
}
CMPIStatus mi_enum_names(CMPIInstanceMI *mi, const CMPIContext *ctx, const CMPIResult *rs,
                         const CMPIObjectPath *op) {
    SimProvider *p = owner(mi->hdl);
    return p->serve("EnumerateInstanceNames", ctx, rs, op, nullptr,
                    [p](const Request &r) { return p->enumerate(r, true); });
}
CMPIStatus mi_enum(CMPIInstanceMI *mi, const CMPIContext *ctx, const CMPIResult *rs,
                   const CMPIObjectPath *op, const char **) {
    SimProvider *p = owner(mi->hdl);
    return p->serve("EnumerateInstances", ctx, rs, op, nullptr,
                    [p](const Request &r) { return p->enumerate(r, false); });
}
CMPIStatus mi_get(CMPIInstanceMI *mi, const CMPIContext *ctx, const CMPIResult *rs,
                  const CMPIObjectPath *op, const char **) {
    SimProvider *p = owner(mi->hdl);
    return p->serve("GetInstance", ctx, rs, op, nullptr,
                    [p](const Request &r) { return p->get_instance(r); });
}
CMPIStatus refuse(SimProvider *p, const char *operation, const CMPIContext *ctx,
                  const CMPIResult *rs, const CMPIObjectPath *op) {
    return p->serve(operation, ctx, rs, op, nullptr, [](const Request &) {
        return CMPIStatus{CMPI_RC_ERR_NOT_SUPPORTED, nullptr};
    });
}
CMPIStatus mi_create(CMPIInstanceMI *mi, const CMPIContext *ctx, const CMPIResult *rs,
                     const CMPIObjectPath *op, const CMPIInstance *) {
    return refuse(owner(mi->hdl), "CreateInstance", ctx, rs, op);
}
CMPIStatus mi_modify(CMPIInstanceMI *mi, const CMPIContext *ctx, const CMPIResult *rs,
                     const CMPIObjectPath *op, const CMPIInstance *, const char **) {
    return refuse(owner(mi->hdl), "ModifyInstance", ctx, rs, op);
}
CMPIStatus mi_delete(CMPIInstanceMI *mi, const CMPIContext *ctx, const CMPIResult *rs,
                     const CMPIObjectPath *op) {
    SimProvider *p = owner(mi->hdl);
    return p->serve("DeleteInstance", ctx, rs, op, nullptr,
                    [p](const Request &r) { return p->delete_instance(r); });
}
CMPIStatus mi_query(CMPIInstanceMI *mi, const CMPIContext *ctx, const CMPIResult *rs,
                    const CMPIObjectPath *op, const char *, const char *) {
    return refuse(owner(mi->hdl), "ExecQuery", ctx, rs, op);
}

// ---- Method MI ----
CMPIStatus mi_method_cleanup(CMPIMethodMI *, const CMPIContext *, CMPIBoolean) {
    return ok_status();
}
CMPIStatus mi_invoke(CMPIMethodMI *mi, const CMPIContext *ctx, const CMPIResult *rs,
                     const CMPIObjectPath *op, const char *method, const CMPIArgs *in,
                     CMPIArgs *out) {
    SimProvider *p = owner(mi->hdl);
    CMPIStatus status;
    {
        std::string name = method ? method : "";
        status = p->serve(name.c_str(), ctx, rs, op, in,
                          [&](const Request &r) { return p->answer_method(r, name, in, out); });
    }
    if (take_crash()) {
        pthread_exit(nullptr); // the provider "dies" in the middle of the call
    }
    return status;
}

} // namespace

SimProvider::SimProvider(std::string providerName, std::string sectionName)
    : section_(std::move(sectionName)), instanceName_("instance" + providerName),
      methodName_("method" + providerName) {
    instanceFT_ = {CMPICurrentVersion,
                   CMPICurrentVersion,
                   instanceName_.c_str(),
                   mi_cleanup,
                   mi_enum_names,
                   mi_enum,
                   mi_get,
                   mi_create,
                   mi_modify,
                   mi_delete,
                   mi_query};
    methodFT_ = {CMPICurrentVersion, CMPICurrentVersion, methodName_.c_str(), mi_method_cleanup,
                 mi_invoke};
    instanceMI_ = {this, &instanceFT_};
    methodMI_ = {this, &methodFT_};
}

CMPIInstanceMI *SimProvider::instance_mi(const CMPIBroker *broker) {
    broker_ = broker;
    return &instanceMI_;
}

CMPIMethodMI *SimProvider::method_mi(const CMPIBroker *broker) {
    broker_ = broker;
    return &methodMI_;
}

CMPIStatus SimProvider::serve(const char *operation, const CMPIContext *context,
                              const CMPIResult *result, const CMPIObjectPath *path,
                              const CMPIArgs *in,
                              const std::function<CMPIStatus(const Request &)> &handler) noexcept {
    const CMPIBroker *mb = broker_;
    try {
        journal_request(operation, path, in);
        Request request;
        request.broker = mb;
        request.context = context;
        request.result = result;
        request.path = path;
        request.nameSpace = chars_of(path ? CMGetNameSpace(path, nullptr) : nullptr);
        request.className = chars_of(path ? CMGetClassName(path, nullptr) : nullptr);
        request.section = scenario_section(section_);
        if (!request.section.is_null() && !request.section.is_object()) {
            throw SimError("scenario section \"" + section_ + "\" is not an object");
        }
        if (request.section.is_null() || !request.section.value("present", true)) {
            return error_status(mb, CMPI_RC_ERR_NOT_FOUND,
                                "the scenario has no " + section_ + " provider");
        }
        return handler(request);
    } catch (const std::exception &error) {
        return error_status(mb, CMPI_RC_ERR_FAILED, section_ + ": " + error.what());
    } catch (...) {
        return error_status(mb, CMPI_RC_ERR_FAILED, section_ + ": unexpected failure");
    }
}

CMPIStatus SimProvider::enumerate(const Request &request, bool namesOnly) {
    return_instances(request.broker, request.result, request.path,
                     instances_of(request, request.className), namesOnly);
    return ok_status();
}

CMPIStatus SimProvider::get_instance(const Request &request) {
    for (const Json &entry : instances_of(request, request.className)) {
        if (keys_match(entry, request.path)) {
            CMReturnInstance(request.result, instance_from_json(request.broker, request.nameSpace,
                                                                request.className, entry));
            CMReturnDone(request.result);
            return ok_status();
        }
    }
    return error_status(request.broker, CMPI_RC_ERR_NOT_FOUND,
                        "no such instance: " + path_text(request.path));
}

CMPIStatus SimProvider::delete_instance(const Request &) {
    return CMPIStatus{CMPI_RC_ERR_NOT_SUPPORTED, nullptr};
}

CMPIStatus SimProvider::invoke(const Request &request, const std::string &method, const CMPIArgs *,
                               CMPIArgs *out) {
    std::string key;
    const Json *entry = method_entry(request, method, &key);
    if (entry == nullptr) {
        return error_status(request.broker, CMPI_RC_ERR_METHOD_NOT_FOUND,
                            "the scenario's " + section_ + " section has no method " + method);
    }
    MethodReply reply = method_reply(key, *entry, 0);
    const Json *job = member(request.section, "job");
    if (!reply.fail && job != nullptr &&
        same_name(job->value("started_by", std::string("InstallFromURI")), method)) {
        start_job();
    }
    return send_reply(request.broker, request.result, out, reply);
}

bool SimProvider::lists(const Request &request, const std::string &className,
                        const CMPIObjectPath *path) {
    for (const Json &entry : instances_of(request, className)) {
        if (keys_match(entry, path)) {
            return true;
        }
    }
    return false;
}

Json SimProvider::instances_of(const Request &request, const std::string &className) {
    Json found = Json::array();
    const Json *instances = member(request.section, "instances");
    const Json *listed = instances ? member(*instances, className) : nullptr;
    if (listed != nullptr) {
        if (!listed->is_array()) {
            throw SimError("instances of " + className + " must be a list");
        }
        found = *listed;
    }
    const Json *job = member(request.section, "job");
    if (job != nullptr && jobStarted_ && same_name(job->value("class", std::string()), className)) {
        Json entry = Json::object();
        entry["keys"] = job->value("keys", Json::object());
        entry["properties"] = job->value("properties", Json::object());
        const Json *steps = member(*job, "steps");
        if (steps != nullptr) {
            for (const auto &step : steps->items()) {
                entry["properties"][step.key()] =
                    next_in_sequence(section_ + ".job." + step.key(), step.value());
            }
        }
        found.push_back(entry);
    }
    return found;
}

const Json *SimProvider::method_entry(const Request &request, const std::string &method,
                                      std::string *key) const {
    const Json *methods = member(request.section, "methods");
    if (methods == nullptr) {
        return nullptr;
    }
    for (const std::string &name : {request.className + "." + method, method}) {
        if (const Json *entry = member(*methods, name)) {
            *key = section_ + "." + name;
            return entry;
        }
    }
    return nullptr;
}

void SimProvider::start_job() {
    reset_sequences_under(section_ + ".job.");
    jobStarted_ = true;
}

} // namespace hostsim::sim
