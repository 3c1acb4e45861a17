// The CIM server's HTTP side, through libmicrohttpd: listens on 127.0.0.1 only, a thread per
// connection, request bodies bounded by the handler's settings, each request answered by the
// RequestHandler.
#pragma once

#include <memory>

#include <microhttpd.h>

#include "request_handler.h"

namespace hostsim::server {

class HttpServer {
  public:
    // Listens on 127.0.0.1:`port` (0: a free port). Throws std::runtime_error when it cannot.
    HttpServer(const RequestHandler &handler, unsigned short port);
    // Stops listening and waits for the connection threads.
    ~HttpServer() = default;
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    unsigned short port() const;

  private:
    struct DaemonStop {
        void operator()(MHD_Daemon *daemon) const { MHD_stop_daemon(daemon); }
    };
    std::unique_ptr<MHD_Daemon, DaemonStop> daemon_;
};

} // namespace hostsim::server
