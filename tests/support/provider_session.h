// Loads the installed provider library through the simulated broker, as sfcb loads it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <cmpi/cmpimacs.h>

#include "hostsim_broker.h"

namespace testprovider {

constexpr const char *kLibrary = "/usr/lib/cim/libzelkprovider.so";
constexpr const char *kName = "QEL_VMWarePackageInstallationProvider";
constexpr const char *kNameSpace = "zelk/cimv2";
constexpr const char *kClass = "XORVO_VMpkgInstallationService";

inline std::shared_ptr<hostsim::Provider> load() {
    std::string error;
    auto provider = hostsim::load_provider(kLibrary, kName, &error);
    EXPECT_NE(nullptr, provider) << error;
    return provider;
}

inline CMPIObjectPath *service_path(const char *className = kClass) {
    return CMNewObjectPath(hostsim::broker(), kNameSpace, className, nullptr);
}

inline std::string text_of(const CMPIData &data) {
    return hostsim::to_text(data);
}

inline std::string property(const CMPIInstance *instance, const char *name) {
    return text_of(CMGetProperty(instance, name, nullptr));
}

inline std::string key(const CMPIObjectPath *path, const char *name) {
    return text_of(CMGetKey(path, name, nullptr));
}

} // namespace testprovider
