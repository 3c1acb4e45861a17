// libsimhypervisor.so: the hypervisor's update service in root/cimv2.
// VMware_SoftwareInstallationService instances (their SystemName key is the host name),
// OMC_UnitaryComputerSystem, and InstallFromURI (URI string, Target ref to the computer
// system), which answers the scenario's return value, 4096 by default, and starts the
// VMware_ConcreteJob whose JobStatus walks the scenario's texts, one step per poll. The request
// must pass its rule (sim_request_rules.h: a listed service instance, a Target naming a listed
// computer system) and name a bundle; the bundle itself is not read.

#include <cmpi/cmpimacs.h>

#include "hostsimkit.h"

namespace {

using hostsim::sim::Json;
using hostsim::sim::Request;

constexpr const char *kServiceClass = "VMware_SoftwareInstallationService";
constexpr const char *kInstallMethod = "InstallFromURI";
constexpr CMPIUint32 kJobStarted = 4096;

using hostsim::sim::same_name;

class HypervisorProvider : public hostsim::sim::SimProvider {
  public:
    using SimProvider::SimProvider;

    CMPIStatus invoke(const Request &request, const std::string &method, const CMPIArgs *in,
                      CMPIArgs *out) override {
        if (!same_name(method, kInstallMethod) || !same_name(request.className, kServiceClass)) {
            return SimProvider::invoke(request, method, in, out);
        }
        if (hostsim::sim::argument_text(in, "URI").empty()) {
            return refuse(request, method,
                          {hostsim::sim::Refusal::kBadArgument, "URI names no bundle"});
        }
        std::string key;
        const Json *entry = method_entry(request, method, &key);
        hostsim::sim::MethodReply reply =
            hostsim::sim::method_reply(entry ? key : section_name() + "." + method,
                                       entry ? *entry : Json::object(), kJobStarted);
        if (!reply.fail && request.section.contains("job")) {
            start_job();
        }
        return hostsim::sim::send_reply(request.broker, request.result, out, reply);
    }
};

} // namespace

HOSTSIM_SIM_PROVIDER(VMware_HypervisorProvider, HypervisorProvider, "hypervisor")
