// Feeds arbitrary requests to hostsim serve's CIM-XML request handler. The input's first line is
// the CIMMethod header, its second the CIMObject header, the rest the body. A provider in this
// process serves "fuzz/cimv2:Fuzz_Thing" (instances, names, deletion, and methods that hand
// their input back as output), so that decoding, routing and encoding all run.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include <cmpi/cmpimacs.h>

#include "class_repository.h"
#include "hostsim_broker.h"
#include "request_handler.h"

namespace {

constexpr const char *kNameSpace = "fuzz/cimv2";
constexpr const char *kClass = "Fuzz_Thing";

constexpr const char *kMof = R"(
class Fuzz_Thing : CIM_ManagedElement {
    [Key] string Id;
    [Key] uint16 Slot;
    Fuzz_Thing REF Peer;
    uint32 Echo([IN] string S, [IN] uint16 A[], [IN] sint64 N, [IN] real32 R, [IN] boolean B,
                [IN] char16 C, [IN] datetime D, [IN] Fuzz_Thing REF P, [IN] Fuzz_Thing REF Ps[],
                [IN ( false ), OUT] string Out);
};)";

void require(bool ok) {
    if (!ok) {
        std::abort();
    }
}

CMPIInstance *thing(const CMPIObjectPath *path) {
    CMPIInstance *instance = CMNewInstance(hostsim::broker(), path, nullptr);
    CMSetProperty(instance, "Id", "one \"<&>\"", CMPI_chars);
    CMPIUint16 slot = 3;
    CMSetProperty(instance, "Slot", &slot, CMPI_uint16);
    CMSetProperty(instance, "Peer", &path, CMPI_ref);
    return instance;
}

CMPIObjectPath *thing_path() {
    CMPIObjectPath *path = CMNewObjectPath(hostsim::broker(), kNameSpace, kClass, nullptr);
    CMAddKey(path, "Id", "one \"<&>\"", CMPI_chars);
    CMPIUint16 slot = 3;
    CMAddKey(path, "Slot", &slot, CMPI_uint16);
    return path;
}

CMPIStatus ok() {
    return CMPIStatus{CMPI_RC_OK, nullptr};
}
CMPIStatus cleanup(CMPIInstanceMI *, const CMPIContext *, CMPIBoolean) {
    return ok();
}
CMPIStatus names(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *result,
                 const CMPIObjectPath *) {
    CMReturnObjectPath(result, thing_path());
    CMReturnDone(result);
    return ok();
}
CMPIStatus instances(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *result,
                     const CMPIObjectPath *, const char **) {
    CMReturnInstance(result, thing(thing_path()));
    CMReturnDone(result);
    return ok();
}
CMPIStatus get(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *result,
               const CMPIObjectPath *path, const char **) {
    CMReturnInstance(result, thing(path));
    CMReturnDone(result);
    return ok();
}
CMPIStatus refuse(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *, const CMPIObjectPath *,
                  const CMPIInstance *) {
    return CMPIStatus{CMPI_RC_ERR_NOT_SUPPORTED, nullptr};
}
CMPIStatus refuse_modify(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
                         const CMPIObjectPath *, const CMPIInstance *, const char **) {
    return CMPIStatus{CMPI_RC_ERR_NOT_SUPPORTED, nullptr};
}
CMPIStatus remove(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *,
                  const CMPIObjectPath *) {
    return ok();
}
CMPIStatus query(CMPIInstanceMI *, const CMPIContext *, const CMPIResult *, const CMPIObjectPath *,
                 const char *, const char *) {
    return CMPIStatus{CMPI_RC_ERR_NOT_SUPPORTED, nullptr};
}
CMPIStatus method_cleanup(CMPIMethodMI *, const CMPIContext *, CMPIBoolean) {
    return ok();
}
// Every input argument comes back as an output argument, and the return value is their count.
CMPIStatus invoke(CMPIMethodMI *, const CMPIContext *, const CMPIResult *result,
                  const CMPIObjectPath *, const char *, const CMPIArgs *in, CMPIArgs *out) {
    CMPICount count = in ? CMGetArgCount(in, nullptr) : 0;
    for (CMPICount i = 0; i < count; ++i) {
        CMPIString *name = nullptr;
        CMPIData arg = CMGetArgAt(in, i, &name, nullptr);
        const char *chars = name ? CMGetCharsPtr(name, nullptr) : nullptr;
        require(chars != nullptr);
        bool null = (arg.state & CMPI_nullValue) != 0;
        CMAddArg(out, chars, null ? nullptr : &arg.value, arg.type);
    }
    CMPIUint32 returned = count;
    CMReturnData(result, &returned, CMPI_uint32);
    CMReturnDone(result);
    return ok();
}

CMPIInstanceMIFT instanceFT = {CMPICurrentVersion,
                               CMPICurrentVersion,
                               "fuzz",
                               cleanup,
                               names,
                               instances,
                               get,
                               refuse,
                               refuse_modify,
                               remove,
                               query};
CMPIMethodMIFT methodFT = {CMPICurrentVersion, CMPICurrentVersion, "fuzz", method_cleanup, invoke};
CMPIInstanceMI instanceMI = {nullptr, &instanceFT};
CMPIMethodMI methodMI = {nullptr, &methodFT};

const hostsim::server::RequestHandler &handler() {
    static hostsim::server::ClassRepository classes;
    static hostsim::server::RequestHandler instance = [] {
        std::string error;
        require(classes.add_mof(kMof, "fuzz.mof", &error));
        auto provider = std::make_shared<hostsim::Provider>();
        provider->name = "FuzzProvider";
        provider->instanceMI = &instanceMI;
        provider->methodMI = &methodMI;
        hostsim::register_provider(kNameSpace, kClass, provider);
        // Small bounds, so that inputs reach them.
        hostsim::server::ServerSettings settings;
        settings.maxBodySize = 64 * 1024;
        settings.bounds = {200, 8, 12};
        return hostsim::server::RequestHandler(classes, settings);
    }();
    return instance;
}

std::string line(const std::string &input, size_t *at) {
    size_t end = input.find('\n', *at);
    std::string text = input.substr(*at, end == std::string::npos ? std::string::npos : end - *at);
    *at = end == std::string::npos ? input.size() : end + 1;
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t at = 0;
    hostsim::server::HttpRequest request;
    request.method = "POST";
    request.path = "/cimom";
    request.headers = {{"CIMOperation", "MethodCall"},
                       {"CIMMethod", line(input, &at)},
                       {"CIMObject", line(input, &at)}};
    request.body = input.substr(at);
    hostsim::server::HttpResponse response = handler().handle(request);
    require(response.status == 200 || response.status == 400 || response.status == 413 ||
            response.status == 501);
    require(response.status == 200 || response.body.empty());
    require(response.status != 200 || response.body.rfind("<?xml", 0) == 0);
    return 0;
}
