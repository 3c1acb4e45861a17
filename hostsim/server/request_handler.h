// The CIM server as a pure function from an HTTP request to its response (DSP0200 CIM
// operations over HTTP, DSP0201 CIM-XML), so that it runs without sockets in tests and fuzzing.
// Requests the server cannot take get an HTTP error with a CIMError header; CIM errors of an
// operation travel inside a 200 response as ERROR elements.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "class_repository.h"
#include "xml_tree.h"

namespace hostsim::server {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method;
    std::string path; // the request target, "/cimom"
    HeaderList headers;
    std::string body;
    bool bodyTooLarge = false; // more arrived than the settings allow; `body` is incomplete
};

struct HttpResponse {
    unsigned status = 200;
    HeaderList headers;
    std::string body;
};

struct ServerSettings {
    ServerSettings(std::string user = "", std::string password = "")
        : user(std::move(user)), password(std::move(password)) {}
    std::string user; // empty: no authentication
    std::string password;
    size_t maxBodySize = 1u << 20;
    XmlBounds bounds;          // beyond them: 413
    unsigned parsesAtOnce = 4; // more wait their turn
};

using Credentials = std::pair<std::string, std::string>; // user, password

class RequestHandler {
  public:
    RequestHandler(const ClassRepository &classes, ServerSettings settings);
    HttpResponse handle(const HttpRequest &request) const noexcept;
    // The answer to a request that its method, path and headers already refuse (credentials,
    // path, method, declared length), so that its body need not be read.
    std::optional<HttpResponse> refusal(const HttpRequest &head) const;
    const ServerSettings &settings() const { return settings_; }

  private:
    HttpResponse answer(const HttpRequest &request) const;
    XmlDocument parse(const std::string &body) const;

    const ClassRepository &classes_;
    ServerSettings settings_;
    mutable std::mutex parseMutex_;
    mutable std::condition_variable parseTurn_;
    mutable unsigned parsing_ = 0;
};

// The value of a header, by case-insensitive name.
std::optional<std::string> header(const HeaderList &headers, const std::string &name);
// User and password of a Basic Authorization header (scheme name in any case).
std::optional<Credentials> basic_credentials(const HeaderList &headers);

} // namespace hostsim::server
