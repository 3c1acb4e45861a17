// serve: the providers behind a CIM-XML server until the process is told to stop. The port
// actually listened on is printed first, so that "--port 0" can be used by scripts and tests.
#include <csignal>
#include <iostream>
#include <memory>
#include <pthread.h>
#include <unistd.h>

#include "class_repository.h"
#include "cli_errors.h"
#include "host_setup.h"
#include "http_server.h"
#include "request_handler.h"
#include "serve_verb.h"

namespace hostsim::cli {

namespace {

struct ServeOptions {
    unsigned short port = 5988;
    std::string user;
    std::string password;
    std::string mofDir;
};

unsigned short port_of(const std::string &text) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos || std::stoul(text) > 65535) {
        throw usage_error("--port: '" + text + "' is not a port number");
    }
    return static_cast<unsigned short>(std::stoul(text));
}

ServeOptions serve_options(const std::vector<std::string> &operands) {
    ServeOptions options;
    for (size_t i = 0; i < operands.size(); ++i) {
        const std::string &arg = operands[i];
        size_t eq = arg.find('=');
        std::string name = arg.substr(0, eq);
        std::string value;
        if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < operands.size()) {
            value = operands[++i];
        }
        if (name != "--port" && name != "--user" && name != "--password" && name != "--mof-dir") {
            throw usage_error("serve: unknown option '" + arg + "'");
        }
        if (value.empty()) {
            throw usage_error(name + " needs a value");
        }
        if (name == "--port") {
            options.port = port_of(value);
        } else if (name == "--user") {
            options.user = value;
        } else if (name == "--password") {
            options.password = value;
        } else {
            options.mofDir = value;
        }
    }
    if (options.user.empty() != options.password.empty()) {
        throw usage_error("serve: --user and --password go together");
    }
    return options;
}

// Installed beside the executable, else the source tree's mof/.
std::string mof_dir(const ServeOptions &options) {
    if (!options.mofDir.empty()) {
        return options.mofDir;
    }
    std::string shipped = shipped_file("mof");
    return access(shipped.c_str(), R_OK) == 0 ? shipped : HOSTSIM_MOF_DIR;
}

} // namespace

void check_serve(const std::vector<std::string> &operands) {
    serve_options(operands);
}

int run_serve(const std::vector<std::string> &operands) {
    ServeOptions options = serve_options(operands);
    server::ClassRepository classes;
    std::string error;
    if (!classes.load_directory(mof_dir(options), &error)) {
        throw CliError(kExitSetup, error);
    }
    server::RequestHandler handler(classes, {options.user, options.password});
    // Blocked before any server thread starts, so only sigwait below sees them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    std::unique_ptr<server::HttpServer> http;
    try {
        http = std::make_unique<server::HttpServer>(handler, options.port);
    } catch (const std::runtime_error &e) {
        throw CliError(kExitSetup, e.what());
    }
    std::cout << "hostsim: serving CIM-XML on http://127.0.0.1:" << http->port() << "/cimom"
              << std::endl;
    int received = 0;
    sigwait(&stop, &received);
    http.reset();
    return kExitOk;
}

} // namespace hostsim::cli
