// Class declarations read from MOF: what GetClass answers, and the types that keys and method
// parameters arriving as CIM-XML text are given.
#pragma once

#include <string>
#include <vector>

#include <cmpi/cmpidt.h>

namespace hostsim::server {

// A CIM type: the base type (CMPI_ref for references), whether it is an array, and for
// references the class referred to.
struct CimType {
    CMPIType base = CMPI_string;
    bool array = false;
    std::string refClass;

    CMPIType cmpi() const { return array ? static_cast<CMPIType>(base | CMPI_ARRAY) : base; }
};

struct PropertyDecl {
    std::string name;
    CimType type;
    bool key = false;
    std::string origin; // the class that declared it last; set when a class is resolved
};

struct ParameterDecl {
    std::string name;
    CimType type;
    bool in = true;
    bool out = false;
};

struct MethodDecl {
    std::string name;
    CMPIType returnType = CMPI_uint32;
    std::vector<ParameterDecl> parameters;
    std::string origin;
};

struct ClassDecl {
    std::string name;
    std::string superclass; // empty for a root class
    std::vector<PropertyDecl> properties;
    std::vector<MethodDecl> methods;
    int line = 0; // of the declaration, for messages
};

// CIM-XML type names ("uint16", "string", "datetime", "reference", ...), without case; chars
// count as string. False for an unknown name.
bool type_from_cim_name(const std::string &name, CMPIType *base);
// The CIM-XML name of a base type (array bit ignored); "string" for chars, null when the type
// has no CIM-XML name (instances, args, ...).
const char *cim_type_name(CMPIType type);

bool same_name(const std::string &a, const std::string &b);

const PropertyDecl *find_property(const ClassDecl &decl, const std::string &name);
const MethodDecl *find_method(const ClassDecl &decl, const std::string &name);
const ParameterDecl *find_parameter(const MethodDecl &method, const std::string &name);

} // namespace hostsim::server
