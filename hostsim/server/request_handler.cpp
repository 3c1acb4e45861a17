// HTTP-level checks, the CIM/MESSAGE/SIMPLEREQ frame, and the response document around one
// operation.

#include <algorithm>
#include <cstdlib>
#include <memory>

#include <gnutls/gnutls.h>
#include <libxml/parser.h>
#include <microhttpd.h>

#include "class_decl.h"
#include "hostsim_broker.h"
#include "operations.h"
#include "protocol_error.h"
#include "request_handler.h"
#include "xml_tree.h"
#include "xml_writer.h"

namespace hostsim::server {

namespace {

constexpr const char *kRealm = "Basic realm=\"hostsim\"";
constexpr const char *kPath = "/cimom";

// Compares without stopping at the first difference, so timing tells nothing.
bool same_secret(const std::string &given, const std::string &expected) {
    unsigned char diff = given.size() == expected.size() ? 0 : 1;
    for (size_t i = 0; i < given.size() && !expected.empty(); ++i) {
        diff |= static_cast<unsigned char>(given[i] ^ expected[i % expected.size()]);
    }
    return diff == 0 && !expected.empty();
}

HttpResponse plain(unsigned status, HeaderList headers = {}) {
    HttpResponse response;
    response.status = status;
    response.headers = std::move(headers);
    return response;
}

std::string major_of(const std::string &version) {
    return version.substr(0, version.find('.'));
}

// "2.0" and the like: the major version must be the one we speak.
void check_version(const xmlNode *node, const char *name, const char *major, const char *cimError) {
    std::optional<std::string> version = attribute(node, name);
    if (!version) {
        throw not_valid(name_of(node) + " without " + name);
    }
    if (major_of(*version) != major) {
        throw ProtocolError(501, cimError, std::string(name) + " " + *version);
    }
}

std::string unescaped(std::string value) {
    value.resize(MHD_http_unescape(&value[0]));
    return value;
}

// CIMMethod must name the call and CIMObject its namespace (DSP0200 header-mismatch).
void check_headers(const HeaderList &headers, const std::string &method,
                   const std::string &nameSpace) {
    std::optional<std::string> cimMethod = header(headers, "CIMMethod");
    std::optional<std::string> cimObject = header(headers, "CIMObject");
    if (!cimMethod || !same_name(unescaped(*cimMethod), method)) {
        throw ProtocolError(400, "header-mismatch", "CIMMethod does not name " + method);
    }
    std::string object = cimObject ? unescaped(*cimObject) : "";
    std::string objectSpace = object.substr(0, object.find(':'));
    while (!objectSpace.empty() && objectSpace.front() == '/') {
        objectSpace.erase(0, 1);
    }
    if (!cimObject || !same_name(objectSpace, nameSpace)) {
        throw ProtocolError(400, "header-mismatch", "CIMObject does not name " + nameSpace);
    }
}

// The namespace a call addresses, read before the call runs so the headers can be checked.
std::string namespace_of_call(const xmlNode *call) {
    std::vector<const xmlNode *> children = child_elements(call);
    const xmlNode *path = children.empty() ? nullptr : children.front();
    if (is_element(path, "LOCALINSTANCEPATH") || is_element(path, "LOCALCLASSPATH")) {
        std::vector<const xmlNode *> parts = child_elements(path);
        path = parts.empty() ? nullptr : parts.front();
    }
    std::string nameSpace;
    for (const xmlNode *part :
         child_elements(is_element(path, "LOCALNAMESPACEPATH") ? path : nullptr)) {
        nameSpace += (nameSpace.empty() ? "" : "/") + attribute(part, "NAME").value_or("");
    }
    if (nameSpace.empty()) {
        throw not_valid(name_of(call) + " names no namespace");
    }
    return nameSpace;
}

// CIM > MESSAGE > SIMPLEREQ > (IMETHODCALL | METHODCALL): the call and the message ID.
const xmlNode *call_of(const xmlNode *root, std::string *messageId) {
    if (!is_element(root, "CIM")) {
        throw not_valid("the document is not a CIM element");
    }
    check_version(root, "CIMVERSION", "2", "unsupported-cim-version");
    check_version(root, "DTDVERSION", "2", "unsupported-dtd-version");
    std::vector<const xmlNode *> messages = child_elements(root);
    if (messages.size() != 1 || !is_element(messages[0], "MESSAGE")) {
        throw not_valid("CIM must hold one MESSAGE");
    }
    const xmlNode *message = messages[0];
    *messageId = attribute(message, "ID").value_or("");
    if (messageId->empty()) {
        throw not_valid("MESSAGE without ID");
    }
    check_version(message, "PROTOCOLVERSION", "1", "unsupported-protocol-version");
    std::vector<const xmlNode *> requests = child_elements(message);
    if (requests.size() == 1 && is_element(requests[0], "MULTIREQ")) {
        throw ProtocolError(501, "multiple-requests-unsupported", "MULTIREQ");
    }
    if (requests.size() != 1 || !is_element(requests[0], "SIMPLEREQ")) {
        throw not_valid("MESSAGE must hold a SIMPLEREQ");
    }
    std::vector<const xmlNode *> calls;
    for (const xmlNode *child : child_elements(requests[0])) {
        if (!is_element(child, "CORRELATOR")) {
            calls.push_back(child);
        }
    }
    if (calls.size() != 1 ||
        !(is_element(calls[0], "IMETHODCALL") || is_element(calls[0], "METHODCALL"))) {
        throw not_valid("SIMPLEREQ must hold one IMETHODCALL or METHODCALL");
    }
    return calls[0];
}

struct GnutlsFree {
    void operator()(unsigned char *data) const { gnutls_free(data); }
};

} // namespace

std::optional<Credentials> basic_credentials(const HeaderList &headers) {
    std::string value = header(headers, "Authorization").value_or("");
    size_t blank = value.find(' ');
    if (blank == std::string::npos || !same_name(value.substr(0, blank), "Basic")) {
        return std::nullopt;
    }
    size_t start = value.find_first_not_of(' ', blank);
    if (start == std::string::npos) {
        return std::nullopt;
    }
    std::string token = value.substr(start);
    gnutls_datum_t encoded{reinterpret_cast<unsigned char *>(token.data()),
                           static_cast<unsigned>(token.size())};
    gnutls_datum_t decoded{nullptr, 0};
    if (token.size() > 4096 || gnutls_base64_decode2(&encoded, &decoded) < 0) {
        return std::nullopt;
    }
    std::unique_ptr<unsigned char, GnutlsFree> owned(decoded.data);
    std::string pair(reinterpret_cast<const char *>(decoded.data), decoded.size);
    size_t colon = pair.find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    return Credentials(pair.substr(0, colon), pair.substr(colon + 1));
}

std::optional<std::string> header(const HeaderList &headers, const std::string &name) {
    for (const auto &entry : headers) {
        if (same_name(entry.first, name)) {
            return entry.second;
        }
    }
    return std::nullopt;
}

RequestHandler::RequestHandler(const ClassRepository &classes, ServerSettings settings)
    : classes_(classes), settings_(std::move(settings)) {
    xmlInitParser(); // once, before request threads parse
}

HttpResponse RequestHandler::handle(const HttpRequest &request) const noexcept {
    try {
        return answer(request);
    } catch (const ProtocolError &error) {
        return plain(error.status(), {{"CIMError", error.cim_error()}});
    } catch (...) {
        return plain(500);
    }
}

std::optional<HttpResponse> RequestHandler::refusal(const HttpRequest &head) const {
    if (!settings_.user.empty()) {
        std::optional<Credentials> credentials = basic_credentials(head.headers);
        if (!(credentials && same_secret(credentials->first, settings_.user) &&
              same_secret(credentials->second, settings_.password))) {
            return plain(401, {{"WWW-Authenticate", kRealm}});
        }
    }
    if (head.path != kPath) {
        return plain(404);
    }
    if (head.method != "POST") {
        return plain(405, {{"Allow", "POST"}});
    }
    std::optional<std::string> length = header(head.headers, "Content-Length");
    if (head.bodyTooLarge ||
        (length && std::strtoull(length->c_str(), nullptr, 10) > settings_.maxBodySize)) {
        return plain(413);
    }
    return std::nullopt;
}

XmlDocument RequestHandler::parse(const std::string &body) const {
    std::unique_lock<std::mutex> lock(parseMutex_);
    parseTurn_.wait(lock, [this] { return parsing_ < std::max(1u, settings_.parsesAtOnce); });
    ++parsing_;
    lock.unlock();
    struct Done {
        const RequestHandler &handler;
        ~Done() {
            std::lock_guard<std::mutex> lock(handler.parseMutex_);
            --handler.parsing_;
            handler.parseTurn_.notify_one();
        }
    } done{*this};
    return parse_xml(body);
}

HttpResponse RequestHandler::answer(const HttpRequest &request) const {
    if (std::optional<HttpResponse> refused = refusal(request)) {
        return *refused;
    }
    if (request.body.size() > settings_.maxBodySize) {
        return plain(413);
    }
    std::optional<std::string> operation = header(request.headers, "CIMOperation");
    if (!operation || !same_name(*operation, "MethodCall")) {
        throw ProtocolError(400, "unsupported-operation", "not a CIM operation request");
    }
    std::optional<std::string> protocol = header(request.headers, "CIMProtocolVersion");
    if (protocol && major_of(*protocol) != "1") {
        throw ProtocolError(501, "unsupported-protocol-version", *protocol);
    }
    if (!within_bounds(request.body, settings_.bounds)) {
        return plain(413);
    }
    XmlDocument doc = parse(request.body);
    if (!doc) {
        throw ProtocolError(400, "request-not-well-formed", "not well-formed XML");
    }
    std::string messageId;
    const xmlNode *call = call_of(xmlDocGetRootElement(doc.get()), &messageId);
    check_headers(request.headers, attribute(call, "NAME").value_or(""), namespace_of_call(call));

    CallScope scope; // broker objects of this request go when it is answered
    std::optional<Credentials> credentials = basic_credentials(request.headers);
    CallEnv env{classes_, credentials ? credentials->first : std::string()};
    XmlWriter out(true);
    out.start("CIM").attribute("CIMVERSION", "2.0").attribute("DTDVERSION", "2.0");
    out.start("MESSAGE").attribute("ID", messageId).attribute("PROTOCOLVERSION", "1.0");
    out.start("SIMPLERSP");
    if (is_element(call, "IMETHODCALL")) {
        intrinsic_call(env, call, out);
    } else {
        extrinsic_call(env, call, out);
    }
    HttpResponse response;
    response.body = out.finish();
    response.headers = {{"Content-Type", "application/xml; charset=\"utf-8\""},
                        {"CIMOperation", "MethodResponse"}};
    return response;
}

} // namespace hostsim::server
