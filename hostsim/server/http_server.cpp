// libmicrohttpd callbacks. No exception leaves them: a failure closes the connection.
#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <stdexcept>
#include <string>

#include "http_server.h"

namespace hostsim::server {

namespace {

constexpr unsigned kConnectionLimit = 64;
constexpr unsigned kIdleSeconds = 60;
constexpr size_t kConnectionMemory = 64 * 1024; // request line and headers

// The body of a request as it arrives.
struct Pending {
    std::string body;
    bool tooLarge = false;
};

struct ResponseFree {
    void operator()(MHD_Response *response) const { MHD_destroy_response(response); }
};

struct MhdFree {
    void operator()(char *text) const { MHD_free(text); }
};

MHD_Result collect_header(void *cls, MHD_ValueKind, const char *key, const char *value) {
    static_cast<HeaderList *>(cls)->emplace_back(key ? key : "", value ? value : "");
    return MHD_YES;
}

MHD_Result send(MHD_Connection *connection, const HttpResponse &answer) {
    std::unique_ptr<MHD_Response, ResponseFree> response(MHD_create_response_from_buffer(
        answer.body.size(), const_cast<char *>(answer.body.data()), MHD_RESPMEM_MUST_COPY));
    if (!response) {
        return MHD_NO;
    }
    for (const auto &entry : answer.headers) {
        MHD_add_response_header(response.get(), entry.first.c_str(), entry.second.c_str());
    }
    return MHD_queue_response(connection, answer.status, response.get());
}

HttpRequest request_of(MHD_Connection *connection, const char *method, Pending &pending) {
    HttpRequest request;
    request.method = method ? method : "";
    MHD_get_connection_values(connection, MHD_HEADER_KIND, collect_header, &request.headers);
    request.body = std::move(pending.body);
    request.bodyTooLarge = pending.tooLarge;
    char *password = nullptr;
    std::unique_ptr<char, MhdFree> user(
        MHD_basic_auth_get_username_password(connection, &password));
    std::unique_ptr<char, MhdFree> secret(password);
    if (user) {
        request.credentials =
            std::make_pair(std::string(user.get()), std::string(secret ? secret.get() : ""));
    }
    return request;
}

MHD_Result on_request(void *cls, MHD_Connection *connection, const char *, const char *method,
                      const char *, const char *upload, size_t *uploadSize, void **state) {
    try {
        const auto *handler = static_cast<const RequestHandler *>(cls);
        const size_t limit = handler->settings().maxBodySize;
        auto *pending = static_cast<Pending *>(*state);
        if (pending == nullptr) {
            *state = pending = new Pending;
            const char *length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                             MHD_HTTP_HEADER_CONTENT_LENGTH);
            // Refused before the body is read; the connection closes after the answer.
            if (length != nullptr && std::strtoull(length, nullptr, 10) > limit) {
                pending->tooLarge = true;
                return send(connection, handler->handle(request_of(connection, method, *pending)));
            }
            return MHD_YES;
        }
        if (*uploadSize > 0) {
            if (!pending->tooLarge && pending->body.size() + *uploadSize <= limit) {
                pending->body.append(upload, *uploadSize);
            } else {
                pending->tooLarge = true;
                pending->body.clear();
            }
            *uploadSize = 0;
            return MHD_YES;
        }
        return send(connection, handler->handle(request_of(connection, method, *pending)));
    } catch (...) {
        return MHD_NO;
    }
}

void on_completed(void *, MHD_Connection *, void **state, MHD_RequestTerminationCode) {
    delete static_cast<Pending *>(*state);
    *state = nullptr;
}

} // namespace

HttpServer::HttpServer(const RequestHandler &handler, unsigned short port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    daemon_.reset(MHD_start_daemon(
        MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL, port,
        nullptr, nullptr, on_request, const_cast<RequestHandler *>(&handler), MHD_OPTION_SOCK_ADDR,
        reinterpret_cast<sockaddr *>(&address), MHD_OPTION_NOTIFY_COMPLETED, on_completed, nullptr,
        MHD_OPTION_CONNECTION_LIMIT, kConnectionLimit, MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_END));
    if (!daemon_) {
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
    }
}

unsigned short HttpServer::port() const {
    const MHD_DaemonInfo *info = MHD_get_daemon_info(daemon_.get(), MHD_DAEMON_INFO_BIND_PORT);
    return info ? info->port : 0;
}

} // namespace hostsim::server
