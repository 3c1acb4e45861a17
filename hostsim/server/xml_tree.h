// Reading a CIM-XML request with libxml2: a parsed document owned by a unique_ptr and the few
// accessors the decoders need.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <libxml/tree.h>

namespace hostsim::server {

struct XmlDocFree {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
using XmlDocument = std::unique_ptr<xmlDoc, XmlDocFree>;

// Parses without network access, DTD loading or entity substitution, within libxml2's default
// size and depth limits. Null when the text is not well-formed XML or declares anything in a
// DOCTYPE (CIM-XML needs none, and entity declarations are how XML bombs work).
XmlDocument parse_xml(const std::string &text);

// What one request may hold, so that parsing it costs bounded time and memory.
struct XmlBounds {
    size_t elements = 10000;
    size_t attributesPerElement = 32;
    size_t depth = 32;
};

// Whether the text stays within `bounds`, judged by one pass over its markup before anything is
// parsed (libxml2 takes time quadratic in an element's attribute count). Comments, CDATA,
// processing instructions, declarations and quoted values are skipped; text that is not XML
// may be misjudged, and libxml2 refuses it afterwards.
bool within_bounds(const std::string &text, const XmlBounds &bounds);

bool is_element(const xmlNode *node, const char *name);
// The element children, in order (text, comments and processing instructions left out).
std::vector<const xmlNode *> child_elements(const xmlNode *node);
// Whether the element has text other than blanks directly inside it.
bool has_text(const xmlNode *node);
std::optional<std::string> attribute(const xmlNode *node, const char *name);
// The text directly inside the element (CDATA included).
std::string text_of(const xmlNode *node);
std::string name_of(const xmlNode *node);

} // namespace hostsim::server
