// libsimhypervisor.so: the hypervisor's update service in root/cimv2.
// VMware_SoftwareInstallationService instances (their SystemName key is the host name),
// OMC_UnitaryComputerSystem, and InstallFromURI (URI string, Target ref to the computer
// system), which answers the scenario's return value, 4096 by default, and starts the
// VMware_ConcreteJob whose JobStatus walks the scenario's texts, one step per poll. The request
// must name a listed service instance and a listed computer system; the bundle itself is not
// read.

#include <cmpi/cmpimacs.h>

#include "hostsimkit.h"

namespace {

using hostsim::sim::Json;
using hostsim::sim::Request;

constexpr const char *kServiceClass = "VMware_SoftwareInstallationService";
constexpr const char *kSystemClass = "OMC_UnitaryComputerSystem";
constexpr const char *kInstallMethod = "InstallFromURI";
constexpr CMPIUint32 kJobStarted = 4096;

using hostsim::sim::same_name;

bool present(const CMPIData &data) {
    return (data.state & (CMPI_nullValue | CMPI_notFound)) == 0;
}

class HypervisorProvider : public hostsim::sim::SimProvider {
  public:
    using SimProvider::SimProvider;

    CMPIStatus invoke(const Request &request, const std::string &method, const CMPIArgs *in,
                      CMPIArgs *out) override {
        if (!same_name(method, kInstallMethod) || !same_name(request.className, kServiceClass)) {
            return SimProvider::invoke(request, method, in, out);
        }
        const CMPIBroker *broker = request.broker;
        if (!lists(request, kServiceClass, request.path)) {
            return hostsim::sim::error_status(broker, CMPI_RC_ERR_NOT_FOUND,
                                              "no such service: " +
                                                  hostsim::sim::path_text(request.path));
        }
        CMPIData uri = in ? CMGetArg(in, "URI", nullptr) : CMPIData{};
        CMPIData target = in ? CMGetArg(in, "Target", nullptr) : CMPIData{};
        if (uri.type != CMPI_string || !present(uri) ||
            hostsim::sim::chars_of(uri.value.string).empty() || target.type != CMPI_ref ||
            !present(target) || target.value.ref == nullptr) {
            return hostsim::sim::error_status(
                broker, CMPI_RC_ERR_INVALID_PARAMETER,
                "InstallFromURI needs URI (string) and Target (reference)");
        }
        std::string targetClass = hostsim::sim::chars_of(CMGetClassName(target.value.ref, nullptr));
        if (!same_name(targetClass, kSystemClass) ||
            !lists(request, kSystemClass, target.value.ref)) {
            return hostsim::sim::error_status(broker, CMPI_RC_ERR_INVALID_PARAMETER,
                                              "Target names no computer system of this host: " +
                                                  hostsim::sim::path_text(target.value.ref));
        }
        std::string key;
        const Json *entry = method_entry(request, method, &key);
        hostsim::sim::MethodReply reply =
            hostsim::sim::method_reply(entry ? key : section_name() + "." + method,
                                       entry ? *entry : Json::object(), kJobStarted);
        if (!reply.fail && request.section.contains("job")) {
            start_job();
        }
        return hostsim::sim::send_reply(broker, request.result, out, reply);
    }
};

} // namespace

HOSTSIM_SIM_PROVIDER(VMware_HypervisorProvider, HypervisorProvider, "hypervisor")
