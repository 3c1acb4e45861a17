// What the operations share: the broker context of a call, parameter bookkeeping, CIM status
// checks and the namespace and class checks done before a provider is asked.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <cmpi/cmpift.h>
#include <libxml/tree.h>

#include "class_repository.h"
#include "xml_writer.h"

namespace hostsim::server {

// An invocation context for one namespace, released when the call ends.
class CallContext {
  public:
    CallContext(const std::string &nameSpace, const std::string &principal);
    ~CallContext();
    CallContext(const CallContext &) = delete;
    CallContext &operator=(const CallContext &) = delete;
    const CMPIContext *get() const { return context_; }

  private:
    CMPIContext *context_;
};

// The named parameters of a call; each may be given once, and every one must be taken.
class NamedParameters {
  public:
    NamedParameters(const std::vector<const xmlNode *> &elements);
    // The parameter, or null when not given.
    const xmlNode *take(const char *name);
    // Throws CIM_ERR_INVALID_PARAMETER naming a parameter nobody took.
    void check_all_taken() const;

  private:
    std::map<std::string, const xmlNode *> given_; // by lower-case name
};

// Throws CimFault with the status's code and message unless it is OK.
void check_status(const CMPIStatus &status, const std::string &what);

// CIM_ERR_INVALID_NAMESPACE unless some provider serves `className` or a declared class in
// `nameSpace`.
void check_namespace(const ClassRepository &classes, const std::string &nameSpace,
                     const std::string &className);
// Whether a provider serves the class in the namespace.
bool routed(const std::string &nameSpace, const std::string &className);

// An ERROR element.
void write_error(XmlWriter &out, CMPIrc code, const std::string &description);

// The parts of a call element: its NAME and its child elements, checked against the DTD.
std::string call_name(const xmlNode *call);

} // namespace hostsim::server
