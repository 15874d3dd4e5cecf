// What one client can make the server hold or spend: answers it does not read, requests it
// sends a byte at a time, heads without end, connections without number, a closed side with
// answers pending; and what the server counts of it all.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/hosts/RawHttpClient.h"
#include "tests/hosts/TestHttpServer.h"

namespace {

using namespace std::chrono_literals;
constexpr int kSmallReceiveBuffer = 4096;

HttpServer::Handler Sized(std::size_t bytes) {
    return [body = std::string(bytes, 'b')](const HttpRequest&) {
        return HttpResponse::Text(200, body);
    };
}

// Waits (up to 10 s) until `value` has not changed for 300 ms; returns it.
int Settled(const std::atomic<int>& value) {
    int last = -1;
    for (int quiet = 0, rounds = 0; quiet < 3 && rounds < 100; ++rounds) {
        std::this_thread::sleep_for(100ms);
        const int now = value.load();
        quiet = now == last ? quiet + 1 : 0;
        last = now;
    }
    return last;
}

bool ClosedWithoutWaiting(const RawHttpClient& client) {
    char c;
    return recv(client.fd(), &c, 1, MSG_DONTWAIT) == 0;
}

TEST_F(HttpServerTest, AClientThatNeverReadsIsAnsweredNoFasterThanItReads) {
    constexpr std::size_t kBody = 32 * 1024;
    constexpr int kRequests = 2000;  // 64 MB of answers for 40 KB of requests
    std::atomic<int> served{0};
    HttpServerConfig config = Config(1);
    config.limits.max_unsent = 256 * 1024;
    Start(
        [&served, answer = Sized(kBody)](const HttpRequest& request) {
            ++served;
            return answer(request);
        },
        config);
    RawHttpClient client(server_->port(), "127.0.0.1", kSmallReceiveBuffer);
    std::string burst;
    for (int i = 0; i < kRequests; ++i) burst += "GET /r HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_TRUE(client.Send(burst));
    // What is served and unread fits in the bound plus the kernel's socket buffers (a few
    // MB on loopback), far below all of it.
    EXPECT_LT(Settled(served) * kBody, 12u * 1024 * 1024);
    // Reading, the client gets every answer.
    for (int i = 0; i < kRequests; ++i) {
        ASSERT_EQ(client.ReadResponse().rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << i;
    }
    EXPECT_EQ(served.load(), kRequests);
}

TEST_F(HttpServerTest, AConnectionWhoseClientTakesNothingForTooLongIsClosed) {
    constexpr std::size_t kBody = 16 * 1024 * 1024;  // far more than the socket buffers hold
    HttpMetrics metrics({});
    HttpServerConfig config = Config(1);
    config.limits.write_timeout = 300ms;
    config.metrics = &metrics;
    Start(Sized(kBody), config);
    RawHttpClient client(server_->port(), "127.0.0.1", kSmallReceiveBuffer);
    ASSERT_TRUE(client.Send("GET /big HTTP/1.1\r\nHost: x\r\n\r\n"));
    // The client reads nothing until the server has answered and then given up on it (or
    // 20 s have passed).
    const auto answered_then_closed = [&metrics] {
        const std::string text = metrics.Text();
        return text.find("status=\"200\"} 1\n") != std::string::npos &&
               text.find("quillon_http_connections_open 0\n") != std::string::npos;
    };
    for (int i = 0; i < 200 && !answered_then_closed(); ++i) std::this_thread::sleep_for(100ms);
    EXPECT_LT(client.DrainCount(), kBody);  // cut off before the whole answer went out
}

TEST_F(HttpServerTest, ARequestTrickledAByteAtATimeTimesOutFromItsFirstByte) {
    HttpServerConfig config = Config(1);
    config.limits.request_timeout = 400ms;
    Start(Echo, config);
    RawHttpClient client(server_->port());
    const std::string head =
        "GET /slow HTTP/1.1\r\nHost: x\r\nX-Slow: " + std::string(50, 's') + "\r\n\r\n";
    std::size_t sent = 0;
    bool closed = false;
    for (; sent < head.size() && !closed; ++sent) {  // 4 s for the whole head
        closed = !client.Send(head.substr(sent, 1)) || ClosedWithoutWaiting(client);
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(closed) << "the server waited for all " << sent << " bytes";
}

// At the cap a new client is taken at once, in the place of the connection whose wait began
// first among the idle ones and the unfinished requests; the crowded limits are set long here,
// so that only that can close them.
TEST_F(HttpServerTest, AtTheCapANewClientTakesThePlaceOfTheLongestIdleOrSlowestConnection) {
    HttpServerConfig config = Config(1);
    config.max_connections = 3;
    config.limits.crowded_idle_timeout = 30s;
    config.limits.crowded_request_timeout = 30s;
    Start(Echo, config);
    RawHttpClient idle(server_->port());
    std::this_thread::sleep_for(30ms);
    RawHttpClient slow(server_->port());
    ASSERT_TRUE(slow.Send("GET /slow HTTP/1.1\r\nHost: x\r\n"));
    std::this_thread::sleep_for(30ms);
    RawHttpClient idle_later(server_->port());
    std::this_thread::sleep_for(30ms);
    RawHttpClient* const replaced[] = {&idle, &slow, &idle_later};
    std::vector<std::unique_ptr<RawHttpClient>> newcomers;
    for (RawHttpClient* old : replaced) {
        const auto started = std::chrono::steady_clock::now();
        newcomers.push_back(std::make_unique<RawHttpClient>(server_->port()));
        ASSERT_TRUE(newcomers.back()->Send("GET /new HTTP/1.1\r\nHost: x\r\n\r\n"));
        EXPECT_NE(newcomers.back()->ReadResponse().find("/new?"), std::string::npos);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
        EXPECT_TRUE(old->ClosedByServer());
    }
    // The newcomers, answered and idle, are the next to go, the first first.
    RawHttpClient last(server_->port());
    ASSERT_TRUE(last.Send("GET /last HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_NE(last.ReadResponse().find("/last?"), std::string::npos);
    EXPECT_TRUE(newcomers[0]->ClosedByServer());
    EXPECT_FALSE(ClosedWithoutWaiting(*newcomers[1]));
}

// Two workers at the cap: a new client wakes one of them only, here the second, which holds
// nothing to close (the first stopped listening while its two answers were made, and started
// again after it). The newcomer is handed to the first, which closes its longest idle
// connection for it, rather than waiting for that one to time out (30 s here).
TEST_F(HttpServerTest, AtTheCapAWorkerWithNothingToCloseHandsTheNewClientToOneThatHas) {
    std::atomic<int> made{0};
    std::atomic<bool> release{false};
    HttpMetrics metrics({});
    HttpServerConfig config = Config(2);
    config.max_connections = 2;
    config.answer_threads = 1;
    config.limits.crowded_idle_timeout = 30s;
    config.limits.crowded_request_timeout = 30s;
    config.metrics = &metrics;
    Start(MadeLater(0,
                    [&] {
                        ++made;
                        while (!release) std::this_thread::sleep_for(1ms);
                    }),
          config);
    const auto open = [&metrics](int count) {
        const std::string line = "quillon_http_connections_open " + std::to_string(count) + "\n";
        for (int i = 0; i < 500 && metrics.Text().find(line) == std::string::npos; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return metrics.Text().find(line) != std::string::npos;
    };
    // Each taken by the first worker, which waits on the listening socket first.
    RawHttpClient first(server_->port()), second(server_->port());
    ASSERT_TRUE(first.Send("GET /later/1 HTTP/1.1\r\nHost: x\r\n\r\n"));
    for (int i = 0; i < 5000 && made == 0; ++i) std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(second.Send("GET /later/2 HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(open(2));
    // Nothing to close: the third waits in the backlog, and the first worker stops listening.
    RawHttpClient third(server_->port());
    ASSERT_TRUE(third.Send("GET /third HTTP/1.1\r\nHost: x\r\n\r\n"));
    std::this_thread::sleep_for(200ms);
    release = true;
    EXPECT_NE(first.ReadResponse().find("/later/1?"), std::string::npos);
    EXPECT_NE(second.ReadResponse().find("/later/2?"), std::string::npos);
    EXPECT_NE(third.ReadResponse().find("/third?"), std::string::npos);
    const auto started = std::chrono::steady_clock::now();
    RawHttpClient fourth(server_->port());
    ASSERT_TRUE(fourth.Send("GET /fourth HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_NE(fourth.ReadResponse().find("/fourth?"), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

// With a limit per address, a client address holds no more connections than it: the next
// ones are closed at once, and taken again once the first have gone.
TEST_F(HttpServerTest, ALimitPerAddressClosesTheConnectionsPastIt) {
    HttpServerConfig config = Config(1);
    config.max_per_address = 2;
    Start(Echo, config);
    std::vector<std::unique_ptr<RawHttpClient>> clients;
    for (int i = 0; i < 4; ++i) {
        clients.push_back(std::make_unique<RawHttpClient>(server_->port()));
        std::this_thread::sleep_for(20ms);  // in this order
    }
    EXPECT_FALSE(ClosedWithoutWaiting(*clients[0]));
    EXPECT_FALSE(ClosedWithoutWaiting(*clients[1]));
    EXPECT_TRUE(clients[2]->ClosedByServer());
    EXPECT_TRUE(clients[3]->ClosedByServer());
    clients.erase(clients.begin());  // one of the two goes, and another may come
    std::this_thread::sleep_for(100ms);
    RawHttpClient again(server_->port());
    ASSERT_TRUE(again.Send("GET /again HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_NE(again.ReadResponse().find("/again?"), std::string::npos);
}

// A stop while slow clients hold the cap and whole requests wait in the backlog: the slow
// ones are closed to make room, and every request in the backlog is answered.
TEST_F(HttpServerTest, AStopAtTheCapClosesTheSlowAndAnswersTheBacklog) {
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    HttpServerConfig config = Config(1);
    config.max_connections = 3;
    Start(
        [&](const HttpRequest& request) {
            if (request.path == "/hold") {
                entered = true;
                while (!release) std::this_thread::sleep_for(5ms);
            }
            return Echo(request);
        },
        config);
    std::vector<std::unique_ptr<RawHttpClient>> slow;
    for (int i = 0; i < 2; ++i) {
        slow.push_back(std::make_unique<RawHttpClient>(server_->port()));
        ASSERT_TRUE(slow.back()->Send("GET /slow HTTP/1.1\r\n"));
    }
    std::this_thread::sleep_for(50ms);
    RawHttpClient holder(server_->port());  // the third: the cap
    ASSERT_TRUE(holder.Send("GET /hold HTTP/1.1\r\nHost: x\r\n\r\n"));
    while (!entered) std::this_thread::sleep_for(5ms);
    // The worker is held: these wait in the backlog, their requests sent.
    std::vector<std::unique_ptr<RawHttpClient>> waiting;
    for (int i = 0; i < 10; ++i) {
        waiting.push_back(std::make_unique<RawHttpClient>(server_->port()));
        ASSERT_TRUE(
            waiting.back()->Send("GET /w" + std::to_string(i) + " HTTP/1.1\r\nHost: x\r\n\r\n"));
    }
    server_->Stop();
    release = true;
    EXPECT_NE(holder.ReadResponse().find("/hold?"), std::string::npos);
    for (int i = 0; i < 10; ++i) {
        EXPECT_NE(waiting[i]->ReadResponse().find("/w" + std::to_string(i) + "?"),
                  std::string::npos)
            << i;
    }
    for (const auto& client : slow) EXPECT_TRUE(client->ClosedByServer());
    runner_.join();
}

// An answer made on an answer thread holds its memory in the server's budget while it is made:
// one that does not fit is refused with 503 and Retry-After, without being made, while the
// event loop goes on answering the others; and pipelined answers keep their order, wherever
// they were made.
TEST_F(HttpServerTest, AnswersMadeElsewhereFitTheBudgetAndKeepTheirOrder) {
    std::atomic<int> made{0};
    std::atomic<bool> release{false};
    HttpServerConfig config = Config(1);
    config.answer_threads = 2;
    config.answer_memory = 10000;
    Start(MadeLater(6000,
                    [&] {
                        ++made;
                        while (!release) std::this_thread::sleep_for(1ms);
                    }),
          config);
    RawHttpClient held(server_->port());
    ASSERT_TRUE(held.Send("GET /later/held HTTP/1.1\r\nHost: x\r\n\r\n"));
    for (int i = 0; i < 5000 && made == 0; ++i) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(made.load(), 1);
    RawHttpClient refused(server_->port());
    ASSERT_TRUE(refused.Send("GET /later/refused HTTP/1.1\r\nHost: x\r\n\r\n"));
    const std::string busy = refused.ReadResponse();
    EXPECT_EQ(busy.rfind("HTTP/1.1 503 ", 0), 0u) << busy;
    EXPECT_NE(busy.find("\r\nRetry-After: 1\r\n"), std::string::npos) << busy;
    RawHttpClient small(server_->port());
    ASSERT_TRUE(small.Send("GET /small HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_NE(small.ReadResponse().find("/small?"), std::string::npos);
    release = true;
    EXPECT_NE(held.ReadResponse().find("/later/held?"), std::string::npos);
    EXPECT_EQ(made.load(), 1);  // the refused one was never made

    const std::vector<std::string> paths = {"/a", "/later/1", "/b", "/later/2", "/later/3", "/c"};
    std::string burst;
    for (const std::string& path : paths) burst += "GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_TRUE(small.Send(burst));
    for (const std::string& path : paths) {
        EXPECT_NE(small.ReadResponse().find(path + "?"), std::string::npos) << path;
    }
}

TEST_F(HttpServerTest, AnOversizedHeadGets431WhateverItsSize) {
    Start(Echo, 1);
    const std::string heads[] = {
        "X-Big: " + std::string(1024 * 1024, 'a') + "\r\n",
        [] {
            std::string many;
            for (int i = 0; i < 20000; ++i) many += "X: y\r\n";
            return many;
        }(),
    };
    for (const std::string& head : heads) {
        RawHttpClient client(server_->port());
        ASSERT_TRUE(client.Send("GET /big-head HTTP/1.1\r\nHost: x\r\n" + head + "\r\n"));
        EXPECT_EQ(client.ReadResponse().rfind("HTTP/1.1 431 ", 0), 0u);
        EXPECT_TRUE(client.ClosedByServer());
    }
}

double ProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST_F(HttpServerTest, AClientThatClosedItsSideWithAnswersPendingCostsNoProcessorTime) {
    Start(Sized(8 * 1024 * 1024), 1);  // more than the socket buffers hold
    RawHttpClient client(server_->port(), "127.0.0.1", kSmallReceiveBuffer);
    ASSERT_TRUE(client.Send("GET /big HTTP/1.1\r\nHost: x\r\n\r\n"));
    client.FinishSending();
    std::this_thread::sleep_for(500ms);  // answered, and stuck behind the full buffers
    const double before = ProcessorSeconds();
    std::this_thread::sleep_for(1s);
    // A worker woken for the end of stream over and over would spend most of that second.
    EXPECT_LT(ProcessorSeconds() - before, 0.3);
}

TEST_F(HttpServerTest, ALongBurstOfPipelinedRequestsIsAnsweredInOrder) {
    Start(Echo, 1);
    constexpr int kRequests = 20000;
    RawHttpClient client(server_->port());
    std::thread sender([&client] {
        std::string burst;
        for (int i = 0; i < kRequests; ++i)
            burst += "GET /p" + std::to_string(i) + " HTTP/1.1\r\nHost: x\r\n\r\n";
        client.Send(burst);
    });
    int in_order = 0;
    for (int i = 0; i < kRequests; ++i) {
        const std::string response = client.ReadResponse();
        if (response.find("\r\n\r\n/p" + std::to_string(i) + "?\n") == std::string::npos) break;
        ++in_order;
    }
    sender.join();
    EXPECT_EQ(in_order, kRequests);
}

TEST_F(HttpServerTest, MetricsCountRequestsByRouteAndStatusAndEveryByteSent) {
    HttpMetrics metrics({"/a"});
    HttpServerConfig config = Config();
    config.metrics = &metrics;
    Start(Echo, config);
    std::size_t received = 0;
    {
        RawHttpClient client(server_->port());
        for (const char* target : {"/a", "/a?x=1", "/a", "/elsewhere"}) {
            ASSERT_TRUE(client.Send("GET " + std::string(target) + " HTTP/1.1\r\nHost: x\r\n\r\n"));
            received += client.ReadResponse().size();
        }
        RawHttpClient bad(server_->port());
        ASSERT_TRUE(bad.Send("BAD\r\n\r\n"));
        received += bad.ReadUntilClosed().size();
    }
    server_->Stop();
    runner_.join();
    const std::string text = metrics.Text();
    for (const std::string& line : std::vector<std::string>{
             R"(quillon_http_requests_total\{route="/a",status="200"\} 3)",
             R"(quillon_http_requests_total\{route="other",status="200"\} 1)",
             R"(quillon_http_requests_total\{route="other",status="400"\} 1)",
             R"(quillon_http_request_duration_seconds_bucket\{route="/a",le="\+Inf"\} 3)",
             R"(quillon_http_request_duration_seconds_count\{route="other"\} 2)",
             "quillon_http_response_bytes_total " + std::to_string(received),
             R"(quillon_http_requests_in_flight 0)",
             R"(quillon_http_connections_open 0)",
         }) {
        EXPECT_TRUE(std::regex_search(text, std::regex("(^|\n)" + line + "\n"))) << line << "\n"
                                                                                 << text;
    }
}

}  // namespace
