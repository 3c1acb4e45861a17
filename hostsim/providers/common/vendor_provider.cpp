#include "vendor_provider.h"

#include <sys/stat.h>

#include <cmpi/cmpimacs.h>

namespace hostsim::providers {

namespace {

constexpr const char *kFileScheme = "file://";
constexpr const char *kInstallMethod = "InstallFromURI";

} // namespace

std::string local_path_of(const std::string &uri) {
    const std::string scheme = kFileScheme;
    std::string path = uri.compare(0, scheme.size(), scheme) == 0 ? uri.substr(scheme.size()) : uri;
    return !path.empty() && path[0] == '/' ? path : "";
}

bool payload_present(const std::string &uri, PayloadKind kind) {
    const std::string path = local_path_of(uri);
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0) {
        return false;
    }
    return kind == PayloadKind::kFile ? S_ISREG(info.st_mode) : S_ISDIR(info.st_mode);
}

CMPIStatus VendorProvider::invoke(const sim::Request &request, const std::string &method,
                                  const CMPIArgs *in, CMPIArgs *out) {
    if (!sim::same_name(method, kInstallMethod)) {
        return SimProvider::invoke(request, method, in, out);
    }
    std::string key;
    const sim::Json *entry = method_entry(request, method, &key);
    sim::MethodReply reply =
        entry ? sim::method_reply(key, *entry, 0)
              : sim::method_reply(section_name() + "." + method, sim::Json::object(), 0);
    if (!reply.fail && !payload_present(sim::argument_text(in, "URI"), payload_)) {
        reply.returnValue = kPathMissing;
    }
    return sim::send_reply(request.broker, request.result, out, reply);
}

} // namespace hostsim::providers
