// Packages of the management controller and their descriptors, as a vendor ships them: an
// indented CIM-XML instance <id>.xml beside its payload <id>.bin. The package id in the status
// text is <id>.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "test_files.h"

namespace runpkg {

struct Package {
    std::string id;
    std::string category;
    std::string code; // identificationCode
    std::vector<std::string> preReqs;
    std::string type = "1";
    std::string name = "QEL System Firmware";
};

inline std::string descriptor_of(const Package &p) {
    auto property = [](const char *name, const char *type, const std::string &value) {
        return std::string("    <PROPERTY NAME=\"") + name + "\" TYPE=\"" + type +
               "\">\n      <VALUE>" + value + "</VALUE>\n    </PROPERTY>\n";
    };
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<CIM CIMVERSION=\"2.0\" DTDVERSION=\"2.0\">\n"
                      "  <INSTANCE CLASSNAME=\"XORVO_SoftwarePackage\">\n" +
                      property("Name", "string", p.name) + property("type", "uint16", p.type) +
                      property("category", "string", p.category) +
                      property("identificationCode", "string", p.code);
    if (!p.preReqs.empty()) {
        xml += "    <PROPERTY.ARRAY NAME=\"preReq\" TYPE=\"string\">\n      <VALUE.ARRAY>\n";
        for (const std::string &code : p.preReqs) {
            xml += "        <VALUE>" + code + "</VALUE>\n";
        }
        xml += "      </VALUE.ARRAY>\n    </PROPERTY.ARRAY>\n";
    }
    return xml + property("payload", "string", p.id + ".bin") + "  </INSTANCE>\n</CIM>\n";
}

// Writes descriptor and payload into `dir`.
inline void write_package(const std::string &dir, const Package &p) {
    std::filesystem::create_directories(dir);
    testfiles::write(dir + "/" + p.id + ".xml", descriptor_of(p));
    testfiles::write(dir + "/" + p.id + ".bin", "firmware image of " + p.id + "\n");
}

// The descriptor URIs of `ids` under `base` (ending in "/"), joined by "|".
inline std::string uri_list(const std::string &base, const std::vector<std::string> &ids) {
    std::string list;
    for (const std::string &id : ids) {
        list += (list.empty() ? "" : "|") + base + id + ".xml";
    }
    return list;
}

} // namespace runpkg
