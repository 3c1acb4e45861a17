// What the simulated adapter and firmware-update providers share: their instances come straight
// from the scenario, and their InstallFromURI installs only a payload that is really there. The
// management controller reads its firmware file by the same rules.
#pragma once

#include <string>
#include <utility>

#include "hostsimkit.h"

namespace hostsim::providers {

// Install code of a payload that is not where the URI says.
constexpr CMPIUint32 kPathMissing = 4107;

// What a vendor installs from: one payload file, or a directory of unpacked firmware.
enum class PayloadKind { kFile, kDirectory };

// The local path a payload URI names: the path of a "file://" URI, or an absolute path as it
// stands; empty for any other URI, which no local provider can read.
std::string local_path_of(const std::string &uri);

// Whether `uri` names an existing local payload of `kind`.
bool payload_present(const std::string &uri, PayloadKind kind);

// InstallFromURI, once its rule has let the request through (a listed service instance, the
// arguments with their types, a listed Target), answers the scenario's reply for the call (0
// when the scenario lists none), except that a payload which is not there gives 4107; a failing
// "status" wins over both. Other methods and all instances are the kit's.
class VendorProvider : public sim::SimProvider {
  public:
    VendorProvider(std::string providerName, std::string sectionName, PayloadKind payload)
        : SimProvider(std::move(providerName), std::move(sectionName)), payload_(payload) {}

    CMPIStatus invoke(const sim::Request &request, const std::string &method, const CMPIArgs *in,
                      CMPIArgs *out) override;

  private:
    PayloadKind payload_;
};

// The two kinds as provider types for HOSTSIM_SIM_PROVIDER.
class FilePayloadProvider : public VendorProvider {
  public:
    FilePayloadProvider(std::string providerName, std::string sectionName)
        : VendorProvider(std::move(providerName), std::move(sectionName), PayloadKind::kFile) {}
};

class DirectoryPayloadProvider : public VendorProvider {
  public:
    DirectoryPayloadProvider(std::string providerName, std::string sectionName)
        : VendorProvider(std::move(providerName), std::move(sectionName), PayloadKind::kDirectory) {
    }
};

} // namespace hostsim::providers
