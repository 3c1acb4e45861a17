// The CIM operations served: the intrinsic methods GetClass, EnumerateInstances,
// EnumerateInstanceNames, GetInstance and DeleteInstance, and extrinsic method calls, each
// answered through the broker's routing to the hosted providers.
#pragma once

#include <string>

#include <libxml/tree.h>

#include "class_repository.h"
#include "xml_writer.h"

namespace hostsim::server {

struct CallEnv {
    const ClassRepository &classes;
    std::string principal; // the authenticated user; empty without authentication
};

// Writes the IMETHODRESPONSE to an IMETHODCALL, holding an ERROR for a CIM error. Throws
// ProtocolError for a call that does not follow the DTD.
void intrinsic_call(const CallEnv &env, const xmlNode *call, XmlWriter &out);
// Writes the METHODRESPONSE to a METHODCALL, likewise.
void extrinsic_call(const CallEnv &env, const xmlNode *call, XmlWriter &out);

} // namespace hostsim::server
