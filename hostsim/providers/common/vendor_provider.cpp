#include "vendor_provider.h"

#include <sys/stat.h>

#include <cmpi/cmpimacs.h>

namespace hostsim::providers {

namespace {

constexpr const char *kFileScheme = "file://";
constexpr const char *kInstallMethod = "InstallFromURI";

// The URI argument as text; empty when absent or not a string.
std::string uri_argument(const CMPIArgs *in) {
    if (in == nullptr) {
        return "";
    }
    CMPIData uri = CMGetArg(in, "URI", nullptr);
    if (uri.state & (CMPI_nullValue | CMPI_notFound | CMPI_badValue)) {
        return "";
    }
    if (uri.type == CMPI_string) {
        return sim::chars_of(uri.value.string);
    }
    if (uri.type == CMPI_chars && uri.value.chars != nullptr) {
        return uri.value.chars;
    }
    return "";
}

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
    if (!lists(request, request.className, request.path)) {
        return sim::error_status(request.broker, CMPI_RC_ERR_NOT_FOUND,
                                 "no such service: " + sim::path_text(request.path));
    }
    std::string key;
    const sim::Json *entry = method_entry(request, method, &key);
    sim::MethodReply reply =
        entry ? sim::method_reply(key, *entry, 0)
              : sim::method_reply(section_name() + "." + method, sim::Json::object(), 0);
    if (!reply.fail && !payload_present(uri_argument(in), payload_)) {
        reply.returnValue = kPathMissing;
    }
    return sim::send_reply(request.broker, request.result, out, reply);
}

} // namespace hostsim::providers
