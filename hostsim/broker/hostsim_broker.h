// The simulated host's CMPI broker: the broker function tables, the encapsulated objects with
// the standard's ownership rules, provider loading as sfcb does it, and routing of broker calls
// to the loaded providers by namespace and class. Thread-safe.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <cmpi/cmpift.h>

namespace hostsim {

// The one broker handle of the process.
const CMPIBroker *broker();

// A fresh invocation context, owned by the caller (CMRelease it).
CMPIContext *new_context();

// Objects made through broker services on this thread while a scope is open belong to it and
// are freed when it closes, as a broker frees them when a provider call returns. Objects made
// outside any scope live until the thread ends. Scopes nest.
class CallScope {
  public:
    CallScope();
    ~CallScope();
    CallScope(const CallScope &) = delete;
    CallScope &operator=(const CallScope &) = delete;
};

// The broker objects alive in the process: every string, array, argument list, object path,
// instance, enumeration, context, result and date-time made by a factory function, a clone or a
// copy into a container, until it is released or its scope or thread ends (an instance counts
// with the object path it holds). Tests compare it before and after whole runs to find objects
// that nobody frees.
size_t live_objects();

// What a provider hands back through a CMPIResult, kept until the collector goes.
class Result {
  public:
    Result();
    ~Result();
    Result(const Result &) = delete;
    Result &operator=(const Result &) = delete;

    const CMPIResult *get() const;
    std::vector<CMPIData> data() const;
    std::vector<const CMPIInstance *> instances() const;
    std::vector<const CMPIObjectPath *> objectPaths() const;
    bool done() const;

  private:
    CMPIResult *result_;
};

// A provider library loaded the way sfcb loads it: dlopen, then <name>_Create_InstanceMI and
// <name>_Create_MethodMI. Either MI is null when the library has no such factory.
struct Provider {
    std::string name;
    std::string library;
    void *handle = nullptr;
    CMPIInstanceMI *instanceMI = nullptr;
    CMPIMethodMI *methodMI = nullptr;
};

// Loads `library` (a path, or a location name resolved as lib<location>.so in `libraryDir`)
// and creates the provider's MIs. Null with `error` set when the library or both factories
// are missing.
std::shared_ptr<Provider> load_provider(const std::string &library, const std::string &name,
                                        std::string *error);

// Routes broker calls for (namespace, class) to `provider`; names compare without case.
void register_provider(const std::string &nameSpace, const std::string &className,
                       std::shared_ptr<Provider> provider);
std::shared_ptr<Provider> find_provider(const std::string &nameSpace, const std::string &className);
void clear_registrations();

// Every call into a provider runs on a thread of its own, as sfcb runs providers in processes of
// their own. A call whose thread ends inside the provider, or out of which an exception escapes,
// fails with CIM_ERR_FAILED and sfcb's answer for a provider process that died of SIGSEGV:
// "*** Provider NAME(PID) exiting due to a SIGSEGV signal\n", NAME as registered, PID this
// process's. The next request reaches the provider again, as sfcb restarts a provider process.
// A call that does not answer is waited for as long as it takes, as sfcb waits (CMPI calls have
// no timeout). Only with a call timeout, from set_call_timeout or else the environment variable
// below (seconds), is such a call abandoned when the time is up: it fails with CIM_ERR_FAILED
// ("provider NAME did not answer OPERATION within N s; ...") and frees its copies of the request
// when it ends.
constexpr const char *kCallTimeoutVariable = "HOSTSIM_CALL_TIMEOUT";
// A timeout of 0 or less returns to the environment's, or to none.
void set_call_timeout(std::chrono::milliseconds timeout);
// Zero when calls are waited for as long as they take.
std::chrono::milliseconds call_timeout();
// Abandoned calls still running; the threads of those that have ended are joined here.
size_t abandoned_calls();

// One class section of a registration file in sfcb's providerRegister format:
//   [ClassName]
//      provider: ProviderName
//      location: name          (the library lib<name>.so)
//      type: instance method   (any of instance association method indication class
//                               property qualifier)
//      namespace: ns1 ns2
// Lines starting with '#' are comments; group, unload, user and parameters are accepted and
// ignored, as hostsim has a single process.
struct Registration {
    std::string className;
    std::string providerName;
    std::string location;
    std::vector<std::string> types;
    std::vector<std::string> nameSpaces;
    int line = 0; // of the section header, for messages
};

// Parses registration text; `origin` names it in messages. False with `error` set to
// "origin:line: what is wrong" for a malformed text.
bool parse_registrations(const std::string &text, const std::string &origin,
                         std::vector<Registration> *registrations, std::string *error);

constexpr const char *kDefaultLibraryDir = "/usr/lib/cim";

// What loading a registration file did.
struct RegistryLoad {
    std::vector<std::string> warnings; // one per provider whose library could not be loaded
    size_t routes = 0;                 // (namespace, class) pairs now routed
};

// Reads the registration file `path`, loads each provider once (lib<location>.so in
// `libraryDir`) and routes every (namespace, class) it serves, limited to the registered
// types. A provider that cannot be loaded only gives a warning: its classes stay unrouted and
// answer not-found. False with `error` ("file:line: ...") when the file cannot be read or is
// malformed; nothing is registered then.
bool load_registry(const std::string &path, const std::string &libraryDir, RegistryLoad *load,
                   std::string *error);

// A value as plain text: numbers in decimal, strings verbatim, arrays as comma lists,
// references as namespace:class.key="value",...
std::string to_text(const CMPIData &data);
std::string path_to_text(const CMPIObjectPath *path);

} // namespace hostsim

extern "C" CMPIContext *native_clone_CMPIContext(const CMPIContext *context);
