// An in-process vendor CIM provider for installer tests: serves scripted instances of its
// classes, answers InstallFromURI with scripted codes and records every call it receives.
#pragma once

#include <memory>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include <cmpi/cmpimacs.h>

#include "hostsim_broker.h"
#include "in_process_mi.h"

namespace fakevendor {

using Texts = std::vector<std::pair<std::string, std::string>>;

struct Instance {
    Texts keys;
    Texts properties;
};

// One InstallFromURI as the vendor saw it. args: "name:type=value" joined by " | ".
struct Call {
    std::string service;
    std::string args;
    std::string targetDevice; // DeviceID key of the Target reference
    bool keysAreText = true;  // every key of the service path and of Target is a string
};

inline std::string type_name(CMPIType type) {
    return type == CMPI_uint16A  ? "uint16[]"
           : type == CMPI_ref    ? "ref"
           : type == CMPI_string ? "string"
                                 : "type" + std::to_string(type);
}

inline bool keys_are_text(const CMPIObjectPath *path) {
    bool text = true;
    for (CMPICount i = 0; i < CMGetKeyCount(path, nullptr); ++i) {
        text = text && CMGetKeyAt(path, i, nullptr, nullptr).type == CMPI_string;
    }
    return text;
}

// Returns `code` as a value of `type`: an integer type, CMPI_chars for its decimal text, or
// CMPI_null for no value at all.
inline void return_code(const CMPIResult *rslt, CMPIUint32 code, CMPIType type) {
    CMPIValue value{};
    switch (type) {
    case CMPI_chars:
        CMReturnData(rslt, std::to_string(code).c_str(), CMPI_chars);
        CMReturnDone(rslt);
        return;
    case CMPI_uint8:
        value.uint8 = static_cast<CMPIUint8>(code);
        break;
    case CMPI_sint8:
        value.sint8 = static_cast<CMPISint8>(code);
        break;
    case CMPI_uint16:
        value.uint16 = static_cast<CMPIUint16>(code);
        break;
    case CMPI_sint16:
        value.sint16 = static_cast<CMPISint16>(code);
        break;
    case CMPI_sint32:
        value.sint32 = static_cast<CMPISint32>(code);
        break;
    case CMPI_uint64:
        value.uint64 = code;
        break;
    case CMPI_sint64:
        value.sint64 = static_cast<CMPISint32>(code); // negative codes stay negative
        break;
    default:
        value.uint32 = code;
        break;
    }
    if (type != CMPI_null) {
        CMReturnData(rslt, &value, type);
    }
    CMReturnDone(rslt);
}

class Vendor : public InProcessMI<Vendor> {
  public:
    static constexpr const char *kMiName = "FakeVendor";

    explicit Vendor(std::string nameSpace) : nameSpace_(std::move(nameSpace)) {}
    ~Vendor() { hostsim::clear_registrations(); }

    void add(const std::string &className, Instance instance) {
        serve(className);
        instances_.emplace_back(className, std::move(instance));
    }
    void serve(const std::string &className) {
        hostsim::register_provider(nameSpace_, className, provider_);
    }

    std::vector<CMPIUint32> codes; // answer of the n-th call; 0 once they run out
    bool brokerError = false;      // answer every call with a failed status
    std::string brokerErrorText = "vendor provider failed"; // its message; none when empty
    // Type of the return value, the code converted to it; CMPI_null returns no value at all.
    CMPIType returnType = CMPI_uint32;
    std::vector<Call> calls;

  private:
    friend class InProcessMI<Vendor>;

    static CMPIStatus enumerate(CMPIInstanceMI *mi, const CMPIContext *, const CMPIResult *rslt,
                                const CMPIObjectPath *op, const char **) {
        const CMPIBroker *broker = hostsim::broker();
        std::string className = CMGetCharPtr(CMGetClassName(op, nullptr));
        for (const auto &[name, instance] : self(mi->hdl)->instances_) {
            if (name != className) {
                continue;
            }
            CMPIObjectPath *path =
                CMNewObjectPath(broker, self(mi->hdl)->nameSpace_.c_str(), name.c_str(), nullptr);
            for (const auto &[key, value] : instance.keys) {
                CMAddKey(path, key.c_str(), value.c_str(), CMPI_chars);
            }
            CMPIInstance *made = CMNewInstance(broker, path, nullptr);
            for (const auto &[property, value] : instance.properties) {
                CMSetProperty(made, property.c_str(), value.c_str(), CMPI_chars);
            }
            CMReturnInstance(rslt, made);
        }
        CMReturnDone(rslt);
        return ok();
    }

    static CMPIStatus invoke(CMPIMethodMI *mi, const CMPIContext *, const CMPIResult *rslt,
                             const CMPIObjectPath *op, const char *, const CMPIArgs *in,
                             CMPIArgs *) {
        Vendor *vendor = self(mi->hdl);
        Call call{hostsim::path_to_text(op), "", "", keys_are_text(op)};
        bool uriExists = true;
        for (CMPICount i = 0; i < CMGetArgCount(in, nullptr); ++i) {
            CMPIString *name = nullptr;
            CMPIData arg = CMGetArgAt(in, i, &name, nullptr);
            std::string argName = CMGetCharPtr(name);
            std::string value = hostsim::to_text(arg);
            call.args += (i ? " | " : "") + argName + ":" + type_name(arg.type) + "=" + value;
            if (arg.type == CMPI_ref) {
                call.keysAreText = call.keysAreText && keys_are_text(arg.value.ref);
                call.targetDevice = hostsim::to_text(CMGetKey(arg.value.ref, "DeviceID", nullptr));
            }
            if (argName == "URI") {
                // As a real provider would: the payload must be there to be installed.
                std::string path = value.rfind("file://", 0) == 0 ? value.substr(7) : value;
                struct stat info {};
                uriExists = stat(path.c_str(), &info) == 0;
            }
        }
        size_t n = vendor->calls.size();
        vendor->calls.push_back(call);
        if (vendor->brokerError && vendor->brokerErrorText.empty()) {
            CMReturn(CMPI_RC_ERR_FAILED);
        }
        if (vendor->brokerError) {
            CMReturnWithChars(hostsim::broker(), CMPI_RC_ERR_FAILED,
                              vendor->brokerErrorText.c_str());
        }
        CMPIUint32 code = !uriExists ? 4107 : n < vendor->codes.size() ? vendor->codes[n] : 0;
        return_code(rslt, code, vendor->returnType);
        return ok();
    }

    std::string nameSpace_;
    std::vector<std::pair<std::string, Instance>> instances_;
};

} // namespace fakevendor
