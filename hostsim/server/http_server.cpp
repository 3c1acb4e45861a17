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
    Context(const RequestHandler &handler, const ListenSettings &settings)
        : handler(handler), log(settings.accessLog), guard(settings.limits, log) {}
    const RequestHandler &handler;
    AccessLog *log;
    ConnectionGuard guard;
};

namespace {

using Context = HttpServer::Context;

using Clock = std::chrono::steady_clock;

constexpr unsigned kIdleSeconds = 60;           // a client that stops reading its answer
constexpr size_t kConnectionMemory = 64 * 1024; // request line and headers
// TLS 1.2 and 1.3 only, as current CIM servers allow.
constexpr const char *kTlsPriorities = "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2";

// A request as it arrives.
struct Pending {
    Clock::time_point start = Clock::now();
    HttpRequest request;
};

struct ResponseFree {
    void operator()(MHD_Response *response) const { MHD_destroy_response(response); }
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

ConnectionGuard::Entry *entry_of(MHD_Connection *connection) {
    const MHD_ConnectionInfo *info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? static_cast<ConnectionGuard::Entry *>(info->socket_context) : nullptr;
}

// The request line and headers; the body follows once it has arrived.
HttpRequest head_of(MHD_Connection *connection, const char *method, const char *url) {
    HttpRequest request;
    request.method = method ? method : "";
    request.path = url ? url : "";
    MHD_get_connection_values(connection, MHD_HEADER_KIND, collect_header, &request.headers);
    return request;
}

// Queues `answer` to the request and writes its access log line.
MHD_Result send(const Context &context, MHD_Connection *connection, const Pending &pending,
                const HttpResponse &answer) {
    const HttpRequest &request = pending.request;
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
                            basic_credentials(request.headers).value_or(Credentials()).first,
                            answer.status,
                            Clock::now() - pending.start};
        context.log->request(record);
    }
    return queued;
}

MHD_Result on_request(void *cls, MHD_Connection *connection, const char *url, const char *method,
                      const char *, const char *upload, size_t *uploadSize, void **state) {
    try {
        auto &context = *static_cast<Context *>(cls);
        auto *pending = static_cast<Pending *>(*state);
        if (pending == nullptr) {
            *state = pending = new Pending{Clock::now(), head_of(connection, method, url)};
            HttpRequest &request = pending->request;
            // Refused on its headers: the body is not read, and the connection closes after the
            // answer.
            if (std::optional<HttpResponse> refused = context.handler.refusal(request)) {
                return send(context, connection, *pending, *refused);
            }
            // Within the limit, as refusal() checked: the body grows in place.
            request.body.reserve(std::strtoull(
                header(request.headers, "Content-Length").value_or("0").c_str(), nullptr, 10));
            if (ConnectionGuard::Entry *entry = entry_of(connection)) {
                context.guard.admitted(entry);
            }
            return MHD_YES;
        }
        HttpRequest &request = pending->request;
        if (*uploadSize > 0) {
            const size_t limit = context.handler.settings().maxBodySize;
            if (!request.bodyTooLarge && request.body.size() + *uploadSize <= limit) {
                request.body.append(upload, *uploadSize);
            } else {
                request.bodyTooLarge = true;
                request.body.clear();
            }
            *uploadSize = 0;
            return MHD_YES;
        }
        if (ConnectionGuard::Entry *entry = entry_of(connection)) {
            context.guard.received(entry);
        }
        return send(context, connection, *pending, context.handler.handle(request));
    } catch (...) {
        return MHD_NO;
    }
}

void on_completed(void *cls, MHD_Connection *connection, void **state, MHD_RequestTerminationCode) {
    delete static_cast<Pending *>(*state);
    *state = nullptr;
    if (ConnectionGuard::Entry *entry = entry_of(connection)) {
        static_cast<Context *>(cls)->guard.answered(entry);
    }
}

void on_connection(void *cls, MHD_Connection *connection, void **socketContext,
                   MHD_ConnectionNotificationCode event) {
    auto &guard = static_cast<Context *>(cls)->guard;
    auto *entry = static_cast<ConnectionGuard::Entry *>(*socketContext);
    if (event == MHD_CONNECTION_NOTIFY_STARTED) {
        const MHD_ConnectionInfo *info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        try {
            *socketContext = info ? guard.opened(info->connect_fd, peer_of(connection)) : nullptr;
        } catch (...) {
            *socketContext = nullptr; // unwatched, still bounded by the connection limits
        }
    } else if (entry != nullptr) {
        guard.closed(entry);
        *socketContext = nullptr;
    }
}

} // namespace

HttpServer::HttpServer(const RequestHandler &handler, ListenSettings settings)
    : settings_(std::move(settings)), context_(new Context(handler, settings_)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(settings_.port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL;
    std::vector<MHD_OptionItem> options = {
        {MHD_OPTION_SOCK_ADDR, 0, &address},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(on_completed), context_.get()},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(on_connection), context_.get()},
        {MHD_OPTION_CONNECTION_LIMIT, settings_.limits.connections, nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, settings_.limits.perAddress, nullptr},
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
