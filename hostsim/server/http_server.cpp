// libmicrohttpd callbacks. No exception leaves them: a failure closes the connection.
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <vector>

#include "http_server.h"

namespace hostsim::server {

struct HttpServer::Context {
    const RequestHandler &handler;
    AccessLog *log;
};

namespace {

using Context = HttpServer::Context;

using Clock = std::chrono::steady_clock;

constexpr unsigned kConnectionLimit = 64;
constexpr unsigned kIdleSeconds = 60;
constexpr size_t kConnectionMemory = 64 * 1024; // request line and headers
// TLS 1.2 and 1.3 only, as current CIM servers allow.
constexpr const char *kTlsPriorities = "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2";

// A request as it arrives.
struct Pending {
    Clock::time_point start = Clock::now();
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

std::string peer_of(MHD_Connection *connection) {
    const MHD_ConnectionInfo *info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    char text[INET6_ADDRSTRLEN] = "";
    if (info != nullptr && info->client_addr != nullptr) {
        const sockaddr *address = info->client_addr;
        const void *raw = address->sa_family == AF_INET6
                              ? static_cast<const void *>(
                                    &reinterpret_cast<const sockaddr_in6 *>(address)->sin6_addr)
                              : &reinterpret_cast<const sockaddr_in *>(address)->sin_addr;
        inet_ntop(address->sa_family, raw, text, sizeof text);
    }
    return text;
}

HttpRequest request_of(MHD_Connection *connection, const char *method, const char *url,
                       Pending &pending) {
    HttpRequest request;
    request.method = method ? method : "";
    request.path = url ? url : "";
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

// Answers the request and writes its access log line.
MHD_Result answer(const Context &context, MHD_Connection *connection, const HttpRequest &request,
                  const Pending &pending) {
    HttpResponse answer = context.handler.handle(request);
    std::unique_ptr<MHD_Response, ResponseFree> response(MHD_create_response_from_buffer(
        answer.body.size(), const_cast<char *>(answer.body.data()), MHD_RESPMEM_MUST_COPY));
    if (!response) {
        return MHD_NO;
    }
    for (const auto &entry : answer.headers) {
        MHD_add_response_header(response.get(), entry.first.c_str(), entry.second.c_str());
    }
    MHD_Result queued = MHD_queue_response(connection, answer.status, response.get());
    if (context.log != nullptr) {
        AccessRecord record{peer_of(connection),
                            request.method,
                            request.path,
                            header(request.headers, "CIMMethod").value_or(""),
                            request.credentials ? request.credentials->first : "",
                            answer.status,
                            Clock::now() - pending.start};
        context.log->request(record);
    }
    return queued;
}

MHD_Result on_request(void *cls, MHD_Connection *connection, const char *url, const char *method,
                      const char *, const char *upload, size_t *uploadSize, void **state) {
    try {
        const auto &context = *static_cast<const Context *>(cls);
        const size_t limit = context.handler.settings().maxBodySize;
        auto *pending = static_cast<Pending *>(*state);
        if (pending == nullptr) {
            *state = pending = new Pending;
            const char *length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                             MHD_HTTP_HEADER_CONTENT_LENGTH);
            // Refused before the body is read; the connection closes after the answer.
            if (length != nullptr && std::strtoull(length, nullptr, 10) > limit) {
                pending->tooLarge = true;
                return answer(context, connection, request_of(connection, method, url, *pending),
                              *pending);
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
        return answer(context, connection, request_of(connection, method, url, *pending), *pending);
    } catch (...) {
        return MHD_NO;
    }
}

void on_completed(void *, MHD_Connection *, void **state, MHD_RequestTerminationCode) {
    delete static_cast<Pending *>(*state);
    *state = nullptr;
}

} // namespace

HttpServer::HttpServer(const RequestHandler &handler, ListenSettings settings)
    : settings_(std::move(settings)), context_(new Context{handler, settings_.accessLog}) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(settings_.port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL;
    std::vector<MHD_OptionItem> options = {
        {MHD_OPTION_SOCK_ADDR, 0, &address},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(on_completed), nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, kConnectionLimit, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, nullptr},
    };
    if (settings_.tls) {
        flags |= MHD_USE_TLS;
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, settings_.tls->certificatePem.data()});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, settings_.tls->keyPem.data()});
        options.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char *>(kTlsPriorities)});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});
    daemon_.reset(MHD_start_daemon(flags, settings_.port, nullptr, nullptr, on_request,
                                   context_.get(), MHD_OPTION_ARRAY, options.data(),
                                   MHD_OPTION_END));
    if (!daemon_) {
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(settings_.port) +
                                 (settings_.tls ? " with TLS" : ""));
    }
}

HttpServer::~HttpServer() = default;

unsigned short HttpServer::port() const {
    const MHD_DaemonInfo *info = MHD_get_daemon_info(daemon_.get(), MHD_DAEMON_INFO_BIND_PORT);
    return info ? info->port : 0;
}

} // namespace hostsim::server
