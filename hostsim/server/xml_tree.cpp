// libxml2 document parsing and tree accessors.
#include <climits>
#include <cstring>

#include <libxml/parser.h>

#include "xml_tree.h"

namespace hostsim::server {

namespace {

const char *chars(const xmlChar *text) {
    return reinterpret_cast<const char *>(text);
}

bool blank(const xmlChar *text) {
    for (const xmlChar *p = text; p != nullptr && *p != '\0'; ++p) {
        if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r') {
            return false;
        }
    }
    return true;
}

} // namespace

bool within_bounds(const std::string &text, const XmlBounds &bounds) {
    size_t at = 0;
    auto skip_past = [&](const char *end) {
        size_t found = text.find(end, at);
        at = found == std::string::npos ? text.size() : found + std::strlen(end);
    };
    size_t elements = 0, depth = 0;
    while ((at = text.find('<', at)) != std::string::npos) {
        ++at;
        if (text.compare(at, 3, "!--") == 0) {
            skip_past("-->");
        } else if (text.compare(at, 8, "![CDATA[") == 0) {
            skip_past("]]>");
        } else if (at < text.size() && (text[at] == '?' || text[at] == '!')) {
            skip_past(">");
        } else if (at < text.size() && text[at] == '/') {
            depth -= depth > 0 ? 1 : 0;
            skip_past(">");
        } else {
            if (++elements > bounds.elements) {
                return false;
            }
            size_t attributes = 0;
            bool empty = false;
            for (char quote = 0; at < text.size(); ++at) {
                char c = text[at];
                if (quote != 0) {
                    quote = c == quote ? 0 : quote;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '=' && ++attributes > bounds.attributesPerElement) {
                    return false;
                } else if (c == '>') {
                    empty = text[at - 1] == '/';
                    break;
                }
            }
            if (!empty && ++depth > bounds.depth) {
                return false;
            }
        }
    }
    return true;
}

XmlDocument parse_xml(const std::string &text) {
    if (text.size() > static_cast<size_t>(INT_MAX)) {
        return nullptr;
    }
    constexpr int kOptions =
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;
    XmlDocument doc(
        xmlReadMemory(text.data(), static_cast<int>(text.size()), "request", nullptr, kOptions));
    if (doc && doc->intSubset != nullptr && doc->intSubset->children != nullptr) {
        return nullptr;
    }
    if (doc && xmlDocGetRootElement(doc.get()) == nullptr) {
        return nullptr;
    }
    return doc;
}

bool is_element(const xmlNode *node, const char *name) {
    return node != nullptr && node->type == XML_ELEMENT_NODE &&
           std::strcmp(chars(node->name), name) == 0;
}

std::vector<const xmlNode *> child_elements(const xmlNode *node) {
    std::vector<const xmlNode *> children;
    for (const xmlNode *child = node ? node->children : nullptr; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) {
            children.push_back(child);
        }
    }
    return children;
}

bool has_text(const xmlNode *node) {
    for (const xmlNode *child = node ? node->children : nullptr; child; child = child->next) {
        bool isText = child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE;
        if ((isText && !blank(child->content)) || child->type == XML_ENTITY_REF_NODE) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> attribute(const xmlNode *node, const char *name) {
    for (const xmlAttr *attr = node ? node->properties : nullptr; attr; attr = attr->next) {
        if (std::strcmp(chars(attr->name), name) == 0) {
            std::string value;
            for (const xmlNode *part = attr->children; part; part = part->next) {
                value += part->content ? chars(part->content) : "";
            }
            return value;
        }
    }
    return std::nullopt;
}

std::string text_of(const xmlNode *node) {
    std::string text;
    for (const xmlNode *child = node ? node->children : nullptr; child; child = child->next) {
        if ((child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) &&
            child->content != nullptr) {
            text += chars(child->content);
        }
    }
    return text;
}

std::string name_of(const xmlNode *node) {
    return node && node->name ? chars(node->name) : "";
}

} // namespace hostsim::server
