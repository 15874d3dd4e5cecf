#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "hosts/serve/RequestParser.h"
#include "tests/hosts/RawHttpClient.h"
#include "tests/hosts/TestHttpServer.h"

namespace {

TEST_F(HttpServerTest, AnswersSeveralRequestsOnOneConnection) {
    Start(Echo);
    RawHttpClient client(server_->port());
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.Send("GET /a?x=1 HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_NE(client.ReadResponse().find("\r\n\r\n/a?x=1\n"), std::string::npos);
    // Pipelined: both answered, in order.
    ASSERT_TRUE(
        client.Send("GET /b HTTP/1.1\r\nHost: x\r\n\r\nGET /c HTTP/1.1\r\nHost: x\r\nConnection: "
                    "close\r\n\r\n"));
    EXPECT_NE(client.ReadResponse().find("/b?"), std::string::npos);
    const std::string last = client.ReadResponse();
    EXPECT_NE(last.find("/c?"), std::string::npos);
    EXPECT_NE(last.find("Connection: close"), std::string::npos);
    EXPECT_TRUE(client.ClosedByServer());
}

TEST_F(HttpServerTest, RequestArrivingInPiecesIsAnsweredOnce) {
    Start(Echo);
    RawHttpClient client(server_->port());
    ASSERT_TRUE(client.Send("GET /slow?a"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(client.Send("=b HTTP/1.1\r\nHost: x\r\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(client.Send("\r\n"));
    EXPECT_NE(client.ReadResponse().find("/slow?a=b"), std::string::npos);
}

TEST_F(HttpServerTest, OversizedQueryGets414AndTheConnectionCloses) {
    Start(Echo);
    RawHttpClient client(server_->port());
    ASSERT_TRUE(client.Send("GET /?" + std::string(kMaxQueryLength + 10, 'q') +
                            " HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(client.ReadResponse().rfind("HTTP/1.1 414 ", 0), 0u);
    EXPECT_TRUE(client.ClosedByServer());
}

TEST_F(HttpServerTest, HandlerExceptionBecomes500) {
    Start([](const HttpRequest&) -> HttpResponse { throw std::runtime_error("boom"); });
    RawHttpClient client(server_->port());
    ASSERT_TRUE(client.Send("GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(client.ReadResponse().rfind("HTTP/1.1 500 ", 0), 0u);
}

TEST_F(HttpServerTest, StopFinishesTheRequestInFlight) {
    std::atomic<bool> entered{false};
    Start([&entered](const HttpRequest& request) {
        entered = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return Echo(request);
    });
    RawHttpClient client(server_->port());
    ASSERT_TRUE(client.Send("GET /inflight HTTP/1.1\r\nHost: x\r\n\r\n"));
    while (!entered) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    server_->Stop();
    const std::string response = client.ReadResponse();
    EXPECT_NE(response.find("/inflight"), std::string::npos);
    EXPECT_NE(response.find("Connection: close"), std::string::npos);
    runner_.join();
    EXPECT_EQ(threads_started_.load(), 2);
    EXPECT_EQ(threads_stopped_.load(), 2);
    RawHttpClient late(server_->port());
    EXPECT_FALSE(late.connected());  // no longer listening
}

TEST_F(HttpServerTest, AnswerLargerThanTheSocketBuffersArrivesWholeAndTheConnectionStays) {
    // Far more than loopback's send and receive buffers hold together, so the server must wait
    // for the client to read before it can send the rest.
    const std::string big(32 * 1024 * 1024, 'b');
    Start([&big](const HttpRequest& request) {
        return request.path == "/big" ? HttpResponse::Text(200, big) : Echo(request);
    });
    RawHttpClient client(server_->port());
    ASSERT_TRUE(client.Send("GET /big HTTP/1.1\r\nHost: x\r\n\r\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the buffers fill
    const std::string response = client.ReadResponse();
    ASSERT_GT(response.size(), big.size());
    EXPECT_EQ(response.substr(response.size() - big.size() - 1, big.size()), big);
    ASSERT_TRUE(client.Send("GET /after HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_NE(client.ReadResponse().find("/after?"), std::string::npos);
}

TEST_F(HttpServerTest, ClientThatStopsSendingStillGetsItsAnswersThenTheConnectionCloses) {
    Start(Echo);
    RawHttpClient client(server_->port());
    ASSERT_TRUE(
        client.Send("GET /one HTTP/1.1\r\nHost: x\r\n\r\nGET /two HTTP/1.1\r\nHost: x\r\n\r\n"));
    client.FinishSending();
    EXPECT_NE(client.ReadResponse().find("/one?"), std::string::npos);
    EXPECT_NE(client.ReadResponse().find("/two?"), std::string::npos);
    EXPECT_TRUE(client.ClosedByServer());
}

TEST_F(HttpServerTest, StopClosesIdleConnectionsAndFinishesHalfReceivedRequests) {
    Start(Echo, 1);  // one worker, so one request answered proves the other's bytes were read
    RawHttpClient half(server_->port());
    ASSERT_TRUE(half.Send("GET /half HTTP/1.1\r\nHost: x\r\n"));
    RawHttpClient idle(server_->port());
    ASSERT_TRUE(idle.Send("GET /idle HTTP/1.1\r\nHost: x\r\n\r\n"));
    const std::string first = idle.ReadResponse();
    EXPECT_NE(first.find("Connection: keep-alive"), std::string::npos);
    server_->Stop();
    ASSERT_TRUE(half.Send("\r\n"));
    const std::string last = half.ReadResponse();
    EXPECT_NE(last.find("/half?"), std::string::npos);
    EXPECT_NE(last.find("Connection: close"), std::string::npos);
    EXPECT_TRUE(half.ClosedByServer());
    EXPECT_TRUE(idle.ClosedByServer());  // after a moment for a last request
    runner_.join();
}

// What the access log wrote to the file at `path`, which goes, once the log has gone: its
// thread writes the lines out a moment after the answers, and all of them as it ends.
std::string ReadAndRemove(const std::string& path, std::unique_ptr<AccessLog> log) {
    log.reset();
    std::ifstream in(path, std::ios::binary);
    const std::string written(std::istreambuf_iterator<char>(in), {});
    std::remove(path.c_str());
    return written;
}

TEST_F(HttpServerTest, AccessLogHasALinePerRequestWithTimePeerTargetStatusAndBodySize) {
    const std::string path = testing::TempDir() + "access-" + std::to_string(getpid()) + ".log";
    std::remove(path.c_str());
    auto log = std::make_unique<AccessLog>();
    std::string error;
    ASSERT_TRUE(log->Open(path, &error)) << error;
    Start(Echo, 2, log.get());
    {
        RawHttpClient client(server_->port());
        ASSERT_TRUE(client.Send("GET /a?x=1&secret=personal HTTP/1.1\r\nHost: x\r\n\r\n"));
        ASSERT_FALSE(client.ReadResponse().empty());
        ASSERT_TRUE(client.Send("GET /" + std::string(299, 'l') + " HTTP/1.1\r\nHost: x\r\n\r\n"));
        ASSERT_FALSE(client.ReadResponse().empty());
        // A decoded path that would write a line of its own, in red, on a terminal.
        ASSERT_TRUE(client.Send("GET /x%0a%1b[31mforged%22 HTTP/1.1\r\nHost: x\r\n\r\n"));
        ASSERT_FALSE(client.ReadResponse().empty());
        ASSERT_TRUE(client.Send("HEAD /h HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
        ASSERT_FALSE(client.ReadUntilClosed().empty());
    }
    RawHttpClient bad(server_->port());
    ASSERT_TRUE(bad.Send("BAD\r\n\r\n"));
    ASSERT_FALSE(bad.ReadResponse().empty());

    server_->Stop();
    runner_.join();

    const std::string written = ReadAndRemove(path, std::move(log));
    // Bodies: the echoed path, "?", query and newline, or "Bad Request\n"; none for HEAD.
    // Query values are left out; targets are cut at 200 bytes; control characters and quotes
    // are escaped.
    const char* lines[] = {
        R"(127\.0\.0\.1 "GET /a\?x&secret" 200 23)",
        R"(127\.0\.0\.1 "GET /l{196}\.\.\." 200 302)",  // 200 bytes with the "..."
        R"(127\.0\.0\.1 "GET /x\\n\\x1B\[31mforged\\x22" 200 17)",
        R"(127\.0\.0\.1 "HEAD /h" 200 0)",
        R"(127\.0\.0\.1 "- " 400 12)",
    };
    std::string expected;
    for (const char* line : lines) {
        expected +=
            R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z )" + std::string(line) + R"( \d+\.\d{3}ms\n)";
    }
    EXPECT_TRUE(std::regex_match(written, std::regex(expected))) << written;
}

// A request refused before it is whole (a query too long, too many header lines) is logged by
// the method and path its line shows, not as "- ".
TEST_F(HttpServerTest, AccessLogNamesTheMethodAndPathOfARefusedRequest) {
    const std::string path = testing::TempDir() + "refused-" + std::to_string(getpid()) + ".log";
    std::remove(path.c_str());
    auto log = std::make_unique<AccessLog>();
    std::string error;
    ASSERT_TRUE(log->Open(path, &error)) << error;
    Start(Echo, 2, log.get());
    std::string many_headers;
    for (std::size_t i = 0; i <= kMaxHeaders; ++i)
        many_headers += "X-" + std::to_string(i) + ": 1\r\n";
    for (const std::string& request :
         {"GET /barcode.png?Data=" + std::string(kMaxQueryLength, 'q') + " HTTP/1.1\r\n\r\n",
          "GET /measure?Data=x HTTP/1.1\r\n" + many_headers + "\r\n"}) {
        RawHttpClient client(server_->port());
        ASSERT_TRUE(client.Send(request));
        ASSERT_FALSE(client.ReadResponse().empty());
    }
    server_->Stop();
    runner_.join();
    const std::string written = ReadAndRemove(path, std::move(log));
    EXPECT_NE(written.find(R"(127.0.0.1 "GET /barcode.png" 414 )"), std::string::npos) << written;
    EXPECT_NE(written.find(R"(127.0.0.1 "GET /measure" 431 )"), std::string::npos) << written;
}

TEST_F(HttpServerTest, StopAnswersRequestsAlreadySentThoughNotYetRead) {
    // One worker, held in the handler by the first request while the others arrive: one
    // client was accepted before, one still waits in the listening socket's backlog.
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    Start(
        [&](const HttpRequest& request) {
            if (request.path == "/hold") {
                entered = true;
                while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return Echo(request);
        },
        1);
    RawHttpClient accepted(server_->port());
    ASSERT_TRUE(accepted.Send("GET /warm HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_FALSE(accepted.ReadResponse().empty());
    RawHttpClient holder(server_->port());
    ASSERT_TRUE(holder.Send("GET /hold HTTP/1.1\r\nHost: x\r\n\r\n"));
    while (!entered) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(accepted.Send("GET /unread HTTP/1.1\r\nHost: x\r\n\r\n"));
    RawHttpClient waiting(server_->port());
    ASSERT_TRUE(waiting.connected());
    ASSERT_TRUE(waiting.Send("GET /backlog HTTP/1.1\r\nHost: x\r\n\r\n"));
    server_->Stop();
    release = true;
    EXPECT_NE(holder.ReadResponse().find("/hold?"), std::string::npos);
    const std::string unread = accepted.ReadResponse();
    EXPECT_NE(unread.find("/unread?"), std::string::npos);
    EXPECT_NE(unread.find("Connection: close"), std::string::npos);
    EXPECT_NE(waiting.ReadResponse().find("/backlog?"), std::string::npos);
    runner_.join();
}

TEST_F(HttpServerTest, ASecondStopEndsAtOnceDespiteAHalfSentRequest) {
    Start(Echo, 1);
    RawHttpClient half(server_->port());
    ASSERT_TRUE(half.Send("GET /half HTTP/1.1\r\nHost: x\r\n"));
    RawHttpClient probe(server_->port());  // the half request has surely been read by now
    ASSERT_TRUE(probe.Send("GET /probe HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_FALSE(probe.ReadResponse().empty());
    server_->Stop();
    const auto asked = std::chrono::steady_clock::now();
    server_->StopNow();
    runner_.join();
    // The first stop alone would wait up to its 10 s grace for the rest of the request.
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
    EXPECT_TRUE(half.ClosedByServer());
}

TEST_F(HttpServerTest, ASecondServerCannotListenOnTheSamePort) {
    Start(Echo);
    HttpServerConfig config = Config();
    config.port = server_->port();
    HttpServer second(config, Echo);
    std::string error;
    EXPECT_FALSE(second.Listen(&error));
    EXPECT_NE(error.find("Address already in use"), std::string::npos) << error;
}

TEST_F(HttpServerTest, ListensOnIpv6AndOnEveryAddressOfAHostName) {
    HttpServerConfig v6 = Config();
    v6.bind = "::1";
    HttpServer probe(v6, Echo);
    std::string error;
    if (!probe.Listen(&error)) GTEST_SKIP() << "no IPv6 loopback here: " << error;

    HttpServerConfig config = Config();
    config.bind = "localhost";
    Start(Echo, config);
    const std::vector<std::string> addresses = server_->addresses();
    ASSERT_FALSE(addresses.empty());
    for (const std::string& address : addresses) {
        const bool ipv6 = address.front() == '[';
        const std::string host =
            ipv6 ? address.substr(1, address.find(']') - 1) : address.substr(0, address.find(':'));
        EXPECT_EQ(address.substr(address.rfind(':') + 1), std::to_string(server_->port()));
        RawHttpClient client(server_->port(), host.c_str());
        ASSERT_TRUE(client.connected()) << address;
        ASSERT_TRUE(client.Send("GET /by-name HTTP/1.1\r\nHost: x\r\n\r\n"));
        EXPECT_NE(client.ReadResponse().find("/by-name?"), std::string::npos) << address;
    }
    HttpServerConfig bracketed = Config();
    bracketed.bind = "[::1]";
    HttpServer other(bracketed, Echo);
    EXPECT_TRUE(other.Listen(&error)) << error;
    ASSERT_FALSE(other.addresses().empty());
    EXPECT_EQ(other.addresses()[0].rfind("[::1]:", 0), 0u);
}

TEST_F(HttpServerTest, ServesASocketAlreadyListening) {
    const int socket_fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(socket_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(socket_fd, 16), 0);
    HttpServerConfig config = Config();
    config.inherited_listeners = {socket_fd};  // the server owns it from now on
    Start(Echo, config);
    RawHttpClient client(server_->port());
    ASSERT_TRUE(client.Send("GET /inherited HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_NE(client.ReadResponse().find("/inherited?"), std::string::npos);

    HttpServerConfig not_listening = Config();
    const int plain = socket(AF_INET, SOCK_STREAM, 0);
    not_listening.inherited_listeners = {plain};
    HttpServer refused(not_listening, Echo);
    std::string error;
    EXPECT_FALSE(refused.Listen(&error));
    EXPECT_NE(error.find("not a listening TCP or Unix stream socket"), std::string::npos) << error;
    close(plain);
}

// A Unix socket handed over is served too, and named as what it is.
TEST_F(HttpServerTest, ServesAUnixSocketAlreadyListening) {
    const std::string path = testing::TempDir() + "serve-" + std::to_string(getpid()) + ".sock";
    std::remove(path.c_str());
    const int socket_fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(bind(socket_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(socket_fd, 16), 0);
    HttpServerConfig config = Config();
    config.inherited_listeners = {socket_fd};
    Start(Echo, config);
    EXPECT_EQ(server_->urls(), std::vector<std::string>{"unix:" + path});
    const int client = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string request = "GET /over-unix HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    ASSERT_EQ(send(client, request.data(), request.size(), 0), ssize_t(request.size()));
    std::string answer(4096, '\0');
    answer.resize(std::max<ssize_t>(0, recv(client, answer.data(), answer.size(), MSG_WAITALL)));
    EXPECT_NE(answer.find("/over-unix?"), std::string::npos) << answer;
    close(client);
    std::remove(path.c_str());
}

// RFC 9112 and 9110: a client that waits for a go-ahead before its body gets one, and what
// cannot be the start of a request (a TLS handshake, an HTTP/0.9 request) is refused at once,
// not after the request timeout.
TEST_F(HttpServerTest, AnswersAnExpectedContinueAndRefusesAtOnceWhatIsNoRequest) {
    Start(Echo, 1);
    RawHttpClient client(server_->port());
    ASSERT_TRUE(
        client.Send("POST /c HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\n"
                    "Content-Length: 4\r\n\r\n"));
    EXPECT_EQ(client.ReadResponse(), "HTTP/1.1 100 Continue\r\n\r\n");
    ASSERT_TRUE(client.Send("body"));
    EXPECT_NE(client.ReadResponse().find("/c?"), std::string::npos);
    for (const std::string& noise :
         {std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11), std::string("GET /\r\n"),
          std::string("GET / HTTP/1.1\r\n\r\n")}) {
        const auto started = std::chrono::steady_clock::now();
        RawHttpClient other(server_->port());
        ASSERT_TRUE(other.Send(noise));
        EXPECT_EQ(other.ReadResponse().rfind("HTTP/1.1 400 ", 0), 0u);
        EXPECT_TRUE(other.ClosedByServer());
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    }
}

// Requests sent as the stop comes are answered: the first on a connection just taken from
// the backlog, and the next on a kept-alive one.
TEST_F(HttpServerTest, ARequestSentAsTheStopComesIsAnswered) {
    Start(Echo, 1);
    RawHttpClient kept(server_->port());
    ASSERT_TRUE(kept.Send("GET /first HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_NE(kept.ReadResponse().find("Connection: keep-alive"), std::string::npos);
    RawHttpClient fresh(server_->port());
    server_->Stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the stop has been seen
    ASSERT_TRUE(kept.Send("GET /next HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(fresh.Send("GET /fresh HTTP/1.1\r\nHost: x\r\n\r\n"));
    for (RawHttpClient* client : {&kept, &fresh}) {
        const std::string answer = client->ReadResponse();
        EXPECT_NE(answer.find(client == &kept ? "/next?" : "/fresh?"), std::string::npos);
        EXPECT_NE(answer.find("Connection: close"), std::string::npos);
    }
    runner_.join();
}

}  // namespace
