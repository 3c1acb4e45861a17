// Decoding of names, references and parameter values from a parsed request.
#include <cmpi/cmpimacs.h>

#include "cim_fault.h"
#include "cim_values.h"
#include "cimxml_decode.h"
#include "hostsim_broker.h"
#include "xml_tree.h"

namespace hostsim::server {

namespace {

// References inside keys of references...: a few levels are plenty.
constexpr int kMaxReferenceDepth = 4;

void require(bool ok, const std::string &what) {
    if (!ok) {
        throw invalid_parameter(what);
    }
}

std::string required_attribute(const xmlNode *node, const char *name) {
    std::optional<std::string> value = attribute(node, name);
    require(value.has_value() && !value->empty(),
            name_of(node) + " without its " + std::string(name) + " attribute");
    return *value;
}

// The only child element of `node`, which must be there.
const xmlNode *only_child(const xmlNode *node) {
    std::vector<const xmlNode *> children = child_elements(node);
    require(children.size() == 1, name_of(node) + " must hold exactly one element");
    return children.front();
}

CMPIObjectPath *instance_path_at(const ClassRepository &classes, const std::string &nameSpace,
                                 const xmlNode *instanceName, int depth);

CMPIObjectPath *reference_at(const ClassRepository &classes, const std::string &nameSpace,
                             const xmlNode *valueReference, int depth) {
    require(is_element(valueReference, "VALUE.REFERENCE"), "expected VALUE.REFERENCE");
    require(depth < kMaxReferenceDepth, "references nested too deeply");
    const xmlNode *target = only_child(valueReference);
    if (is_element(target, "INSTANCENAME")) {
        return instance_path_at(classes, nameSpace, target, depth + 1);
    }
    std::vector<const xmlNode *> parts = child_elements(target);
    if (is_element(target, "INSTANCEPATH") && parts.size() == 2 &&
        is_element(parts[0], "NAMESPACEPATH")) {
        std::vector<const xmlNode *> where = child_elements(parts[0]);
        require(where.size() == 2 && is_element(where[1], "LOCALNAMESPACEPATH"),
                "NAMESPACEPATH needs HOST and LOCALNAMESPACEPATH");
        return instance_path_at(classes, local_namespace(where[1]), parts[1], depth + 1);
    }
    if (is_element(target, "LOCALINSTANCEPATH") && parts.size() == 2) {
        return instance_path_at(classes, local_namespace(parts[0]), parts[1], depth + 1);
    }
    throw invalid_parameter("a reference must name an instance, not " + name_of(target));
}

CMPIType key_type(const std::optional<ClassDecl> &decl, const std::string &name,
                  const xmlNode *keyValue) {
    const PropertyDecl *property = decl ? find_property(*decl, name) : nullptr;
    if (property != nullptr && !property->type.array && property->type.base != CMPI_ref) {
        return property->type.base;
    }
    CMPIType type = CMPI_string;
    if (std::optional<std::string> typeName = attribute(keyValue, "TYPE")) {
        require(type_from_cim_name(*typeName, &type) && type != CMPI_ref,
                "unknown key type '" + *typeName + "'");
        return type;
    }
    std::string valueType = attribute(keyValue, "VALUETYPE").value_or("string");
    std::string text = text_of(keyValue);
    if (valueType == "boolean") {
        return CMPI_boolean;
    }
    if (valueType == "numeric") {
        bool hex = text.find_first_of("xX") != std::string::npos;
        if (!hex && text.find_first_of(".eE") != std::string::npos) {
            return CMPI_real64;
        }
        return text.find('-') != std::string::npos ? CMPI_sint64 : CMPI_uint64;
    }
    require(valueType == "string", "unknown VALUETYPE '" + valueType + "'");
    return CMPI_string;
}

void add_key(const ClassRepository &classes, const std::optional<ClassDecl> &decl,
             const std::string &nameSpace, CMPIObjectPath *path, const std::string &name,
             const xmlNode *value, int depth) {
    if (is_element(value, "VALUE.REFERENCE")) {
        CMPIValue ref;
        ref.ref = reference_at(classes, nameSpace, value, depth);
        CMAddKey(path, name.c_str(), &ref, CMPI_ref);
        return;
    }
    require(is_element(value, "KEYVALUE"), "a key value must be KEYVALUE or VALUE.REFERENCE");
    require(child_elements(value).empty(), "KEYVALUE holds text only");
    CMPIType type = key_type(decl, name, value);
    CMPIValue typed = value_from_text(type, text_of(value), "key " + name);
    CMAddKey(path, name.c_str(), &typed, type);
}

CMPIObjectPath *instance_path_at(const ClassRepository &classes, const std::string &nameSpace,
                                 const xmlNode *instanceName, int depth) {
    require(is_element(instanceName, "INSTANCENAME"), "expected INSTANCENAME");
    std::string className = required_attribute(instanceName, "CLASSNAME");
    std::optional<ClassDecl> decl = classes.resolve(className);
    CMPIObjectPath *path = CMNewObjectPath(broker(), nameSpace.c_str(), className.c_str(), nullptr);
    require(path != nullptr, "no path for " + className);
    std::vector<const xmlNode *> children = child_elements(instanceName);
    if (children.size() == 1 && !is_element(children[0], "KEYBINDING")) {
        // A single key given without its name: the class says which key it is.
        std::vector<std::string> keys;
        for (size_t i = 0; decl && i < decl->properties.size(); ++i) {
            if (decl->properties[i].key) {
                keys.push_back(decl->properties[i].name);
            }
        }
        require(keys.size() == 1, "an unnamed key needs a declared class with one key");
        add_key(classes, decl, nameSpace, path, keys.front(), children[0], depth);
        return path;
    }
    for (const xmlNode *binding : children) {
        require(is_element(binding, "KEYBINDING"), "INSTANCENAME holds KEYBINDING elements");
        std::string name = required_attribute(binding, "NAME");
        add_key(classes, decl, nameSpace, path, name, only_child(binding), depth);
    }
    return path;
}

// The type of a parameter from its PARAMTYPE or, failing that, its content.
CimType undeclared_type(const xmlNode *paramValue, const xmlNode *content) {
    CimType type;
    type.array = is_element(content, "VALUE.ARRAY") || is_element(content, "VALUE.REFARRAY");
    bool reference =
        is_element(content, "VALUE.REFERENCE") || is_element(content, "VALUE.REFARRAY");
    type.base = reference ? CMPI_ref : CMPI_string;
    if (std::optional<std::string> name = attribute(paramValue, "PARAMTYPE")) {
        require(type_from_cim_name(*name, &type.base), "unknown PARAMTYPE '" + *name + "'");
    }
    return type;
}

CMPIValue element_value(const ClassRepository &classes, const std::string &nameSpace, CMPIType base,
                        const xmlNode *element, const std::string &what) {
    if (base == CMPI_ref) {
        CMPIValue value;
        value.ref = reference_at(classes, nameSpace, element, 0);
        return value;
    }
    require(is_element(element, "VALUE") && child_elements(element).empty(),
            what + ": expected a VALUE with text");
    return value_from_text(base, text_of(element), what);
}

CMPIArray *array_value(const ClassRepository &classes, const std::string &nameSpace, CMPIType base,
                       const xmlNode *content, const std::string &what) {
    std::vector<const xmlNode *> elements = child_elements(content);
    CMPIArray *array = CMNewArray(broker(), static_cast<CMPICount>(elements.size()), base, nullptr);
    require(array != nullptr, what + ": no array");
    for (size_t i = 0; i < elements.size(); ++i) {
        if (is_element(elements[i], "VALUE.NULL")) {
            continue; // elements start out null
        }
        CMPIValue value = element_value(classes, nameSpace, base, elements[i], what);
        CMSetArrayElementAt(array, static_cast<CMPICount>(i), &value, base);
    }
    return array;
}

} // namespace

std::string local_namespace(const xmlNode *path) {
    require(is_element(path, "LOCALNAMESPACEPATH"), "expected LOCALNAMESPACEPATH");
    std::string nameSpace;
    for (const xmlNode *part : child_elements(path)) {
        require(is_element(part, "NAMESPACE"), "LOCALNAMESPACEPATH holds NAMESPACE elements");
        nameSpace += (nameSpace.empty() ? "" : "/") + required_attribute(part, "NAME");
    }
    require(!nameSpace.empty(), "LOCALNAMESPACEPATH names no namespace");
    return nameSpace;
}

CMPIObjectPath *instance_path(const ClassRepository &classes, const std::string &nameSpace,
                              const xmlNode *instanceName) {
    return instance_path_at(classes, nameSpace, instanceName, 0);
}

CMPIObjectPath *reference_path(const ClassRepository &classes, const std::string &nameSpace,
                               const xmlNode *valueReference) {
    return reference_at(classes, nameSpace, valueReference, 0);
}

void add_parameter(const ClassRepository &classes, const std::string &nameSpace,
                   const xmlNode *paramValue, const CimType *declared, CMPIArgs *args) {
    std::string name = required_attribute(paramValue, "NAME");
    std::vector<const xmlNode *> children = child_elements(paramValue);
    require(children.size() <= 1, name + ": one value at most");
    const xmlNode *content = children.empty() ? nullptr : children.front();
    CimType type = declared ? *declared : undeclared_type(paramValue, content);
    if (content == nullptr) {
        CMAddArg(args, name.c_str(), nullptr, type.cmpi());
        return;
    }
    bool arrayContent = is_element(content, "VALUE.ARRAY") || is_element(content, "VALUE.REFARRAY");
    require(arrayContent == type.array,
            name + (type.array ? ": expected an array of values" : ": expected a single value"));
    bool refContent =
        is_element(content, "VALUE.REFERENCE") || is_element(content, "VALUE.REFARRAY");
    require(refContent == (type.base == CMPI_ref),
            name + (refContent ? ": a reference where a value belongs" : ": expected a reference"));
    CMPIValue value;
    if (type.array) {
        value.array = array_value(classes, nameSpace, type.base, content, name);
    } else {
        value = element_value(classes, nameSpace, type.base, content, name);
    }
    CMAddArg(args, name.c_str(), &value, type.cmpi());
}

std::optional<bool> boolean_parameter(const xmlNode *iparamValue) {
    std::vector<const xmlNode *> children = child_elements(iparamValue);
    if (children.empty()) {
        return std::nullopt;
    }
    std::string name = attribute(iparamValue, "NAME").value_or("");
    const xmlNode *value = only_child(iparamValue);
    require(is_element(value, "VALUE") && child_elements(value).empty(),
            name + ": expected a VALUE with text");
    return value_from_text(CMPI_boolean, text_of(value), name).boolean != 0;
}

std::optional<std::string> class_name_parameter(const xmlNode *iparamValue) {
    if (child_elements(iparamValue).empty()) {
        return std::nullopt;
    }
    const xmlNode *className = only_child(iparamValue);
    require(is_element(className, "CLASSNAME"), "expected CLASSNAME");
    return required_attribute(className, "NAME");
}

std::optional<std::vector<std::string>> property_list_parameter(const xmlNode *iparamValue) {
    if (child_elements(iparamValue).empty()) {
        return std::nullopt;
    }
    const xmlNode *array = only_child(iparamValue);
    require(is_element(array, "VALUE.ARRAY"), "PropertyList must be a VALUE.ARRAY");
    std::vector<std::string> names;
    for (const xmlNode *value : child_elements(array)) {
        require(is_element(value, "VALUE") && child_elements(value).empty(),
                "PropertyList holds VALUE elements");
        names.push_back(text_of(value));
    }
    return names;
}

} // namespace hostsim::server
