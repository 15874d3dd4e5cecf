// The HTTP host with many clients at once, for ThreadSanitizer (CTest label "tsan"): the
// server in this process with several workers sharing its metrics and log while the log is
// reopened and the server stopped under load; then the quillon-serve program, component and
// all, under concurrent requests and signals. Bounded in count and time, on loopback.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/hosts/ChildProcess.h"
#include "tests/hosts/RawHttpClient.h"
#include "tests/hosts/TestHttpServer.h"

namespace {

using namespace std::chrono_literals;

std::string Request(const std::string& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n";
}

TEST_F(HttpServerTest, ManyClientsSharingMetricsAndLogAndAStopUnderLoad) {
    HttpMetrics metrics({"/c"});
    const std::string path = testing::TempDir() + "concurrent-" + std::to_string(getpid()) + ".log";
    AccessLog log;
    std::string error;
    ASSERT_TRUE(log.Open(path, &error)) << error;
    HttpServerConfig config = Config(4);
    config.metrics = &metrics;
    config.access_log = &log;
    config.answer_threads = 2;
    Start(MadeLater(64), config);

    std::atomic<int> wrong{0};
    std::atomic<bool> done{false};
    std::thread observer([&] {  // scrapes and rotates while the workers write
        for (int i = 0; i < 1000 && !done; ++i) {
            if (metrics.Text().empty()) ++wrong;
            std::string ignored;
            log.Reopen(&ignored);
            std::this_thread::sleep_for(2ms);
        }
    });
    std::vector<std::thread> clients;
    for (int c = 0; c < 8; ++c) {
        clients.emplace_back([&, c] {
            RawHttpClient client(server_->port());
            for (int i = 0; i < 40; ++i) {  // five pipelined at a time
                std::string burst;
                // One in five made on an answer thread, the others on the event loop.
                for (int j = 0; j < 5; ++j) {
                    burst += Request((j == 2 ? "/later/c" : "/c") +
                                     std::to_string(c * 1000 + i * 5 + j));
                }
                if (!client.Send(burst)) ++wrong;
                for (int j = 0; j < 5; ++j) {
                    const std::string expected =
                        "/c" + std::to_string(c * 1000 + i * 5 + j) + "?\n";
                    if (client.ReadResponse().find(expected) == std::string::npos) ++wrong;
                }
            }
        });
    }
    for (std::thread& client : clients) client.join();
    clients.clear();
    // And a stop while clients are still asking: each gets whole answers, then the end.
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([&] {
            RawHttpClient client(server_->port());
            for (int i = 0; i < 200; ++i) {
                if (!client.Send(Request("/late"))) break;
                const std::string response = client.ReadResponse();
                if (response.empty()) break;
                if (response.find("/late?") == std::string::npos) ++wrong;
            }
        });
    }
    std::this_thread::sleep_for(50ms);
    server_->Stop();
    for (std::thread& client : clients) client.join();
    runner_.join();
    done = true;
    observer.join();
    std::remove(path.c_str());
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_NE(metrics.Text().find("quillon_http_connections_open 0\n"), std::string::npos);
}

TEST(PageHostConcurrency, ConcurrentRequestsAndSignals) {
    const std::string log =
        testing::TempDir() + "concurrent-serve-" + std::to_string(getpid()) + ".log";
    RunningProgram server(SERVE_PATH, {"--port", "0", "--threads", "4", "--access-log", log});
    std::smatch m;
    const std::string banner = server.WaitFor("\n");
    ASSERT_TRUE(std::regex_search(banner, m, std::regex(R"(:(\d+)/)"))) << banner;
    const int port = std::stoi(m[1]);
    std::atomic<int> wrong{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) {
        clients.emplace_back([&, c] {
            RawHttpClient client(port);
            // The largest picture is drawn on an answer thread.
            const char* targets[] = {"/barcode.png?Data=c",
                                     "/measure?Width=0",
                                     "/healthz",
                                     "/metrics",
                                     "/barcode.png?Width=abc",
                                     "/barcode.png?Width=1100&Height=1000&Data=c"};
            for (int i = 0; i < 18; ++i) {
                const std::string target = targets[(c + i) % 6];
                if (!client.Send("GET " + target +
                                 " HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip\r\n\r\n"))
                    ++wrong;
                const std::string response = client.ReadResponse();
                const bool refused = target.find("abc") != std::string::npos;
                if (response.rfind(refused ? "HTTP/1.1 400 " : "HTTP/1.1 200 ", 0) != 0) ++wrong;
            }
        });
    }
    for (int i = 0; i < 3; ++i) {
        server.Signal(SIGHUP);
        std::this_thread::sleep_for(20ms);
    }
    for (std::thread& client : clients) client.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(server.Stop(), 0);  // a sanitizer's report would end it otherwise
    std::remove(log.c_str());
}

}  // namespace
