// CIM-XML request content (DSP0201) made into CMPI objects through the broker, in the current
// call scope. Keys and parameters take the types their class declares; where a class is not
// declared, the types the request names, else strings. Content that is malformed or of the
// wrong type throws CimFault(CIM_ERR_INVALID_PARAMETER).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <cmpi/cmpift.h>
#include <libxml/tree.h>

#include "class_repository.h"

namespace hostsim::server {

// The namespace of a LOCALNAMESPACEPATH: its NAMESPACE names joined by "/".
std::string local_namespace(const xmlNode *path);

// An INSTANCENAME as a path in `nameSpace`.
CMPIObjectPath *instance_path(const ClassRepository &classes, const std::string &nameSpace,
                              const xmlNode *instanceName);

// A VALUE.REFERENCE to an instance: INSTANCEPATH, LOCALINSTANCEPATH, or an INSTANCENAME in
// `nameSpace`.
CMPIObjectPath *reference_path(const ClassRepository &classes, const std::string &nameSpace,
                               const xmlNode *valueReference);

// Adds one PARAMVALUE to `args`, typed by `declared` when given, else by its PARAMTYPE, else
// by its content. An empty PARAMVALUE adds a null value.
void add_parameter(const ClassRepository &classes, const std::string &nameSpace,
                   const xmlNode *paramValue, const CimType *declared, CMPIArgs *args);

// IPARAMVALUE contents; nothing for a null (empty) parameter.
std::optional<bool> boolean_parameter(const xmlNode *iparamValue);
std::optional<std::string> class_name_parameter(const xmlNode *iparamValue);
std::optional<std::vector<std::string>> property_list_parameter(const xmlNode *iparamValue);

} // namespace hostsim::server
