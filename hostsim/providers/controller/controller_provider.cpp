// libsimcontroller.so: the management controller's firmware-update service in qel/cimv2.
// QEL_SoftwareInstallationService.InstallFromURI (URI string, Update_Operation uint8: 0 primary
// bank, 1 backup bank) answers the scenario's return value, 4096 by default, and starts the
// CIM_ConcreteJob whose JobStatus walks the scenario's texts, one step per poll. The request must
// pass its rule (sim_request_rules.h), choose a bank that exists and name a firmware file that is
// really there, as the controller reads the image from that file.
#include <cmpi/cmpimacs.h>

#include "vendor_provider.h"

namespace {

using hostsim::sim::Json;
using hostsim::sim::Request;

constexpr const char *kServiceClass = "QEL_SoftwareInstallationService";
constexpr const char *kInstallMethod = "InstallFromURI";
constexpr CMPIUint32 kJobStarted = 4096;

using hostsim::sim::same_name;

class ControllerProvider : public hostsim::sim::SimProvider {
  public:
    using SimProvider::SimProvider;

    CMPIStatus invoke(const Request &request, const std::string &method, const CMPIArgs *in,
                      CMPIArgs *out) override {
        if (!same_name(method, kInstallMethod) || !same_name(request.className, kServiceClass)) {
            return SimProvider::invoke(request, method, in, out);
        }
        // The request's rule has made sure of the service and of both arguments' types.
        if (CMGetArg(in, "Update_Operation", nullptr).value.uint8 > 1) {
            return refuse(request, method,
                          {hostsim::sim::Refusal::kBadArgument,
                           "Update_Operation is 0 (primary bank) or 1 (backup bank)"});
        }
        std::string key;
        const Json *entry = method_entry(request, method, &key);
        hostsim::sim::MethodReply reply =
            hostsim::sim::method_reply(entry ? key : section_name() + "." + method,
                                       entry ? *entry : Json::object(), kJobStarted);
        if (!reply.fail &&
            !hostsim::providers::payload_present(hostsim::sim::argument_text(in, "URI"),
                                                 hostsim::providers::PayloadKind::kFile)) {
            reply.returnValue = hostsim::providers::kPathMissing;
        }
        // Only an accepted request has a job to follow.
        if (!reply.fail && reply.returnValue == kJobStarted && request.section.contains("job")) {
            start_job();
        }
        return hostsim::sim::send_reply(request.broker, request.result, out, reply);
    }
};

} // namespace

HOSTSIM_SIM_PROVIDER(QEL_ControllerProvider, ControllerProvider, "controller")
