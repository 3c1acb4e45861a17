// Provider loading as sfcb does it, and the table that routes broker calls by namespace and
// class to the loaded providers.
#include <algorithm>
#include <cctype>
#include <dlfcn.h>
#include <map>
#include <shared_mutex>

#include "hostsim_broker.h"
#include "object_model.h"

namespace hostsim {

namespace {

using InstanceFactory = CMPIInstanceMI *(*)(const CMPIBroker *, const CMPIContext *, CMPIStatus *);
using MethodFactory = CMPIMethodMI *(*)(const CMPIBroker *, const CMPIContext *, CMPIStatus *);

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

struct Registry {
    std::shared_mutex lock;
    std::map<std::pair<std::string, std::string>, std::shared_ptr<Provider>> routes;
};

Registry &registry() {
    static Registry instance;
    return instance;
}

} // namespace

std::shared_ptr<Provider> load_provider(const std::string &library, const std::string &name,
                                        std::string *error) {
    void *handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        if (error) {
            const char *why = dlerror();
            *error = why ? why : ("cannot load " + library);
        }
        return nullptr;
    }
    auto instanceFactory =
        reinterpret_cast<InstanceFactory>(dlsym(handle, (name + "_Create_InstanceMI").c_str()));
    auto methodFactory =
        reinterpret_cast<MethodFactory>(dlsym(handle, (name + "_Create_MethodMI").c_str()));
    if (instanceFactory == nullptr && methodFactory == nullptr) {
        if (error) {
            *error = library + " has no factory for provider " + name;
        }
        dlclose(handle);
        return nullptr;
    }
    auto provider = std::make_shared<Provider>();
    provider->name = name;
    provider->library = library;
    provider->handle = handle;
    CMPIContext *context = new_context();
    CMPIStatus status{CMPI_RC_OK, nullptr};
    {
        CallScope scope;
        if (instanceFactory != nullptr) {
            provider->instanceMI = instanceFactory(broker(), context, &status);
        }
        if (methodFactory != nullptr) {
            provider->methodMI = methodFactory(broker(), context, &status);
        }
    }
    context->ft->release(context);
    return provider;
}

void register_provider(const std::string &nameSpace, const std::string &className,
                       std::shared_ptr<Provider> provider) {
    Registry &reg = registry();
    std::unique_lock<std::shared_mutex> guard(reg.lock);
    reg.routes[{lowered(nameSpace), lowered(className)}] = std::move(provider);
}

std::shared_ptr<Provider> find_provider(const std::string &nameSpace,
                                        const std::string &className) {
    Registry &reg = registry();
    std::shared_lock<std::shared_mutex> guard(reg.lock);
    auto found = reg.routes.find({lowered(nameSpace), lowered(className)});
    return found == reg.routes.end() ? nullptr : found->second;
}

void clear_registrations() {
    Registry &reg = registry();
    std::unique_lock<std::shared_mutex> guard(reg.lock);
    reg.routes.clear();
}

} // namespace hostsim
