// Broker services that reach other providers. sfcb runs providers in processes of their own, so
// that a provider that dies costs its caller one failed request and nothing more; here every call
// into a provider runs on a thread of its own, with its own copies of the object path, the
// arguments and the result. A call whose thread ends inside the provider, or out of which an
// exception escapes, fails with CIM_ERR_FAILED in sfcb's words for a provider process that died.
// A call that does not answer is waited for as long as it takes, as under sfcb, where provider
// calls have no timeout; only with a call timeout (see set_call_timeout) is it abandoned when the
// time is up: it keeps its copies and frees them whenever it ends. The context is lent to the call
// as it is, since callers recognise the threads that clone it. The registry lock is held only
// while the target is looked up, never while a provider runs, so providers may call the broker
// from inside a call and from their own threads at any time.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <functional>
#include <system_error>
#include <string>
#include <thread>
#include <unistd.h>

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

// The copies one call into a provider works on, shared by the caller and the call's thread;
// whoever lets go last frees them.
struct GuardedCall {
    ~GuardedCall() { drop(); }
    // Frees the copies and what the provider handed back, so that no broker object of the call
    // outlives it, whichever thread lets go of the call last.
    void drop() {
        destroy(path);
        destroy(in);
        destroy(out);
        path = nullptr;
        in = out = nullptr;
        outcome = CallOutcome();
        outArgs = NamedValues();
    }
    ObjectPathImpl *path = nullptr;
    ArgsImpl *in = nullptr;
    ArgsImpl *out = nullptr;
    std::vector<std::string> propertyNames;
    std::vector<const char *> properties; // null-terminated; empty: no property list given
    std::string method;

    std::mutex lock;
    std::condition_variable ended;
    bool finished = false; // the call's thread has left the provider
    bool returned = false; // ... by returning from it
    bool abandoned = false;
    CallOutcome outcome;
    NamedValues outArgs;

    const CMPIObjectPath *pathArg() const { return path ? &path->enc : nullptr; }
    const char **propertyArg() { return properties.empty() ? nullptr : properties.data(); }
};

using GuardedBody = std::function<CMPIStatus(GuardedCall &, const CMPIResult *)>;

std::atomic<long long> g_timeoutMillis{-1};

// Abandoned calls whose threads are still to be joined. Never destroyed: a call that hangs for
// good keeps its thread until the process ends.
struct AbandonedCalls {
    std::mutex lock;
    std::vector<std::pair<std::shared_ptr<GuardedCall>, std::thread>> calls;
};

AbandonedCalls &abandoned() {
    static AbandonedCalls *calls = new AbandonedCalls;
    return *calls;
}

// Joins the abandoned calls that have ended; the number still running.
size_t reap_abandoned() {
    AbandonedCalls &registry = abandoned();
    std::lock_guard<std::mutex> guard(registry.lock);
    auto &calls = registry.calls;
    for (auto it = calls.begin(); it != calls.end();) {
        bool finished = false;
        {
            std::lock_guard<std::mutex> callGuard(it->first->lock);
            finished = it->first->finished;
        }
        if (finished) {
            it->second.join();
            it = calls.erase(it);
        } else {
            ++it;
        }
    }
    return calls.size();
}

void keep_abandoned(std::shared_ptr<GuardedCall> call, std::thread thread) {
    {
        AbandonedCalls &registry = abandoned();
        std::lock_guard<std::mutex> guard(registry.lock);
        registry.calls.emplace_back(std::move(call), std::move(thread));
    }
    reap_abandoned();
}

// Zero: calls are waited for as long as they take.
std::chrono::milliseconds timeout() {
    long long millis = g_timeoutMillis.load();
    if (millis < 0) {
        const char *seconds = std::getenv(kCallTimeoutVariable);
        char *end = nullptr;
        double value = seconds ? std::strtod(seconds, &end) : 0;
        millis = seconds && end != seconds && value > 0 ? static_cast<long long>(value * 1000) : 0;
        long long unset = -1;
        g_timeoutMillis.compare_exchange_strong(unset, millis);
        millis = g_timeoutMillis.load();
    }
    return std::chrono::milliseconds(millis);
}

// Marks the call ended when its thread leaves the provider, also when the thread is ended
// inside it (its stack unwinds through here).
class EndOfCall {
  public:
    explicit EndOfCall(std::shared_ptr<GuardedCall> call) : call_(std::move(call)) {}
    ~EndOfCall() {
        {
            std::lock_guard<std::mutex> guard(call_->lock);
            call_->finished = true;
            if (call_->abandoned) {
                call_->drop();
            }
        }
        call_->ended.notify_all();
    }
    EndOfCall(const EndOfCall &) = delete;
    EndOfCall &operator=(const EndOfCall &) = delete;

  private:
    std::shared_ptr<GuardedCall> call_;
};

void run_call(const std::shared_ptr<GuardedCall> &call, const GuardedBody &body) {
    EndOfCall end(call);
    ResultImpl *result = make_result(false);
    struct ResultOwner {
        ResultImpl *result;
        ~ResultOwner() { destroy(result); }
    } owner{result};
    try {
        CallOutcome outcome;
        {
            CallScope scope;
            CMPIStatus status = body(*call, &result->enc);
            outcome.take(status, *result);
        }
        std::lock_guard<std::mutex> guard(call->lock);
        call->outcome = std::move(outcome);
        if (call->out != nullptr) {
            call->outArgs = call->out->args;
        }
        call->returned = true;
    } catch (...) {
        if (abi::__cxa_current_exception_type() == nullptr) {
            throw; // no exception of the provider's: its thread is being ended, let it end
        }
        // An exception that escapes the provider ends the call as a crash does.
    }
}

// What sfcb answers the callers of a provider process that dies, in its words (line end
// included); the process is this one.
std::string crash_message(const Provider &provider) {
    return "*** Provider " + provider.name + "(" + std::to_string(getpid()) +
           ") exiting due to a SIGSEGV signal\n";
}

// Runs `body` on a thread of its own and waits for it to end, or until the call deadline when
// there is one. The output arguments of a call that answered go to `callerOut`, when given.
CallOutcome run_guarded(const Provider &provider, const std::string &operation,
                        const std::shared_ptr<GuardedCall> &call, GuardedBody body,
                        ArgsImpl *callerOut = nullptr) {
    const std::chrono::milliseconds limit = timeout();
    const std::string who = "provider " + provider.name + " ";
    CallOutcome failed;
    failed.rc = CMPI_RC_ERR_FAILED;
    failed.hasMessage = true;
    std::thread thread; // joined once the call has ended, so that no call outlives its caller
    try {
        thread = std::thread([call, body = std::move(body)] { run_call(call, body); });
    } catch (const std::system_error &error) {
        failed.message = who + "could not be called for " + operation + ": " + error.what();
        return failed;
    }
    std::unique_lock<std::mutex> guard(call->lock);
    const auto ended = [&] { return call->finished; };
    if (limit.count() == 0) {
        call->ended.wait(guard, ended);
    } else if (!call->ended.wait_for(guard, limit, ended)) {
        call->abandoned = true;
        guard.unlock();
        keep_abandoned(call, std::move(thread));
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", static_cast<double>(limit.count()) / 1000);
        failed.message = who + "did not answer " + operation + " within " + seconds +
                         " s; the call was abandoned";
        return failed;
    }
    guard.unlock();
    thread.join();
    if (!call->returned) {
        failed.message = crash_message(provider);
        call->drop();
        return failed;
    }
    CallOutcome outcome = call->outcome;
    if (callerOut != nullptr) {
        callerOut->args = call->outArgs;
    }
    call->drop();
    return outcome;
}

std::shared_ptr<GuardedCall> new_call(const CMPIObjectPath *op, const char **properties) {
    auto call = std::make_shared<GuardedCall>();
    if (const ObjectPathImpl *path = impl_of<ObjectPathImpl>(op)) {
        call->path = clone_path(*path);
    }
    for (const char **name = properties; name != nullptr && *name != nullptr; ++name) {
        call->propertyNames.push_back(*name);
    }
    if (properties != nullptr) {
        for (const std::string &name : call->propertyNames) {
            call->properties.push_back(name.c_str());
        }
        call->properties.push_back(nullptr);
    }
    return call;
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
    std::shared_ptr<GuardedCall> call = new_call(op, nullptr);
    const ArgsImpl *inArgs = impl_of<ArgsImpl>(in);
    ArgsImpl *outArgs = impl_of<ArgsImpl>(out);
    call->in = inArgs ? clone_args(*inArgs) : nullptr;
    call->out = outArgs ? clone_args(*outArgs) : make_args(false);
    call->method = method ? method : "";
    const bool named = method != nullptr;
    CallOutcome outcome = run_guarded(
        *provider, named ? call->method : "a method call", call,
        [provider, ctx, named](GuardedCall &c, const CMPIResult *result) {
            CMPIMethodMI *mi = provider->methodMI;
            return mi->ft->invokeMethod(mi, ctx, result, c.pathArg(),
                                        named ? c.method.c_str() : nullptr,
                                        c.in ? &c.in->enc : nullptr, &c.out->enc);
        },
        outArgs);
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
    std::shared_ptr<GuardedCall> call = new_call(op, namesOnly ? nullptr : properties);
    CallOutcome outcome = run_guarded(
        *provider, namesOnly ? "EnumerateInstanceNames" : "EnumerateInstances", call,
        [provider, ctx, namesOnly](GuardedCall &c, const CMPIResult *result) {
            CMPIInstanceMI *mi = provider->instanceMI;
            return namesOnly
                       ? mi->ft->enumerateInstanceNames(mi, ctx, result, c.pathArg())
                       : mi->ft->enumerateInstances(mi, ctx, result, c.pathArg(), c.propertyArg());
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
    std::shared_ptr<GuardedCall> call = new_call(op, properties);
    CallOutcome outcome = run_guarded(
        *provider, "GetInstance", call, [provider, ctx](GuardedCall &c, const CMPIResult *result) {
            CMPIInstanceMI *mi = provider->instanceMI;
            return mi->ft->getInstance(mi, ctx, result, c.pathArg(), c.propertyArg());
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
    std::shared_ptr<GuardedCall> call = new_call(op, nullptr);
    CallOutcome outcome =
        run_guarded(*provider, "DeleteInstance", call,
                    [provider, ctx](GuardedCall &c, const CMPIResult *result) {
                        CMPIInstanceMI *mi = provider->instanceMI;
                        return mi->ft->deleteInstance(mi, ctx, result, c.pathArg());
                    });
    return outcome.status();
}

} // namespace hostsim::detail

namespace hostsim {

void set_call_timeout(std::chrono::milliseconds timeout) {
    detail::g_timeoutMillis.store(timeout.count() > 0 ? timeout.count() : -1);
}

std::chrono::milliseconds call_timeout() {
    return detail::timeout();
}

size_t abandoned_calls() {
    return detail::reap_abandoned();
}

} // namespace hostsim
