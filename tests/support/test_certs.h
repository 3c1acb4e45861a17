// Throw-away TLS certificates for tests, made with openssl at run time: self-signed EC P-256,
// valid for a day, made out to 127.0.0.1 and localhost; each is its own CA for a client to trust.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testcerts {

struct Certificate {
    std::string pem; // certificate file
    std::string key; // private key file
};

// `name`.pem and `name`.key under `dir` (which must exist); empty paths when openssl fails.
inline Certificate make(const std::string &dir, const std::string &name) {
    Certificate made{dir + "/" + name + ".pem", dir + "/" + name + ".key"};
    std::vector<std::string> argv = {"/usr/bin/openssl",
                                     "req",
                                     "-x509",
                                     "-newkey",
                                     "ec",
                                     "-pkeyopt",
                                     "ec_paramgen_curve:prime256v1",
                                     "-nodes",
                                     "-days",
                                     "1",
                                     "-subj",
                                     "/CN=127.0.0.1",
                                     "-addext",
                                     "subjectAltName=IP:127.0.0.1,DNS:localhost",
                                     "-keyout",
                                     made.key,
                                     "-out",
                                     made.pem};
    std::vector<char *> args;
    for (std::string &arg : argv) {
        args.push_back(arg.data());
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int status = -1;
    if (posix_spawn(&pid, args[0], &quiet, nullptr, args.data(), environ) == 0) {
        waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&quiet);
    return status == 0 ? made : Certificate{};
}

} // namespace testcerts
