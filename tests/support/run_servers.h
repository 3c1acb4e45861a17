// Real file servers for transfer tests: tftpd-hpa and OpenSSH's sshd, each started by the test
// on a free loopback port with its files under /tmp (private to the test's sandbox), and stopped
// when the test's server object goes.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <string>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "test_files.h"

namespace runservers {

// A port on 127.0.0.1 that nothing uses at the moment.
inline int free_port(int type) {
    int fd = socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = -1;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&address), size) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) {
        close(fd);
    }
    return port;
}

// Whether 127.0.0.1:port is bound (UDP) or listening (TCP), from the kernel's socket tables.
inline bool bound(const char *table, int port, bool listening) {
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    for (const std::string &line : testfiles::lines(testfiles::read(table))) {
        if (line.find(local) != std::string::npos &&
            (!listening ||
             line.find(std::string(local) + " 00000000:0000 0A") != std::string::npos)) {
            return true;
        }
    }
    return false;
}

// Starts `argv` (an absolute program path first) with its output in `log`; the child's pid.
inline pid_t spawn(const std::vector<std::string> &argv, const std::string &log) {
    std::vector<char *> args; // made before fork: the child only opens, dups and execs
    for (const std::string &arg : argv) {
        args.push_back(const_cast<char *>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(out, 1);
        dup2(out, 2);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// Runs a tool to its end; whether it succeeded.
inline bool run_tool(const std::vector<std::string> &argv) {
    pid_t pid = spawn(argv, "/dev/null");
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// A server process, stopped (SIGTERM, then SIGKILL) when the object goes.
class ServerProcess {
  public:
    ServerProcess() = default;
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;
    ~ServerProcess() { stop(); }

    void start(const std::vector<std::string> &argv, const std::string &log) {
        log_ = log;
        pid_ = spawn(argv, log);
    }

    bool running() {
        if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1; // reaped: never signal a pid that may be another process's by now
        }
        return pid_ > 0;
    }

    void stop() {
        if (pid_ <= 0) {
            return;
        }
        kill(pid_, SIGTERM);
        for (int i = 0; i < 200 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (waitpid(pid_, nullptr, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

    std::string log() const { return testfiles::read(log_); }

  private:
    pid_t pid_ = -1;
    std::string log_;
};

// Waits up to five seconds for `ready`, while the server lives.
template <typename Ready> bool wait_until(ServerProcess &server, Ready ready) {
    for (int i = 0; i < 500; ++i) {
        if (ready()) {
            return true;
        }
        if (!server.running()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// tftpd-hpa serving `root` (read-only, paths relative to it).
class TftpServer {
  public:
    explicit TftpServer(const std::string &root) {
        std::filesystem::create_directories(root);
        port_ = free_port(SOCK_DGRAM);
        server_.start({"/usr/sbin/in.tftpd", "--foreground", "--address",
                       "127.0.0.1:" + std::to_string(port_), "--secure", root},
                      "/tmp/tftpd.log");
        ready_ = wait_until(server_, [this] { return bound("/proc/net/udp", port_, false); });
    }
    bool ready() const { return ready_; }
    std::string url(const std::string &path) const {
        return "tftp://127.0.0.1:" + std::to_string(port_) + "/" + path;
    }
    std::string log() const { return server_.log(); }

  private:
    int port_ = -1;
    bool ready_ = false;
    ServerProcess server_;
};

// sshd with its own configuration, host key and one authorised user key, all under `dir`;
// root may log in with that key only. sshd needs its privilege-separation directory /run/sshd:
// when the machine has none, the test's own sandbox gets a private /run that holds one.
class SshServer {
  public:
    explicit SshServer(const std::string &dir) : dir_(dir) {
        std::filesystem::create_directories(dir);
        if (!privsep_directory()) {
            problem_ = "no /run/sshd, and no sandbox of this test's own to make one in\n";
            return;
        }
        for (const std::string &key : {host_key(), user_key(), stranger_key()}) {
            if (!run_tool({"/usr/bin/ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", key})) {
                problem_ = "ssh-keygen failed for " + key + "\n";
                return;
            }
        }
        std::filesystem::copy_file(user_key() + ".pub", dir + "/authorized_keys");
        port_ = free_port(SOCK_STREAM);
        const std::vector<std::string> config = {
            "ListenAddress 127.0.0.1",
            "Port " + std::to_string(port_),
            "HostKey " + host_key(),
            "PidFile none",
            "UsePAM no",
            "PermitRootLogin prohibit-password",
            "PubkeyAuthentication yes",
            "PasswordAuthentication no",
            "KbdInteractiveAuthentication no",
            "AuthorizedKeysFile " + dir + "/authorized_keys",
            "StrictModes no",
            "UseDNS no",
            "Subsystem sftp internal-sftp",
            "LogLevel ERROR",
        };
        std::string text;
        for (const std::string &line : config) {
            text += line + "\n";
        }
        testfiles::write(dir + "/sshd_config", text);
        // What the client trusts: this server's host key at this address.
        std::string hostKey = testfiles::read(host_key() + ".pub");
        testfiles::write(known_hosts(), "[127.0.0.1]:" + std::to_string(port_) + " " +
                                            hostKey.substr(0, hostKey.rfind(' ')) + "\n");
        server_.start({"/usr/sbin/sshd", "-D", "-e", "-f", dir + "/sshd_config"},
                      dir + "/sshd.log");
        ready_ = wait_until(server_, [this] { return bound("/proc/net/tcp", port_, true); });
    }
    bool ready() const { return ready_; }
    std::string url(const std::string &absolutePath) const {
        return "sftp://127.0.0.1:" + std::to_string(port_) + absolutePath;
    }
    std::string user_key() const { return dir_ + "/user_key"; }
    std::string stranger_key() const { return dir_ + "/stranger_key"; } // not authorised
    std::string known_hosts() const { return dir_ + "/known_hosts"; }
    std::string log() const { return problem_ + server_.log(); }

  private:
    std::string host_key() const { return dir_ + "/host_key"; }

    static bool privsep_directory() {
        if (std::filesystem::is_directory("/run/sshd")) {
            return true;
        }
        // Only inside the sandbox, whose mounts are its own.
        if (testfiles::read("/proc/self/mounts").find("sandbox-tmp /tmp tmpfs") ==
                std::string::npos ||
            mount("run-sandbox", "/run", "tmpfs", 0, "mode=0755") != 0) {
            return false;
        }
        return mkdir("/run/sshd", 0755) == 0;
    }

    std::string dir_;
    std::string problem_;
    int port_ = -1;
    bool ready_ = false;
    ServerProcess server_;
};

} // namespace runservers
