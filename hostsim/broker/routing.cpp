// Broker services that reach other providers: each call runs the target provider in its own
// call scope and hands the results back as objects of the caller's scope. The registry lock is
// held only while the target is looked up, never while a provider runs, so providers may call
// the broker from inside a call and from their own threads at any time.
#include "hostsim_broker.h"
#include "object_model.h"
#include "routing.h"

namespace hostsim::detail {

namespace {

std::shared_ptr<Provider> target_of(const CMPIObjectPath *op, CMPIStatus *rc) {
    const ObjectPathImpl *path = impl_of<ObjectPathImpl>(op);
    std::shared_ptr<Provider> provider =
        path ? find_provider(path->nameSpace, path->className) : nullptr;
    if (provider == nullptr && rc != nullptr) {
        std::string where = path ? path->nameSpace + ":" + path->className : "(no path)";
        *rc = status_with_text(CMPI_RC_ERR_NOT_FOUND, "no provider serves " + where);
    }
    return provider;
}

// The provider's status, with its message re-made in the caller's scope.
struct CallOutcome {
    CMPIrc rc = CMPI_RC_OK;
    std::string message;
    bool hasMessage = false;
    std::vector<Value> data;

    void take(const CMPIStatus &status, const ResultImpl &result) {
        rc = status.rc;
        if (status.msg != nullptr) {
            hasMessage = true;
            message = impl_of<StringImpl>(status.msg)->text;
        }
        data = result.data;
    }
    CMPIStatus status() const { return hasMessage ? status_with_text(rc, message) : status_of(rc); }
    void report(CMPIStatus *out) const {
        if (out != nullptr) {
            *out = status();
        }
    }
};

// Runs `call(result)` in a fresh scope and collects the status and returned data.
template <class Call> CallOutcome run_in_scope(Call call) {
    CallOutcome outcome;
    ResultImpl *result = make_result(false);
    {
        CallScope scope;
        CMPIStatus status = call(&result->enc);
        outcome.take(status, *result);
    }
    destroy(result);
    return outcome;
}

std::vector<Value> of_type(const std::vector<Value> &data, CMPIType type) {
    std::vector<Value> kept;
    for (const Value &value : data) {
        if (value.type() == type) {
            kept.push_back(value);
        }
    }
    return kept;
}

CMPIStatus unsupported_call(CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_ERR_NOT_SUPPORTED);
    return status_of(CMPI_RC_ERR_NOT_SUPPORTED);
}

} // namespace

CMPIData route_invoke_method(const CMPIContext *ctx, const CMPIObjectPath *op, const char *method,
                             const CMPIArgs *in, CMPIArgs *out, CMPIStatus *rc) {
    std::shared_ptr<Provider> provider = target_of(op, rc);
    if (provider == nullptr || provider->methodMI == nullptr) {
        if (provider != nullptr) {
            set_rc(rc, CMPI_RC_ERR_METHOD_NOT_AVAILABLE);
        }
        return null_data(CMPI_notFound);
    }
    ArgsImpl *scratch = out ? nullptr : make_args(false);
    CMPIArgs *outArgs = out ? out : &scratch->enc;
    CMPIMethodMI *mi = provider->methodMI;
    CallOutcome outcome = run_in_scope([&](const CMPIResult *result) {
        return mi->ft->invokeMethod(mi, ctx, result, op, method, in, outArgs);
    });
    destroy(scratch);
    outcome.report(rc);
    if (outcome.data.empty()) {
        return null_data(CMPI_nullValue);
    }
    ValueHolder *holder = tracked(new ValueHolder);
    holder->value = outcome.data.front();
    return holder->value.data();
}

CMPIEnumeration *route_enumerate(const CMPIContext *ctx, const CMPIObjectPath *op,
                                 const char **properties, bool namesOnly, CMPIStatus *rc) {
    std::shared_ptr<Provider> provider = target_of(op, rc);
    if (provider == nullptr || provider->instanceMI == nullptr) {
        if (provider != nullptr) {
            unsupported_call(rc);
        }
        return nullptr;
    }
    CMPIInstanceMI *mi = provider->instanceMI;
    CallOutcome outcome = run_in_scope([&](const CMPIResult *result) {
        return namesOnly ? mi->ft->enumerateInstanceNames(mi, ctx, result, op)
                         : mi->ft->enumerateInstances(mi, ctx, result, op, properties);
    });
    outcome.report(rc);
    if (outcome.rc != CMPI_RC_OK) {
        return nullptr;
    }
    return &make_enumeration(of_type(outcome.data, namesOnly ? CMPI_ref : CMPI_instance))->enc;
}

CMPIInstance *route_get_instance(const CMPIContext *ctx, const CMPIObjectPath *op,
                                 const char **properties, CMPIStatus *rc) {
    std::shared_ptr<Provider> provider = target_of(op, rc);
    if (provider == nullptr || provider->instanceMI == nullptr) {
        if (provider != nullptr) {
            unsupported_call(rc);
        }
        return nullptr;
    }
    CMPIInstanceMI *mi = provider->instanceMI;
    CallOutcome outcome = run_in_scope([&](const CMPIResult *result) {
        return mi->ft->getInstance(mi, ctx, result, op, properties);
    });
    outcome.report(rc);
    std::vector<Value> found = of_type(outcome.data, CMPI_instance);
    if (outcome.rc != CMPI_RC_OK || found.empty()) {
        if (outcome.rc == CMPI_RC_OK) {
            set_rc(rc, CMPI_RC_ERR_NOT_FOUND);
        }
        return nullptr;
    }
    InstanceImpl *copy = clone_instance(*impl_of<InstanceImpl>(found.front().data().value.inst));
    return &tracked(copy)->enc;
}

CMPIStatus route_delete_instance(const CMPIContext *ctx, const CMPIObjectPath *op) {
    CMPIStatus rc = status_ok();
    std::shared_ptr<Provider> provider = target_of(op, &rc);
    if (provider == nullptr || provider->instanceMI == nullptr) {
        return provider == nullptr ? rc : unsupported_call(nullptr);
    }
    CMPIInstanceMI *mi = provider->instanceMI;
    CallOutcome outcome = run_in_scope(
        [&](const CMPIResult *result) { return mi->ft->deleteInstance(mi, ctx, result, op); });
    return outcome.status();
}

} // namespace hostsim::detail
