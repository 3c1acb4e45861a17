// libsimcontroller.so: the management controller's firmware-update service in qel/cimv2.
// QEL_SoftwareInstallationService.InstallFromURI (URI string, Update_Operation uint8: 0 primary
// bank, 1 backup bank) answers the scenario's return value, 4096 by default, and starts the
// CIM_ConcreteJob whose JobStatus walks the scenario's texts, one step per poll. The request must
// name a listed service instance and a firmware file that is really there, as the controller
// reads the image from that file.
#include <sys/stat.h>

#include <cmpi/cmpimacs.h>

#include "hostsimkit.h"

namespace {

using hostsim::sim::Json;
using hostsim::sim::Request;

constexpr const char *kServiceClass = "QEL_SoftwareInstallationService";
constexpr const char *kInstallMethod = "InstallFromURI";
constexpr CMPIUint32 kJobStarted = 4096;
constexpr CMPIUint32 kPathMissing = 4107;

using hostsim::sim::same_name;

// The firmware file's local path, or empty when the URI names none.
std::string local_file(const std::string &uri) {
    std::string path = uri.compare(0, 7, "file://") == 0 ? uri.substr(7) : uri;
    struct stat info {};
    return !path.empty() && path[0] == '/' && stat(path.c_str(), &info) == 0 &&
                   S_ISREG(info.st_mode)
               ? path
               : "";
}

class ControllerProvider : public hostsim::sim::SimProvider {
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
        CMPIData bank = in ? CMGetArg(in, "Update_Operation", nullptr) : CMPIData{};
        if (uri.type != CMPI_string || (uri.state & (CMPI_nullValue | CMPI_notFound)) ||
            bank.type != CMPI_uint8 || (bank.state & (CMPI_nullValue | CMPI_notFound)) ||
            bank.value.uint8 > 1) {
            return hostsim::sim::error_status(
                broker, CMPI_RC_ERR_INVALID_PARAMETER,
                "InstallFromURI needs URI (string) and Update_Operation (uint8, 0 or 1)");
        }
        std::string key;
        const Json *entry = method_entry(request, method, &key);
        hostsim::sim::MethodReply reply =
            hostsim::sim::method_reply(entry ? key : section_name() + "." + method,
                                       entry ? *entry : Json::object(), kJobStarted);
        if (!reply.fail && local_file(hostsim::sim::chars_of(uri.value.string)).empty()) {
            reply.returnValue = kPathMissing;
        }
        // Only an accepted request has a job to follow.
        if (!reply.fail && reply.returnValue == kJobStarted && request.section.contains("job")) {
            start_job();
        }
        return hostsim::sim::send_reply(broker, request.result, out, reply);
    }
};

} // namespace

HOSTSIM_SIM_PROVIDER(QEL_ControllerProvider, ControllerProvider, "controller")
