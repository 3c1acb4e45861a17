// The CIM server as a pure function from an HTTP request to its response (DSP0200 CIM
// operations over HTTP, DSP0201 CIM-XML), so that it runs without sockets in tests and fuzzing.
// Requests the server cannot take get an HTTP error with a CIMError header; CIM errors of an
// operation travel inside a 200 response as ERROR elements.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "class_repository.h"

namespace hostsim::server {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method;
    std::string path; // the request target, "/cimom"
    HeaderList headers;
    std::string body;
    bool bodyTooLarge = false; // more arrived than the settings allow; `body` is incomplete
    // User and password of a Basic Authorization header, as the HTTP layer decoded them.
    std::optional<std::pair<std::string, std::string>> credentials;
};

struct HttpResponse {
    unsigned status = 200;
    HeaderList headers;
    std::string body;
};

struct ServerSettings {
    std::string user; // empty: no authentication
    std::string password;
    size_t maxBodySize = 4u << 20;
};

class RequestHandler {
  public:
    RequestHandler(const ClassRepository &classes, ServerSettings settings);
    HttpResponse handle(const HttpRequest &request) const noexcept;
    const ServerSettings &settings() const { return settings_; }

  private:
    HttpResponse answer(const HttpRequest &request) const;

    const ClassRepository &classes_;
    ServerSettings settings_;
};

// The value of a header, by case-insensitive name.
std::optional<std::string> header(const HeaderList &headers, const std::string &name);

} // namespace hostsim::server
