// CMPI objects and class declarations written as CIM-XML elements (DSP0201).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <cmpi/cmpift.h>

#include "class_decl.h"
#include "xml_writer.h"

namespace hostsim::server {

using PropertyList = std::optional<std::vector<std::string>>; // nothing: every property

// References are written as LOCALINSTANCEPATHs: every instance is on this host, and clients
// (wbemcli) print those as paths that can be given back to them.
class Encoder {
  public:
    explicit Encoder(XmlWriter &out) : out_(out) {}

    // INSTANCENAME with its KEYBINDINGs.
    void instance_name(const CMPIObjectPath *path);
    // VALUE.REFERENCE to the instance at `path`.
    void reference(const CMPIObjectPath *path);
    // INSTANCE with the properties in `properties`.
    void instance(const CMPIInstance *instance, const PropertyList &properties);
    // VALUE, VALUE.ARRAY, VALUE.REFERENCE or VALUE.REFARRAY of a value that is not null.
    // False, with nothing written, for a type CIM-XML cannot carry.
    bool value(const CMPIData &data);

  private:
    void property(const std::string &name, const CMPIData &data);
    void scalar(const CMPIData &data);

    XmlWriter &out_;
};

struct ClassOptions {
    bool localOnly = true;
    bool qualifiers = true;
    bool classOrigin = false;
    PropertyList properties;
};

// CLASS with its properties and methods; Key, IN and OUT are the qualifiers written.
void write_class(XmlWriter &out, const ClassDecl &decl, const ClassOptions &options);

bool listed(const PropertyList &properties, const std::string &name);

} // namespace hostsim::server
