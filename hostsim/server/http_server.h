// The CIM server's HTTP side, through libmicrohttpd: listens on 127.0.0.1 only, over TLS (GnuTLS)
// unless plain HTTP is asked for, a thread per connection within the ConnectionGuard's limits.
// A request's headers are checked first (credentials, path, method, length), and a refused one
// is answered without reading its body; request bodies are bounded by the handler's settings.
// Each request is answered by the RequestHandler and written to the access log.
#pragma once

#include <memory>
#include <optional>

#include <microhttpd.h>

#include "http_access_log.h"
#include "http_connection_guard.h"
#include "http_tls.h"
#include "request_handler.h"

namespace hostsim::server {

struct ListenSettings {
    unsigned short port = 0;        // 0: a free port
    std::optional<TlsIdentity> tls; // none: plain HTTP
    AccessLog *accessLog = nullptr; // none: no log
    ConnectionLimits limits;
};

class HttpServer {
  public:
    // Listens on 127.0.0.1. Throws std::runtime_error when it cannot.
    HttpServer(const RequestHandler &handler, ListenSettings settings);
    // Stops listening and waits for the connection threads.
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    unsigned short port() const;

    struct Context; // what the libmicrohttpd callbacks see

  private:
    struct DaemonStop {
        void operator()(MHD_Daemon *daemon) const { MHD_stop_daemon(daemon); }
    };
    ListenSettings settings_; // libmicrohttpd reads the PEM texts in place
    std::unique_ptr<Context> context_;
    std::unique_ptr<MHD_Daemon, DaemonStop> daemon_; // stops first
};

} // namespace hostsim::server
