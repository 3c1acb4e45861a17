// hostsim serve's HTTP side on a loopback port, against hostile clients: slow and idle
// connections, and unauthenticated ones announcing large bodies.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "http_server.h"
#include "test_certs.h"
#include "test_files.h"

namespace {

using namespace hostsim::server;
using namespace std::chrono_literals;

constexpr const char *kGoodCredentials = "Basic YWRtaW46czNjcmV0"; // admin:s3cret
constexpr const char *kBody =
    "<?xml version=\"1.0\"?><CIM CIMVERSION=\"2.0\" DTDVERSION=\"2.0\"><MESSAGE ID=\"1\" "
    "PROTOCOLVERSION=\"1.0\"><SIMPLEREQ><IMETHODCALL NAME=\"GetClass\"><LOCALNAMESPACEPATH>"
    "<NAMESPACE NAME=\"root\"/><NAMESPACE NAME=\"cimv2\"/></LOCALNAMESPACEPATH><IPARAMVALUE "
    "NAME=\"ClassName\"><CLASSNAME NAME=\"CIM_ConcreteJob\"/></IPARAMVALUE></IMETHODCALL>"
    "</SIMPLEREQ></MESSAGE></CIM>";

// The request's head: `authorization` empty for none, `length` the announced body length.
std::string head(const std::string &authorization, size_t length,
                 const std::string &path = "/cimom") {
    return "POST " + path +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/xml; charset=\"utf-8\"\r\n"
           "CIMOperation: MethodCall\r\nCIMMethod: GetClass\r\nCIMObject: root%2Fcimv2\r\n" +
           (authorization.empty() ? "" : "Authorization: " + authorization + "\r\n") +
           "Content-Length: " + std::to_string(length) + "\r\nConnection: close\r\n\r\n";
}

// A file descriptor closed when it goes.
struct Socket {
    explicit Socket(unsigned short port) : fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~Socket() { close(fd); }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;

    bool send_text(const std::string &text) const {
        return send(fd, text.data(), text.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(text.size());
    }
    // What arrives before the server closes the connection or `wait` passes.
    std::string receive(std::chrono::milliseconds wait = 5s) {
        std::string got;
        for (auto end = std::chrono::steady_clock::now() + wait;
             std::chrono::steady_clock::now() < end;) {
            pollfd ready{fd, POLLIN, 0};
            if (poll(&ready, 1, 50) <= 0) {
                continue;
            }
            char chunk[4096];
            ssize_t n = recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                closedByPeer = true;
                break;
            }
            got.append(chunk, static_cast<size_t>(n));
        }
        return got;
    }
    int fd;
    bool connected = false;
    bool closedByPeer = false;
};

std::string status_line(const std::string &answer) {
    return answer.substr(0, answer.find("\r\n"));
}

class CimHttpServer : public ::testing::Test {
  protected:
    void start(ConnectionLimits limits, std::optional<TlsIdentity> tls = std::nullopt) {
        log = std::make_unique<AccessLog>("/tmp/access.log");
        ListenSettings settings{0, std::move(tls), log.get(), limits};
        server = std::make_unique<HttpServer>(handler, settings);
        port = server->port();
    }
    // An authenticated request on a connection of its own: the status line of its answer.
    std::string served() {
        Socket client(port);
        client.send_text(head(kGoodCredentials, strlen(kBody)) + kBody);
        return status_line(client.receive());
    }
    std::string access_log() { return testfiles::read("/tmp/access.log"); }

    ClassRepository classes;
    RequestHandler handler{classes, {"admin", "s3cret"}};
    std::unique_ptr<AccessLog> log;
    std::unique_ptr<HttpServer> server;
    unsigned short port = 0;
};

// More slow clients than the old connection limit, dribbling their headers and reconnecting
// when dropped, while an authenticated client makes its requests.
TEST_F(CimHttpServer, SlowClientsLeaveRoomForAuthenticatedOnes) {
    ConnectionLimits limits;
    limits.requestDeadline = 1500ms;
    start(limits);
    std::atomic<bool> attacking{true};
    std::thread attacker([&] {
        std::vector<std::unique_ptr<Socket>> slow;
        while (attacking) {
            for (auto &connection : slow) {
                if (!connection->send_text("a")) {
                    connection = std::make_unique<Socket>(port);
                    connection->send_text("POST /cimom HTTP/1.1\r\nX-Slow: ");
                }
            }
            while (slow.size() < 80) {
                slow.push_back(std::make_unique<Socket>(port));
                slow.back()->send_text("POST /cimom HTTP/1.1\r\nX-Slow: ");
            }
            std::this_thread::sleep_for(200ms);
        }
    });
    std::this_thread::sleep_for(300ms);
    int served200 = 0;
    for (auto end = std::chrono::steady_clock::now() + 2s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(50ms)) {
        std::string status = served();
        EXPECT_EQ("HTTP/1.1 200 OK", status);
        served200 += status == "HTTP/1.1 200 OK";
    }
    attacking = false;
    attacker.join();
    EXPECT_GT(served200, 10);
    EXPECT_NE(std::string::npos,
              access_log().find(" 127.0.0.1 - - - - dropped (too many waiting connections)\n"));

    // Alone, a slow client is let go on until its request's deadline.
    Socket slow(port);
    slow.send_text("POST /cimom HTTP/1.1\r\nX-Slow: ");
    auto start = std::chrono::steady_clock::now();
    while (slow.send_text("a") && std::chrono::steady_clock::now() - start < 5s) {
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, limits.requestDeadline);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_NE(std::string::npos,
              access_log().find(" 127.0.0.1 - - - - dropped (request deadline)\n"));
}

TEST_F(CimHttpServer, RefusesOnHeadersWithoutReadingTheBody) {
    start(ConnectionLimits());
    // Unauthenticated clients announcing 4 MiB each: answered before their bodies are sent.
    std::vector<std::unique_ptr<Socket>> unauthenticated;
    for (int i = 0; i < 63; ++i) {
        unauthenticated.push_back(std::make_unique<Socket>(port));
        unauthenticated.back()->send_text(head(i % 2 ? "Basic YWRtaW46d3Jvbmc=" : "", 4u << 20));
    }
    for (auto &client : unauthenticated) {
        EXPECT_EQ("HTTP/1.1 401 Unauthorized", status_line(client->receive(2s)));
        EXPECT_TRUE(client->closedByPeer);
    }
    struct Case {
        std::string head, status;
    } cases[] = {
        {head(kGoodCredentials, (1u << 20) + 1), "HTTP/1.1 413 "},
        {head(kGoodCredentials, 10, "/cimom2"), "HTTP/1.1 404 "},
    };
    for (const Case &c : cases) {
        Socket client(port);
        client.send_text(c.head);
        EXPECT_EQ(0u, status_line(client.receive(2s)).rfind(c.status, 0)) << c.status;
    }
    // The scheme name in lower case is Basic all the same.
    Socket lower(port);
    lower.send_text(head("basic YWRtaW46czNjcmV0", strlen(kBody)) + kBody);
    EXPECT_EQ("HTTP/1.1 200 OK", status_line(lower.receive()));
    EXPECT_NE(std::string::npos, access_log().find(" POST /cimom2 GetClass admin 404 "));
}

TEST_F(CimHttpServer, DropsTlsHandshakesThatNeverCome) {
    mkdir("/tmp/certs", 0700);
    testcerts::Certificate certificate = testcerts::make("/tmp/certs", "server");
    ConnectionLimits limits;
    limits.requestDeadline = 500ms;
    start(limits, load_tls_identity(certificate.pem, certificate.key));
    Socket silent(port);
    ASSERT_TRUE(silent.connected);
    EXPECT_EQ("", silent.receive(3s));
    EXPECT_TRUE(silent.closedByPeer);
}

} // namespace
