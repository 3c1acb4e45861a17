// Extrinsic method calls: the target path and typed input parameters go to the provider
// through CBInvokeMethod; its return value and output parameters come back.
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

struct Target {
    std::string nameSpace;
    std::string className;
    CMPIObjectPath *path = nullptr;
};

// LOCALINSTANCEPATH (a method of an instance) or LOCALCLASSPATH (a static method).
Target target_of(const ClassRepository &classes, const xmlNode *element) {
    std::vector<const xmlNode *> parts = child_elements(element);
    bool instance = is_element(element, "LOCALINSTANCEPATH");
    if (parts.size() != 2 || !is_element(parts[1], instance ? "INSTANCENAME" : "CLASSNAME")) {
        throw not_valid(name_of(element) + " needs a namespace and a " +
                        (instance ? "INSTANCENAME" : "CLASSNAME"));
    }
    Target target;
    target.nameSpace = local_namespace(parts[0]);
    target.className = attribute(parts[1], instance ? "CLASSNAME" : "NAME").value_or("");
    if (target.className.empty()) {
        throw invalid_parameter("the target names no class");
    }
    target.path = instance ? instance_path(classes, target.nameSpace, parts[1])
                           : CMNewObjectPath(broker(), target.nameSpace.c_str(),
                                             target.className.c_str(), nullptr);
    return target;
}

// The declared method, when its class is declared.
const MethodDecl *declared_method(const std::optional<ClassDecl> &decl, const Target &target,
                                  const std::string &method) {
    if (!decl) {
        return nullptr;
    }
    const MethodDecl *declared = find_method(*decl, method);
    if (declared == nullptr) {
        throw CimFault(CMPI_RC_ERR_METHOD_NOT_FOUND, target.className + " has no method " + method);
    }
    return declared;
}

CMPIArgs *input_arguments(const ClassRepository &classes, const Target &target,
                          const MethodDecl *method, const std::vector<const xmlNode *> &params) {
    NamedParameters unique(params); // refuses a parameter given twice
    CMPIArgs *in = CMNewArgs(broker(), nullptr);
    for (const xmlNode *param : params) {
        const CimType *type = nullptr;
        if (method != nullptr) {
            std::string name = attribute(param, "NAME").value_or("");
            const ParameterDecl *declared = find_parameter(*method, name);
            if (declared == nullptr || !declared->in) {
                throw invalid_parameter(name + " is not an input parameter of " + method->name);
            }
            type = &declared->type;
        }
        add_parameter(classes, target.nameSpace, param, type, in);
    }
    return in;
}

void write_results(XmlWriter &out, const MethodDecl *method, const CMPIData &returned,
                   const CMPIArgs *outArgs) {
    Encoder encoder(out);
    bool hasValue = (returned.state & (CMPI_nullValue | CMPI_notFound)) == 0;
    const char *type = method                      ? cim_type_name(method->returnType)
                       : returned.type == CMPI_ref ? "reference"
                                                   : cim_type_name(returned.type);
    // No value, no RETURNVALUE: an empty one is valid too, but crashes wbemcli.
    if (hasValue) {
        out.start("RETURNVALUE");
        if (type != nullptr) {
            out.attribute("PARAMTYPE", type);
        }
        encoder.value(returned);
        out.end();
    }
    CMPICount count = outArgs ? CMGetArgCount(outArgs, nullptr) : 0;
    for (CMPICount i = 0; i < count; ++i) {
        CMPIString *name = nullptr;
        CMPIData arg = CMGetArgAt(outArgs, i, &name, nullptr);
        const char *chars = name ? CMGetCharsPtr(name, nullptr) : nullptr;
        CMPIType base = static_cast<CMPIType>(arg.type & ~CMPI_ARRAY);
        const char *argType = base == CMPI_ref ? "reference" : cim_type_name(base);
        // A null output parameter is left out, as a missing one.
        if (chars == nullptr || argType == nullptr ||
            (arg.state & (CMPI_nullValue | CMPI_notFound)) != 0) {
            continue;
        }
        out.start("PARAMVALUE").attribute("NAME", chars).attribute("PARAMTYPE", argType);
        encoder.value(arg);
        out.end();
    }
}

} // namespace

void extrinsic_call(const CallEnv &env, const xmlNode *call, XmlWriter &out) {
    std::string method = call_name(call);
    std::vector<const xmlNode *> children = child_elements(call);
    if (children.empty() || !(is_element(children.front(), "LOCALINSTANCEPATH") ||
                              is_element(children.front(), "LOCALCLASSPATH"))) {
        throw not_valid("METHODCALL needs a LOCALINSTANCEPATH or LOCALCLASSPATH first");
    }
    std::vector<const xmlNode *> params(children.begin() + 1, children.end());
    for (const xmlNode *param : params) {
        if (!is_element(param, "PARAMVALUE")) {
            throw not_valid("METHODCALL holds PARAMVALUE elements after its target");
        }
    }
    out.start("METHODRESPONSE").attribute("NAME", method);
    XmlWriter result(false);
    try {
        Target target = target_of(env.classes, children.front());
        check_namespace(env.classes, target.nameSpace, target.className);
        std::optional<ClassDecl> decl = env.classes.resolve(target.className);
        if (!routed(target.nameSpace, target.className)) {
            throw CimFault(decl ? CMPI_RC_ERR_NOT_FOUND : CMPI_RC_ERR_INVALID_CLASS,
                           "no provider serves " + target.className + " in " + target.nameSpace);
        }
        const MethodDecl *declared = declared_method(decl, target, method);
        CMPIArgs *in = input_arguments(env.classes, target, declared, params);
        CMPIArgs *outArgs = CMNewArgs(broker(), nullptr);
        CallContext context(target.nameSpace, env.principal);
        CMPIStatus status{CMPI_RC_OK, nullptr};
        CMPIData returned = CBInvokeMethod(broker(), context.get(), target.path, method.c_str(), in,
                                           outArgs, &status);
        check_status(status, method + " failed");
        write_results(result, declared, returned, outArgs);
        out.raw(result.finish());
    } catch (const CimFault &fault) {
        write_error(out, fault.code(), fault.what());
    }
    out.end();
}

} // namespace hostsim::server
