// CIM type names and lookups in class declarations. CIM names compare without case.
#include <strings.h>

#include "class_decl.h"

namespace hostsim::server {

namespace {

struct TypeName {
    const char *name;
    CMPIType type;
};

const TypeName kTypeNames[] = {
    {"boolean", CMPI_boolean}, {"char16", CMPI_char16},     {"real32", CMPI_real32},
    {"real64", CMPI_real64},   {"uint8", CMPI_uint8},       {"uint16", CMPI_uint16},
    {"uint32", CMPI_uint32},   {"uint64", CMPI_uint64},     {"sint8", CMPI_sint8},
    {"sint16", CMPI_sint16},   {"sint32", CMPI_sint32},     {"sint64", CMPI_sint64},
    {"string", CMPI_string},   {"datetime", CMPI_dateTime}, {"reference", CMPI_ref},
};

template <class Decl>
const Decl *find_named(const std::vector<Decl> &decls, const std::string &name) {
    for (const Decl &decl : decls) {
        if (same_name(decl.name, name)) {
            return &decl;
        }
    }
    return nullptr;
}

} // namespace

bool same_name(const std::string &a, const std::string &b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool type_from_cim_name(const std::string &name, CMPIType *base) {
    for (const TypeName &entry : kTypeNames) {
        if (same_name(entry.name, name)) {
            *base = entry.type;
            return true;
        }
    }
    return false;
}

const char *cim_type_name(CMPIType type) {
    CMPIType base = static_cast<CMPIType>(type & ~CMPI_ARRAY);
    if (base == CMPI_chars || base == CMPI_charsptr) {
        return "string";
    }
    for (const TypeName &entry : kTypeNames) {
        if (entry.type == base) {
            return entry.name;
        }
    }
    return nullptr;
}

const PropertyDecl *find_property(const ClassDecl &decl, const std::string &name) {
    return find_named(decl.properties, name);
}

const MethodDecl *find_method(const ClassDecl &decl, const std::string &name) {
    return find_named(decl.methods, name);
}

const ParameterDecl *find_parameter(const MethodDecl &method, const std::string &name) {
    return find_named(method.parameters, name);
}

} // namespace hostsim::server
