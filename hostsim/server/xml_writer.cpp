// libxml2 text writer into a memory buffer.
#include <algorithm>
#include <stdexcept>

#include <libxml/chvalid.h>
#include <libxml/xmlstring.h>

#include "xml_writer.h"

namespace hostsim::server {

namespace {

const xmlChar *xml(const char *text) {
    return reinterpret_cast<const xmlChar *>(text);
}

} // namespace

std::string xml_safe(const std::string &text) {
    std::string safe;
    safe.reserve(text.size());
    const auto *bytes = reinterpret_cast<const unsigned char *>(text.data());
    size_t left = text.size();
    while (left > 0) {
        int length = static_cast<int>(std::min<size_t>(left, 4));
        int c = xmlGetUTF8Char(bytes, &length);
        if (c < 0 || length <= 0 || !xmlIsCharQ(c)) {
            safe += "\xEF\xBF\xBD";
            length = 1;
        } else {
            safe.append(reinterpret_cast<const char *>(bytes), static_cast<size_t>(length));
        }
        bytes += length;
        left -= static_cast<size_t>(length);
    }
    return safe;
}

XmlWriter::XmlWriter(bool document) : buffer_(xmlBufferCreate()), document_(document) {
    if (!buffer_) {
        throw std::bad_alloc();
    }
    writer_.reset(xmlNewTextWriterMemory(buffer_.get(), 0));
    if (!writer_) {
        throw std::bad_alloc();
    }
    if (document_) {
        check(xmlTextWriterStartDocument(writer_.get(), "1.0", "utf-8", nullptr));
    }
}

void XmlWriter::check(int rc) const {
    if (rc < 0) {
        throw std::runtime_error("the XML writer failed");
    }
}

XmlWriter &XmlWriter::start(const char *name) {
    check(xmlTextWriterStartElement(writer_.get(), xml(name)));
    ++open_;
    return *this;
}

XmlWriter &XmlWriter::attribute(const char *name, const std::string &value) {
    check(xmlTextWriterWriteAttribute(writer_.get(), xml(name), xml(xml_safe(value).c_str())));
    return *this;
}

XmlWriter &XmlWriter::text(const std::string &value) {
    check(xmlTextWriterWriteString(writer_.get(), xml(xml_safe(value).c_str())));
    return *this;
}

XmlWriter &XmlWriter::end() {
    if (open_ == 0) {
        throw std::logic_error("no element to end");
    }
    check(xmlTextWriterFullEndElement(writer_.get()));
    --open_;
    return *this;
}

XmlWriter &XmlWriter::element(const char *name, const std::string &value) {
    return start(name).text(value).end();
}

XmlWriter &XmlWriter::raw(const std::string &markup) {
    check(xmlTextWriterWriteRaw(writer_.get(), xml(markup.c_str())));
    return *this;
}

std::string XmlWriter::finish() {
    while (open_ > 0) {
        end();
    }
    if (document_) {
        check(xmlTextWriterEndDocument(writer_.get()));
    }
    check(xmlTextWriterFlush(writer_.get()));
    return std::string(reinterpret_cast<const char *>(xmlBufferContent(buffer_.get())),
                       static_cast<size_t>(xmlBufferLength(buffer_.get())));
}

} // namespace hostsim::server
