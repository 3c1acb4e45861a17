// serve: the providers behind a CIM-XML server until the process is told to stop. The address
// actually listened on is printed first, so that "--port 0" can be used by scripts and tests.
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <malloc.h>
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

constexpr const char *kPasswordVariable = "HOSTSIM_PASSWORD";
constexpr unsigned short kHttpsPort = 5989;
constexpr unsigned short kHttpPort = 5988;

struct ServeOptions {
    std::optional<unsigned short> port;
    std::string user;
    std::optional<std::string> password;
    std::string passwordFile;
    std::string tlsCert;
    std::string tlsKey;
    bool http = false;
    std::string accessLog;
    std::string mofDir;
};

unsigned short port_of(const std::string &text) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos || std::stoul(text) > 65535) {
        throw usage_error("--port: '" + text + "' is not a port number");
    }
    return static_cast<unsigned short>(std::stoul(text));
}

// Where each option's value goes.
std::string *text_option(ServeOptions &options, const std::string &name) {
    static const std::pair<const char *, std::string ServeOptions::*> kOptions[] = {
        {"--user", &ServeOptions::user},
        {"--password-file", &ServeOptions::passwordFile},
        {"--tls-cert", &ServeOptions::tlsCert},
        {"--tls-key", &ServeOptions::tlsKey},
        {"--access-log", &ServeOptions::accessLog},
        {"--mof-dir", &ServeOptions::mofDir},
    };
    for (const auto &[option, member] : kOptions) {
        if (name == option) {
            return &(options.*member);
        }
    }
    return nullptr;
}

void check_combination(const ServeOptions &options) {
    bool password = options.password || !options.passwordFile.empty();
    if (options.password && !options.passwordFile.empty()) {
        throw usage_error("serve: --password and --password-file exclude each other");
    }
    if (password && options.user.empty()) {
        throw usage_error("serve: a password needs --user");
    }
    if (!options.user.empty() && !password && getenv(kPasswordVariable) == nullptr) {
        throw usage_error("serve: --user needs --password, --password-file or " +
                          std::string(kPasswordVariable));
    }
    bool tls = !options.tlsCert.empty() || !options.tlsKey.empty();
    if (options.http && tls) {
        throw usage_error("serve: --http excludes --tls-cert and --tls-key");
    }
    if (!options.http && (options.tlsCert.empty() || options.tlsKey.empty())) {
        throw usage_error("serve: --tls-cert and --tls-key are required (or --http for plain "
                          "HTTP)");
    }
}

ServeOptions serve_options(const std::vector<std::string> &operands) {
    ServeOptions options;
    for (size_t i = 0; i < operands.size(); ++i) {
        const std::string &arg = operands[i];
        if (arg == "--http") {
            options.http = true;
            continue;
        }
        size_t eq = arg.find('=');
        std::string name = arg.substr(0, eq);
        if (name != "--port" && name != "--password" && !text_option(options, name)) {
            throw usage_error("serve: unknown option '" + arg + "'");
        }
        std::string value;
        if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < operands.size()) {
            value = operands[++i];
        }
        if (value.empty()) {
            throw usage_error(name + " needs a value");
        }
        if (name == "--port") {
            options.port = port_of(value);
        } else if (name == "--password") {
            options.password = value;
        } else {
            *text_option(options, name) = value;
        }
    }
    check_combination(options);
    return options;
}

// The first line of the file without its line end.
std::string password_from_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) {
        throw CliError(kExitSetup, "--password-file " + path + ": cannot be read");
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.empty()) {
        throw CliError(kExitSetup, "--password-file " + path + ": the first line is empty");
    }
    return line;
}

// --password, else --password-file, else the environment.
std::string password_of(const ServeOptions &options) {
    if (options.user.empty()) {
        return "";
    }
    if (options.password) {
        return *options.password;
    }
    if (!options.passwordFile.empty()) {
        return password_from_file(options.passwordFile);
    }
    const char *variable = getenv(kPasswordVariable);
    std::string password = variable ? variable : "";
    if (password.empty()) {
        throw usage_error(std::string("serve: ") + kPasswordVariable + " is empty");
    }
    return password;
}

// Installed beside the executable, else the source tree's mof/.
std::string mof_dir(const ServeOptions &options) {
    if (!options.mofDir.empty()) {
        return options.mofDir;
    }
    std::string shipped = shipped_file("mof");
    return access(shipped.c_str(), R_OK) == 0 ? shipped : HOSTSIM_MOF_DIR;
}

// Runs `step`; a file it cannot use is a setup error.
template <typename Step> auto setup(Step step) {
    try {
        return step();
    } catch (const std::runtime_error &e) {
        throw CliError(kExitSetup, e.what());
    }
}

} // namespace

void check_serve(const std::vector<std::string> &operands) {
    serve_options(operands);
}

int run_serve(const std::vector<std::string> &operands) {
    ServeOptions options = serve_options(operands);
    // Request bodies (up to 1 MiB) are mapped and unmapped rather than kept in the threads'
    // heaps, so that memory goes back to the system after a burst of large requests. A fixed
    // threshold also stops glibc from raising it after the first such body.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    server::ClassRepository classes;
    std::string error;
    if (!classes.load_directory(mof_dir(options), &error)) {
        throw CliError(kExitSetup, error);
    }
    server::RequestHandler handler(classes, {options.user, password_of(options)});
    server::ListenSettings listen;
    listen.port = options.port.value_or(options.http ? kHttpPort : kHttpsPort);
    if (!options.http) {
        listen.tls =
            setup([&] { return server::load_tls_identity(options.tlsCert, options.tlsKey); });
    }
    std::unique_ptr<server::AccessLog> accessLog;
    if (!options.accessLog.empty()) {
        accessLog = setup([&] { return std::make_unique<server::AccessLog>(options.accessLog); });
        listen.accessLog = accessLog.get();
    }
    // Blocked before any server thread starts, so only sigwait below sees them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    auto http = setup([&] { return std::make_unique<server::HttpServer>(handler, listen); });
    std::cout << "hostsim: serving CIM-XML on " << (options.http ? "http" : "https")
              << "://127.0.0.1:" << http->port() << "/cimom" << std::endl;
    int received = 0;
    sigwait(&stop, &received);
    http.reset();
    return kExitOk;
}

} // namespace hostsim::cli
