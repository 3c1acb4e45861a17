// Statuses, results, instances and method replies of simulated providers.
#include <algorithm>
#include <chrono>
#include <mutex>
#include <set>
#include <strings.h>
#include <thread>

#include <cmpi/cmpimacs.h>

#include "sim_provider.h"
#include "sim_scenario.h"
#include "sim_values.h"

namespace hostsim::sim {

namespace {

const Json &member_or_empty(const Json &entry, const char *name) {
    static const Json empty = Json::object();
    if (!entry.is_object() || !entry.contains(name)) {
        return empty;
    }
    const Json &member = entry[name];
    if (!member.is_object()) {
        throw SimError(std::string("\"") + name + "\" must be an object in " + entry.dump());
    }
    return member;
}

// The text a scenario value compares as: a typed value by its "value".
std::string entry_text(const Json &value) {
    if (value.is_object() && value.contains("value")) {
        return json_text(value["value"]);
    }
    return json_text(value);
}

// The threads of calls whose replies make the provider crash; see take_crash(). Not a
// thread_local: provider libraries are loaded with dlopen, and their dynamic TLS trips the
// leak checker of sanitizer builds.
std::mutex g_crashLock;
std::set<std::thread::id> g_crashDue;

// Blocks for `seconds` of real time, forever when negative. The host's sleep() may run a fast
// clock for the installers' pauses; a hung provider does not follow it.
void hang(double seconds) {
    const auto start = std::chrono::steady_clock::now();
    while (seconds < 0 ||
           std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Acts on the reply's "fault" for this call: "crash" and "hang" never let the call answer.
void inject_fault(const std::string &key, const Json &entry, const Json &fault) {
    if (fault.is_null()) {
        return;
    }
    if (fault == "crash") {
        std::lock_guard<std::mutex> guard(g_crashLock);
        g_crashDue.insert(std::this_thread::get_id());
        throw SimError("method " + key + ": crashed, as the scenario asks");
    }
    if (fault == "hang") {
        const Json seconds = entry.value("hang_seconds", Json(-1));
        if (!seconds.is_number()) {
            throw SimError("method " + key + ": \"hang_seconds\" is a number of seconds");
        }
        hang(seconds.get<double>());
        throw SimError("method " + key + ": hung, as the scenario asks");
    }
    throw SimError("method " + key + ": a fault is \"crash\", \"hang\" or null, not " +
                   fault.dump());
}

} // namespace

bool same_name(const std::string &a, const std::string &b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool take_crash() {
    std::lock_guard<std::mutex> guard(g_crashLock);
    return g_crashDue.erase(std::this_thread::get_id()) != 0;
}

CMPIStatus ok_status() {
    return CMPIStatus{CMPI_RC_OK, nullptr};
}

CMPIStatus error_status(const CMPIBroker *broker, CMPIrc rc, const std::string &message) {
    CMPIStatus status{rc, nullptr};
    if (broker != nullptr) {
        status.msg = CMNewString(broker, message.c_str(), nullptr);
    }
    return status;
}

void return_uint32(const CMPIResult *result, CMPIUint32 value) {
    CMReturnData(result, &value, CMPI_uint32);
    CMReturnDone(result);
}

CMPIObjectPath *path_from_json(const CMPIBroker *broker, const std::string &nameSpace,
                               const std::string &className, const Json &entry) {
    CMPIObjectPath *path = CMNewObjectPath(broker, nameSpace.c_str(), className.c_str(), nullptr);
    if (path == nullptr) {
        throw SimError("the broker made no object path for " + className);
    }
    for (const auto &key : member_or_empty(entry, "keys").items()) {
        CimValue value = CimValue::from_json(broker, key.value());
        CMAddKey(path, key.key().c_str(), value.value(), value.type());
    }
    return path;
}

CMPIInstance *instance_from_json(const CMPIBroker *broker, const std::string &nameSpace,
                                 const std::string &className, const Json &entry) {
    CMPIObjectPath *path = path_from_json(broker, nameSpace, className, entry);
    CMPIInstance *instance = CMNewInstance(broker, path, nullptr);
    if (instance == nullptr) {
        throw SimError("the broker made no instance of " + className);
    }
    for (const char *part : {"keys", "properties"}) {
        for (const auto &property : member_or_empty(entry, part).items()) {
            CimValue value = CimValue::from_json(broker, property.value());
            CMSetProperty(instance, property.key().c_str(), value.value(), value.type());
        }
    }
    return instance;
}

void return_instances(const CMPIBroker *broker, const CMPIResult *result,
                      const CMPIObjectPath *classPath, const Json &list, bool namesOnly) {
    if (classPath == nullptr) {
        throw SimError("a request without an object path");
    }
    std::string nameSpace = chars_of(CMGetNameSpace(classPath, nullptr));
    std::string className = chars_of(CMGetClassName(classPath, nullptr));
    for (const Json &entry : list) {
        if (namesOnly) {
            CMReturnObjectPath(result, path_from_json(broker, nameSpace, className, entry));
        } else {
            CMReturnInstance(result, instance_from_json(broker, nameSpace, className, entry));
        }
    }
    CMReturnDone(result);
}

bool keys_match(const Json &entry, const CMPIObjectPath *path) {
    const Json &keys = member_or_empty(entry, "keys");
    CMPICount count = path ? CMGetKeyCount(path, nullptr) : 0;
    if (count != keys.size()) {
        return false;
    }
    for (CMPICount i = 0; i < count; ++i) {
        CMPIString *name = nullptr;
        std::string wanted = json_text(value_to_json(CMGetKeyAt(path, i, &name, nullptr)));
        auto found = std::find_if(keys.items().begin(), keys.items().end(), [&](const auto &key) {
            return same_name(key.key(), chars_of(name));
        });
        if (found == keys.items().end() || entry_text(found.value()) != wanted) {
            return false;
        }
    }
    return true;
}

void set_args(const CMPIBroker *broker, CMPIArgs *args, const Json &values) {
    for (const auto &arg : values.items()) {
        CimValue value = CimValue::from_json(broker, arg.value());
        CMAddArg(args, arg.key().c_str(), value.value(), value.type());
    }
}

MethodReply method_reply(const std::string &key, const Json &entry, CMPIUint32 defaultReturn) {
    if (!entry.is_object()) {
        throw SimError("method " + key + " must be an object, not " + entry.dump());
    }
    MethodReply reply;
    // Every list advances on every call, so the n-th call sees the n-th element of each.
    Json status = next_in_sequence(key + "#status", entry.value("status", Json()));
    Json value = next_in_sequence(key + "#return", entry.value("return", Json()));
    Json fault = next_in_sequence(key + "#fault", entry.value("fault", Json()));
    reply.returnGiven = !value.is_null();
    if (reply.returnGiven) {
        if (!value.is_number_unsigned() || value.get<unsigned long long>() > 0xffffffffULL) {
            throw SimError("method " + key + ": return value " + value.dump() + " is no uint32");
        }
        reply.returnValue = value.get<CMPIUint32>();
    } else {
        reply.returnValue = defaultReturn;
    }
    if (status.is_object()) {
        reply.fail = true;
        reply.rc = static_cast<CMPIrc>(status.value("rc", 1));
        reply.message = status.value("message", std::string("simulated failure"));
    } else if (!status.is_null()) {
        throw SimError("method " + key + ": a status is an object or null, not " + status.dump());
    }
    inject_fault(key, entry, fault);
    reply.out = member_or_empty(entry, "out");
    for (const Json &name : entry.value("omit", Json::array())) {
        if (!name.is_string()) {
            throw SimError("method " + key + ": \"omit\" lists argument names");
        }
        reply.omit.push_back(name.get<std::string>());
    }
    return reply;
}

CMPIStatus send_reply(const CMPIBroker *broker, const CMPIResult *result, CMPIArgs *out,
                      const MethodReply &reply) {
    if (reply.fail) {
        return error_status(broker, reply.rc, reply.message);
    }
    if (out != nullptr) {
        Json sent = Json::object();
        for (const auto &arg : reply.out.items()) {
            bool omitted =
                std::any_of(reply.omit.begin(), reply.omit.end(),
                            [&](const std::string &name) { return same_name(name, arg.key()); });
            if (!omitted) {
                sent[arg.key()] = arg.value();
            }
        }
        set_args(broker, out, sent);
    }
    return_uint32(result, reply.returnValue);
    return ok_status();
}

} // namespace hostsim::sim
