// The simulated host's CMPI broker: the broker function tables, the encapsulated objects with
// the standard's ownership rules, provider loading as sfcb does it, and routing of broker calls
// to the loaded providers by namespace and class. Thread-safe.
#pragma once

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

// A value as plain text: numbers in decimal, strings verbatim, arrays as comma lists,
// references as namespace:class.key="value",...
std::string to_text(const CMPIData &data);
std::string path_to_text(const CMPIObjectPath *path);

} // namespace hostsim

extern "C" CMPIContext *native_clone_CMPIContext(const CMPIContext *context);
