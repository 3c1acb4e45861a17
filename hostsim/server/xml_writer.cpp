// libxml2 text writer into a memory buffer.
#include <cstdint>
#include <stdexcept>

#include <libxml/chvalid.h>
#include <libxml/xmlstring.h>

#include "xml_writer.h"

namespace hostsim::server {

namespace {

const xmlChar *xml(const char *text) {
    return reinterpret_cast<const xmlChar *>(text);
}

constexpr uint32_t kInvalid = 0xFFFFFFFF;

// Decodes the well-formed UTF-8 sequence at `bytes` (no overlong forms, no surrogates, nothing
// above U+10FFFF) into `*code`; returns its length. Where it is not one, `*code` is kInvalid
// and the length is that of the longest start of a valid sequence, at least 1 byte, which is
// what one U+FFFD replaces.
size_t decode_utf8(const unsigned char *bytes, size_t left, uint32_t *code) {
    const unsigned char lead = bytes[0];
    *code = kInvalid;
    size_t follow = 0;
    uint32_t value = 0;
    unsigned char low = 0x80, high = 0xBF; // range of the next byte
    if (lead < 0x80) {
        *code = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        follow = 1;
        value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        follow = 2;
        value = lead & 0x0Fu;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        follow = 3;
        value = lead & 0x07u;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 1;
    }
    for (size_t i = 1; i <= follow; ++i) {
        if (i >= left || bytes[i] < low || bytes[i] > high) {
            return i;
        }
        value = value << 6 | (bytes[i] & 0x3Fu);
        low = 0x80;
        high = 0xBF;
    }
    *code = value;
    return follow + 1;
}

} // namespace

std::string xml_safe(const std::string &text) {
    std::string safe;
    safe.reserve(text.size());
    const auto *bytes = reinterpret_cast<const unsigned char *>(text.data());
    for (size_t at = 0; at < text.size();) {
        uint32_t code = kInvalid;
        size_t length = decode_utf8(bytes + at, text.size() - at, &code);
        if (code == kInvalid || !xmlIsCharQ(code)) {
            safe += "\xEF\xBF\xBD";
        } else {
            safe.append(text, at, length);
        }
        at += length;
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
