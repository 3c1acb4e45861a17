// CIM-XML output through libxml2's text writer. Every element gets an end tag, as some CIM-XML
// clients (wbemcli) cannot read empty-element tags, and all text is made valid XML first.
#pragma once

#include <memory>
#include <string>

#include <libxml/xmlwriter.h>

namespace hostsim::server {

class XmlWriter {
  public:
    // A document starts with the XML declaration; a fragment is spliced into one with raw().
    explicit XmlWriter(bool document);
    XmlWriter(const XmlWriter &) = delete;
    XmlWriter &operator=(const XmlWriter &) = delete;

    XmlWriter &start(const char *name);
    XmlWriter &attribute(const char *name, const std::string &value);
    XmlWriter &text(const std::string &value);
    XmlWriter &end();
    // start, text, end.
    XmlWriter &element(const char *name, const std::string &value);
    // Markup written by another XmlWriter.
    XmlWriter &raw(const std::string &markup);
    // Closes what is open; the text written.
    std::string finish();

  private:
    void check(int rc) const;

    struct BufferFree {
        void operator()(xmlBuffer *buffer) const { xmlBufferFree(buffer); }
    };
    struct WriterFree {
        void operator()(xmlTextWriter *writer) const { xmlFreeTextWriter(writer); }
    };
    std::unique_ptr<xmlBuffer, BufferFree> buffer_; // outlives the writer
    std::unique_ptr<xmlTextWriter, WriterFree> writer_;
    bool document_;
    int open_ = 0;
};

// `text` as valid UTF-8 made of XML characters: each invalid sequence (its longest valid start,
// or one byte) and each character XML does not allow becomes U+FFFD.
std::string xml_safe(const std::string &text);

} // namespace hostsim::server
