// CIM-XML encoding of instances, names, references, values and classes.
#include <cmpi/cmpimacs.h>

#include "cim_values.h"
#include "cimxml_encode.h"

namespace hostsim::server {

namespace {

std::string chars_of(const CMPIString *text) {
    const char *chars = text ? CMGetCharsPtr(text, nullptr) : nullptr;
    return chars ? chars : "";
}

bool is_null(const CMPIData &data) {
    return (data.state & CMPI_nullValue) != 0 || (data.state & CMPI_notFound) != 0;
}

CMPIType base_of(CMPIType type) {
    return static_cast<CMPIType>(type & ~CMPI_ARRAY);
}

const char *value_type_of(CMPIType type) {
    if (type == CMPI_boolean) {
        return "boolean";
    }
    bool numeric = (type & (CMPI_INTEGER | CMPI_REAL)) != 0 && (type & CMPI_ENC) == 0;
    return numeric ? "numeric" : "string";
}

void local_namespace_path(XmlWriter &out, const std::string &nameSpace) {
    out.start("LOCALNAMESPACEPATH");
    size_t start = 0;
    while (start <= nameSpace.size()) {
        size_t slash = nameSpace.find('/', start);
        size_t stop = slash == std::string::npos ? nameSpace.size() : slash;
        if (stop > start) {
            out.start("NAMESPACE").attribute("NAME", nameSpace.substr(start, stop - start)).end();
        }
        start = stop + 1;
    }
    out.end();
}

void boolean_qualifier(XmlWriter &out, const char *name) {
    out.start("QUALIFIER").attribute("NAME", name).attribute("TYPE", "boolean");
    out.element("VALUE", "TRUE").end();
}

void origin_attributes(XmlWriter &out, const ClassDecl &decl, const std::string &origin,
                       const ClassOptions &options) {
    if (options.classOrigin) {
        out.attribute("CLASSORIGIN", origin);
    }
    if (!same_name(origin, decl.name)) {
        out.attribute("PROPAGATED", "true");
    }
}

void class_property(XmlWriter &out, const ClassDecl &decl, const PropertyDecl &property,
                    const ClassOptions &options) {
    const CimType &type = property.type;
    if (type.base == CMPI_ref) {
        out.start("PROPERTY.REFERENCE").attribute("NAME", property.name);
        out.attribute("REFERENCECLASS", type.refClass);
    } else {
        out.start(type.array ? "PROPERTY.ARRAY" : "PROPERTY").attribute("NAME", property.name);
        out.attribute("TYPE", cim_type_name(type.base));
    }
    origin_attributes(out, decl, property.origin, options);
    if (options.qualifiers && property.key) {
        boolean_qualifier(out, "Key");
    }
    out.end();
}

void class_parameter(XmlWriter &out, const ParameterDecl &param, bool qualifiers) {
    const CimType &type = param.type;
    if (type.base == CMPI_ref) {
        out.start(type.array ? "PARAMETER.REFARRAY" : "PARAMETER.REFERENCE");
        out.attribute("NAME", param.name).attribute("REFERENCECLASS", type.refClass);
    } else {
        out.start(type.array ? "PARAMETER.ARRAY" : "PARAMETER").attribute("NAME", param.name);
        out.attribute("TYPE", cim_type_name(type.base));
    }
    if (qualifiers && param.in) {
        boolean_qualifier(out, "IN");
    }
    if (qualifiers && param.out) {
        boolean_qualifier(out, "OUT");
    }
    out.end();
}

} // namespace

bool listed(const PropertyList &properties, const std::string &name) {
    if (!properties) {
        return true;
    }
    for (const std::string &listedName : *properties) {
        if (same_name(listedName, name)) {
            return true;
        }
    }
    return false;
}

void Encoder::instance_name(const CMPIObjectPath *path) {
    out_.start("INSTANCENAME").attribute("CLASSNAME", chars_of(CMGetClassName(path, nullptr)));
    CMPICount count = CMGetKeyCount(path, nullptr);
    for (CMPICount i = 0; i < count; ++i) {
        CMPIString *name = nullptr;
        CMPIData key = CMGetKeyAt(path, i, &name, nullptr);
        out_.start("KEYBINDING").attribute("NAME", chars_of(name));
        if (key.type == CMPI_ref && !is_null(key)) {
            reference(key.value.ref);
        } else {
            out_.start("KEYVALUE").attribute("VALUETYPE", value_type_of(key.type));
            if (const char *type = cim_type_name(key.type)) {
                out_.attribute("TYPE", type);
            }
            out_.text(is_null(key) ? "" : value_text(key.type, key.value)).end();
        }
        out_.end();
    }
    out_.end();
}

void Encoder::reference(const CMPIObjectPath *path) {
    std::string nameSpace = chars_of(CMGetNameSpace(path, nullptr));
    out_.start("VALUE.REFERENCE");
    if (nameSpace.empty()) {
        instance_name(path);
    } else {
        out_.start("LOCALINSTANCEPATH");
        local_namespace_path(out_, nameSpace);
        instance_name(path);
        out_.end();
    }
    out_.end();
}

void Encoder::instance(const CMPIInstance *inst, const PropertyList &properties) {
    CMPIObjectPath *path = CMGetObjectPath(inst, nullptr);
    out_.start("INSTANCE").attribute("CLASSNAME", chars_of(CMGetClassName(path, nullptr)));
    CMPICount count = CMGetPropertyCount(inst, nullptr);
    for (CMPICount i = 0; i < count; ++i) {
        CMPIString *name = nullptr;
        CMPIData data = CMGetPropertyAt(inst, i, &name, nullptr);
        if (listed(properties, chars_of(name))) {
            property(chars_of(name), data);
        }
    }
    out_.end();
}

void Encoder::property(const std::string &name, const CMPIData &data) {
    CMPIType base = base_of(data.type);
    bool array = (data.type & CMPI_ARRAY) != 0;
    if (base == CMPI_instance && !array) {
        // An embedded instance travels as a string holding its INSTANCE element.
        out_.start("PROPERTY").attribute("NAME", name).attribute("TYPE", "string");
        out_.attribute("EmbeddedObject", "instance");
        if (!is_null(data)) {
            XmlWriter inner(false);
            Encoder(inner).instance(data.value.inst, std::nullopt);
            out_.element("VALUE", inner.finish());
        }
        out_.end();
        return;
    }
    if (base == CMPI_ref && !array) {
        out_.start("PROPERTY.REFERENCE").attribute("NAME", name);
    } else if (cim_type_name(base) != nullptr && base != CMPI_ref) {
        out_.start(array ? "PROPERTY.ARRAY" : "PROPERTY").attribute("NAME", name);
        out_.attribute("TYPE", cim_type_name(base));
    } else {
        return; // no CIM-XML property carries this type
    }
    if (!is_null(data)) {
        value(data);
    }
    out_.end();
}

void Encoder::scalar(const CMPIData &data) {
    if (is_null(data)) {
        out_.start("VALUE.NULL").end();
    } else if (data.type == CMPI_ref) {
        reference(data.value.ref);
    } else {
        out_.element("VALUE", value_text(data.type, data.value));
    }
}

bool Encoder::value(const CMPIData &data) {
    CMPIType base = base_of(data.type);
    if (base != CMPI_ref && cim_type_name(base) == nullptr) {
        return false;
    }
    if ((data.type & CMPI_ARRAY) == 0) {
        scalar(data);
        return true;
    }
    out_.start(base == CMPI_ref ? "VALUE.REFARRAY" : "VALUE.ARRAY");
    CMPICount count = data.value.array ? CMGetArrayCount(data.value.array, nullptr) : 0;
    for (CMPICount i = 0; i < count; ++i) {
        CMPIData element = CMGetArrayElementAt(data.value.array, i, nullptr);
        element.type = base;
        scalar(element);
    }
    out_.end();
    return true;
}

void write_class(XmlWriter &out, const ClassDecl &decl, const ClassOptions &options) {
    out.start("CLASS").attribute("NAME", decl.name);
    if (!decl.superclass.empty()) {
        out.attribute("SUPERCLASS", decl.superclass);
    }
    for (const PropertyDecl &property : decl.properties) {
        bool local = same_name(property.origin, decl.name);
        if ((local || !options.localOnly) && listed(options.properties, property.name)) {
            class_property(out, decl, property, options);
        }
    }
    for (const MethodDecl &method : decl.methods) {
        if (options.localOnly && !same_name(method.origin, decl.name)) {
            continue;
        }
        out.start("METHOD").attribute("NAME", method.name);
        out.attribute("TYPE", cim_type_name(method.returnType));
        origin_attributes(out, decl, method.origin, options);
        for (const ParameterDecl &param : method.parameters) {
            class_parameter(out, param, options.qualifiers);
        }
        out.end();
    }
    out.end();
}

} // namespace hostsim::server
