#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <regex>
#include <string>
#include <thread>

#include "hosts/serve/HttpServer.h"
#include "tests/hosts/RawHttpClient.h"

namespace {

// A server on a free loopback port with a handler that echoes the path and query, running
// until the fixture ends.
class HttpServerTest : public testing::Test {
protected:
    void Start(HttpServer::Handler handler, int threads = 2, std::FILE* access_log = nullptr) {
        HttpServerConfig config;
        config.bind = "127.0.0.1";
        config.port = 0;
        config.threads = threads;
        config.access_log = access_log;
        server_ = std::make_unique<HttpServer>(
            config, std::move(handler), [this] { ++threads_started_; },
            [this] { ++threads_stopped_; });
        std::string error;
        ASSERT_TRUE(server_->Listen(&error)) << error;
        runner_ = std::thread([this] { server_->Run(); });
    }
    void TearDown() override {
        if (server_) server_->Stop();
        if (runner_.joinable()) runner_.join();
    }
    static HttpResponse Echo(const HttpRequest& request) {
        return HttpResponse::Text(200, request.path + "?" + request.query);
    }

    std::unique_ptr<HttpServer> server_;
    std::thread runner_;
    std::atomic<int> threads_started_{0};
    std::atomic<int> threads_stopped_{0};
};

TEST_F(HttpServerTest, AnswersSeveralRequestsOnOneConnection) {
    Start(Echo);
    RawHttpClient client(server_->port());
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.Send("GET /a?x=1 HTTP/1.1\r\n\r\n"));
    EXPECT_NE(client.ReadResponse().find("\r\n\r\n/a?x=1\n"), std::string::npos);
    // Pipelined: both answered, in order.
    ASSERT_TRUE(client.Send("GET /b HTTP/1.1\r\n\r\nGET /c HTTP/1.1\r\nConnection: close\r\n\r\n"));
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
    ASSERT_TRUE(
        client.Send("GET /?" + std::string(kMaxQueryLength + 10, 'q') + " HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(client.ReadResponse().rfind("HTTP/1.1 414 ", 0), 0u);
    EXPECT_TRUE(client.ClosedByServer());
}

TEST_F(HttpServerTest, HandlerExceptionBecomes500) {
    Start([](const HttpRequest&) -> HttpResponse { throw std::runtime_error("boom"); });
    RawHttpClient client(server_->port());
    ASSERT_TRUE(client.Send("GET / HTTP/1.1\r\n\r\n"));
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
    ASSERT_TRUE(client.Send("GET /inflight HTTP/1.1\r\n\r\n"));
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
    ASSERT_TRUE(client.Send("GET /big HTTP/1.1\r\n\r\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the buffers fill
    const std::string response = client.ReadResponse();
    ASSERT_GT(response.size(), big.size());
    EXPECT_EQ(response.substr(response.size() - big.size() - 1, big.size()), big);
    ASSERT_TRUE(client.Send("GET /after HTTP/1.1\r\n\r\n"));
    EXPECT_NE(client.ReadResponse().find("/after?"), std::string::npos);
}

TEST_F(HttpServerTest, ClientThatStopsSendingStillGetsItsAnswersThenTheConnectionCloses) {
    Start(Echo);
    RawHttpClient client(server_->port());
    ASSERT_TRUE(client.Send("GET /one HTTP/1.1\r\n\r\nGET /two HTTP/1.1\r\n\r\n"));
    client.FinishSending();
    EXPECT_NE(client.ReadResponse().find("/one?"), std::string::npos);
    EXPECT_NE(client.ReadResponse().find("/two?"), std::string::npos);
    EXPECT_TRUE(client.ClosedByServer());
}

TEST_F(HttpServerTest, StopClosesIdleConnectionsAndFinishesHalfReceivedRequests) {
    Start(Echo, 1);  // one worker, so one request answered proves the other's bytes were read
    RawHttpClient half(server_->port());
    ASSERT_TRUE(half.Send("GET /half HTTP/1.1\r\n"));
    RawHttpClient idle(server_->port());
    ASSERT_TRUE(idle.Send("GET /idle HTTP/1.1\r\n\r\n"));
    const std::string first = idle.ReadResponse();
    EXPECT_NE(first.find("Connection: keep-alive"), std::string::npos);
    server_->Stop();
    EXPECT_TRUE(idle.ClosedByServer());
    ASSERT_TRUE(half.Send("\r\n"));
    const std::string last = half.ReadResponse();
    EXPECT_NE(last.find("/half?"), std::string::npos);
    EXPECT_NE(last.find("Connection: close"), std::string::npos);
    EXPECT_TRUE(half.ClosedByServer());
    runner_.join();
}

TEST_F(HttpServerTest, AccessLogHasALinePerRequestWithPeerTargetStatusAndBodySize) {
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    Start(Echo, 2, log);
    {
        RawHttpClient client(server_->port());
        ASSERT_TRUE(client.Send("GET /a?x=1 HTTP/1.1\r\n\r\n"));
        ASSERT_FALSE(client.ReadResponse().empty());
        ASSERT_TRUE(client.Send("GET /" + std::string(299, 'l') + " HTTP/1.1\r\n\r\n"));
        ASSERT_FALSE(client.ReadResponse().empty());
        ASSERT_TRUE(client.Send("HEAD /h HTTP/1.1\r\nConnection: close\r\n\r\n"));
        ASSERT_FALSE(client.ReadUntilClosed().empty());
    }
    RawHttpClient bad(server_->port());
    ASSERT_TRUE(bad.Send("BAD\r\n\r\n"));
    ASSERT_FALSE(bad.ReadResponse().empty());

    server_->Stop();
    runner_.join();

    std::string written(4096, '\0');
    std::rewind(log);
    written.resize(std::fread(written.data(), 1, written.size(), log));
    std::fclose(log);
    // Bodies: the echoed path, "?", query and newline, or "Bad Request\n"; none for HEAD.
    // Targets are cut at 200 characters.
    const char* lines[] = {
        R"(127\.0\.0\.1 "GET /a\?x=1" 200 7)",
        R"(127\.0\.0\.1 "GET /l{199}\.\.\." 200 302)",
        R"(127\.0\.0\.1 "HEAD /h" 200 0)",
        R"(127\.0\.0\.1 "- " 400 12)",
    };
    std::string expected;
    for (const char* line : lines) expected += std::string(line) + R"( \d+\.\d{3}ms\n)";
    EXPECT_TRUE(std::regex_match(written, std::regex(expected))) << written;
}

}  // namespace
