// Intrinsic methods: class declarations from the repository, instances from the providers.
#include <cmpi/cmpimacs.h>

#include "cim_fault.h"
#include "cimxml_decode.h"
#include "cimxml_encode.h"
#include "hostsim_broker.h"
#include "operation_support.h"
#include "operations.h"
#include "protocol_error.h"
#include "xml_tree.h"

namespace hostsim::server {

namespace {

struct Call {
    const CallEnv &env;
    std::string nameSpace;
    NamedParameters params;
    XmlWriter &result; // the IRETURNVALUE, if any
};

std::string required_class_name(Call &call) {
    const xmlNode *param = call.params.take("ClassName");
    std::optional<std::string> name = param ? class_name_parameter(param) : std::nullopt;
    if (!name) {
        throw invalid_parameter("ClassName is required");
    }
    return *name;
}

bool flag(Call &call, const char *name, bool fallback) {
    const xmlNode *param = call.params.take(name);
    return param ? boolean_parameter(param).value_or(fallback) : fallback;
}

PropertyList property_list(Call &call) {
    const xmlNode *param = call.params.take("PropertyList");
    return param ? property_list_parameter(param) : std::nullopt;
}

CMPIObjectPath *required_instance_name(Call &call) {
    const xmlNode *param = call.params.take("InstanceName");
    std::vector<const xmlNode *> name = child_elements(param);
    if (param == nullptr || name.size() != 1) {
        throw invalid_parameter("InstanceName is required");
    }
    return instance_path(call.env.classes, call.nameSpace, name.front());
}

// The names as the broker takes them, null-terminated; empty when every property is wanted.
std::vector<const char *> name_list(const PropertyList &properties) {
    std::vector<const char *> list;
    if (properties) {
        for (const std::string &name : *properties) {
            list.push_back(name.c_str());
        }
        list.push_back(nullptr);
    }
    return list;
}

std::string class_of(const CMPIObjectPath *path) {
    CMPIString *name = CMGetClassName(path, nullptr);
    const char *chars = name ? CMGetCharsPtr(name, nullptr) : nullptr;
    return chars ? chars : "";
}

// The name of an enumerated instance: its path, or when the provider left the keys out of it,
// the path with the class's key properties, as a CIM server names instances.
CMPIObjectPath *instance_name_of(const Call &call, const CMPIInstance *instance) {
    CMPIObjectPath *path = CMGetObjectPath(instance, nullptr);
    std::optional<ClassDecl> decl = path && CMGetKeyCount(path, nullptr) == 0
                                        ? call.env.classes.resolve(class_of(path))
                                        : std::nullopt;
    for (size_t i = 0; decl && i < decl->properties.size(); ++i) {
        const PropertyDecl &property = decl->properties[i];
        CMPIStatus status{CMPI_RC_OK, nullptr};
        CMPIData value = CMGetProperty(instance, property.name.c_str(), &status);
        if (property.key && status.rc == CMPI_RC_OK && (value.state & CMPI_nullValue) == 0) {
            CMAddKey(path, property.name.c_str(), &value.value, value.type);
        }
    }
    return path;
}

// Before a provider is asked about one instance: the namespace exists and someone serves the
// class there.
void check_instance_target(const Call &call, const std::string &className) {
    check_namespace(call.env.classes, call.nameSpace, className);
    if (routed(call.nameSpace, className)) {
        return;
    }
    if (!call.env.classes.has(className)) {
        throw CimFault(CMPI_RC_ERR_INVALID_CLASS, "no class " + className);
    }
    throw CimFault(CMPI_RC_ERR_NOT_FOUND,
                   "no provider serves " + className + " in " + call.nameSpace);
}

// The class and the declared subclasses that a provider serves in the namespace; empty for a
// declared class nobody serves. CIM_ERR_INVALID_CLASS for a class nobody knows.
std::vector<std::string> enumeration_targets(const Call &call, const std::string &className) {
    check_namespace(call.env.classes, call.nameSpace, className);
    std::vector<std::string> targets;
    if (routed(call.nameSpace, className)) {
        targets.push_back(className);
    } else if (!call.env.classes.has(className)) {
        throw CimFault(CMPI_RC_ERR_INVALID_CLASS, "no class " + className);
    }
    for (const std::string &declared : call.env.classes.class_names()) {
        if (!same_name(declared, className) && call.env.classes.derives_from(declared, className) &&
            routed(call.nameSpace, declared)) {
            targets.push_back(declared);
        }
    }
    return targets;
}

std::vector<CMPIData> enumerate(Call &call, const std::string &className, bool names,
                                const PropertyList &properties) {
    std::vector<const char *> list = name_list(properties);
    CallContext context(call.nameSpace, call.env.principal);
    std::vector<CMPIData> found;
    for (const std::string &target : enumeration_targets(call, className)) {
        CMPIObjectPath *path =
            CMNewObjectPath(broker(), call.nameSpace.c_str(), target.c_str(), nullptr);
        CMPIStatus status{CMPI_RC_OK, nullptr};
        CMPIEnumeration *items =
            names ? CBEnumInstanceNames(broker(), context.get(), path, &status)
                  : CBEnumInstances(broker(), context.get(), path,
                                    list.empty() ? nullptr : list.data(), &status);
        check_status(status, "enumerating " + target);
        while (items != nullptr && CMHasNext(items, nullptr)) {
            found.push_back(CMGetNext(items, nullptr));
        }
    }
    return found;
}

void get_class(Call &call) {
    std::string className = required_class_name(call);
    ClassOptions options;
    options.localOnly = flag(call, "LocalOnly", true);
    options.qualifiers = flag(call, "IncludeQualifiers", true);
    options.classOrigin = flag(call, "IncludeClassOrigin", false);
    options.properties = property_list(call);
    call.params.check_all_taken();
    check_namespace(call.env.classes, call.nameSpace, className);
    std::optional<ClassDecl> decl = call.env.classes.resolve(className);
    if (!decl) {
        throw CimFault(CMPI_RC_ERR_NOT_FOUND, "no class " + className);
    }
    call.result.start("IRETURNVALUE");
    write_class(call.result, *decl, options);
    call.result.end();
}

void enumerate_instances(Call &call) {
    std::string className = required_class_name(call);
    for (const char *ignored :
         {"LocalOnly", "DeepInheritance", "IncludeQualifiers", "IncludeClassOrigin"}) {
        flag(call, ignored, false);
    }
    PropertyList properties = property_list(call);
    call.params.check_all_taken();
    std::vector<CMPIData> instances = enumerate(call, className, false, properties);
    Encoder encoder(call.result);
    call.result.start("IRETURNVALUE");
    for (const CMPIData &item : instances) {
        call.result.start("VALUE.NAMEDINSTANCE");
        encoder.instance_name(instance_name_of(call, item.value.inst));
        encoder.instance(item.value.inst, properties);
        call.result.end();
    }
    call.result.end();
}

void enumerate_instance_names(Call &call) {
    std::string className = required_class_name(call);
    call.params.check_all_taken();
    std::vector<CMPIData> names = enumerate(call, className, true, std::nullopt);
    Encoder encoder(call.result);
    call.result.start("IRETURNVALUE");
    for (const CMPIData &item : names) {
        encoder.instance_name(item.value.ref);
    }
    call.result.end();
}

void get_instance(Call &call) {
    CMPIObjectPath *path = required_instance_name(call);
    for (const char *ignored : {"LocalOnly", "IncludeQualifiers", "IncludeClassOrigin"}) {
        flag(call, ignored, false);
    }
    PropertyList properties = property_list(call);
    call.params.check_all_taken();
    check_instance_target(call, class_of(path));
    std::vector<const char *> list = name_list(properties);
    CallContext context(call.nameSpace, call.env.principal);
    CMPIStatus status{CMPI_RC_OK, nullptr};
    CMPIInstance *instance =
        CBGetInstance(broker(), context.get(), path, list.empty() ? nullptr : list.data(), &status);
    check_status(status, "no such instance");
    if (instance == nullptr) {
        throw CimFault(CMPI_RC_ERR_NOT_FOUND, "no such instance");
    }
    call.result.start("IRETURNVALUE");
    Encoder(call.result).instance(instance, properties);
    call.result.end();
}

void delete_instance(Call &call) {
    CMPIObjectPath *path = required_instance_name(call);
    call.params.check_all_taken();
    check_instance_target(call, class_of(path));
    CallContext context(call.nameSpace, call.env.principal);
    check_status(CBDeleteInstance(broker(), context.get(), path), "cannot delete the instance");
}

struct Intrinsic {
    const char *name;
    void (*run)(Call &call);
};

const Intrinsic kIntrinsics[] = {
    {"GetClass", get_class},
    {"EnumerateInstances", enumerate_instances},
    {"EnumerateInstanceNames", enumerate_instance_names},
    {"GetInstance", get_instance},
    {"DeleteInstance", delete_instance},
};

} // namespace

void intrinsic_call(const CallEnv &env, const xmlNode *call, XmlWriter &out) {
    std::string name = call_name(call);
    std::vector<const xmlNode *> children = child_elements(call);
    if (children.empty() || !is_element(children.front(), "LOCALNAMESPACEPATH")) {
        throw not_valid("IMETHODCALL needs a LOCALNAMESPACEPATH first");
    }
    for (size_t i = 1; i < children.size(); ++i) {
        if (!is_element(children[i], "IPARAMVALUE")) {
            throw not_valid("IMETHODCALL holds IPARAMVALUE elements after its namespace");
        }
    }
    out.start("IMETHODRESPONSE").attribute("NAME", name);
    XmlWriter result(false);
    try {
        const Intrinsic *intrinsic = nullptr;
        for (const Intrinsic &candidate : kIntrinsics) {
            intrinsic = same_name(candidate.name, name) ? &candidate : intrinsic;
        }
        if (intrinsic == nullptr) {
            throw CimFault(CMPI_RC_ERR_NOT_SUPPORTED, name + " is not supported");
        }
        Call state{env, local_namespace(children.front()),
                   NamedParameters({children.begin() + 1, children.end()}), result};
        intrinsic->run(state);
        out.raw(result.finish());
    } catch (const CimFault &fault) {
        write_error(out, fault.code(), fault.what());
    }
    out.end();
}

} // namespace hostsim::server
