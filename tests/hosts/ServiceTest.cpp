// quillon-serve as a service is run: health and metrics, the access log and its rotation,
// signals, the address it binds or the socket it is handed, and one port for one server.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/hosts/ChildProcess.h"
#include "tests/hosts/RawHttpClient.h"
#include "tests/hosts/ServedProgram.h"

namespace {

using namespace std::chrono_literals;

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Waits up to 10 s for the file to hold `text`.
bool EventuallyHolds(const std::string& path, const std::string& text) {
    for (int i = 0; i < 200; ++i) {
        if (FileText(path).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

int ListeningSocket() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);  // no close-on-exec: the child inherits it
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd, 16);
    return fd;
}

int PortOf(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

TEST(Service, HealthzAnswers200OnceAComponentCanBeMade) {
    Served served({"--port", "0", "--quiet"});
    const std::string health = served.Get("/healthz");
    EXPECT_EQ(health.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << health;
    EXPECT_NE(health.find("Cache-Control: no-store\r\n"), std::string::npos);
    EXPECT_EQ(health.substr(health.size() - 4), "\nok\n");
}

// The options take the forms the command line's do, and a misspelt one gets a suggestion.
TEST(Service, TakesItsOptionsInTheFormsEveryHostTakes) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--port=0", "--quiet"}, {"--port", "0", "--quiet"}, {"--quiet", "--port=0"}}) {
        Served served(args);
        EXPECT_EQ(served.Get("/healthz").rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << args[0];
    }
    const struct {
        std::vector<std::string> args;
        const char* message;
    } refused[] = {
        {{"--prot=9000"}, "unknown option '--prot'; did you mean '--port'?"},
        {{"--max-conections", "5"}, "did you mean '--max-connections'?"},
        {{"--port=65536"}, "--port needs a number from 0 to 65535"},
        {{"--port"}, "--port needs a number from 0 to 65535"},
        {{"--threads", "0"}, "--threads needs a number from 1 to 256"},
        {{"--quiet=yes"}, "--quiet takes no value"},
        {{"--bind"}, "--bind needs a value"},
        {{"8080"}, "unknown argument '8080'"},
        {{"-p", "8080"}, "unknown option '-p'"},
        {{"--port", "9000", "--fd", "3"}, "--port and --fd both say where to listen: give one"},
        {{"--fd=3", "--port=0"}, "--port and --fd both say where to listen"},
        {{"--quiet-zone=101"}, "--quiet-zone needs a number from 0 to 100"},
    };
    for (const auto& r : refused) {
        const ProcessResult result = RunProgram(SERVE_PATH, r.args);
        EXPECT_EQ(result.status, 2) << r.args[0];
        EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
}

TEST(Service, MetricsCountWhatWasServed) {
    Served served({"--port", "0", "--quiet"});
    std::size_t received = 0;
    for (const char* target : {"/barcode.png", "/barcode.png?Data=x", "/barcode.png",
                               "/measure?Width=abc", "/nothing"}) {
        received += served.Get(target).size();
    }
    // A worker counts what it sent just after sending it, so the client may read an answer
    // a moment before it is counted: give the counters that moment.
    std::this_thread::sleep_for(300ms);
    const std::string scrape = served.Get("/metrics");
    ASSERT_EQ(scrape.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << scrape;
    EXPECT_NE(scrape.find("Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"),
              std::string::npos);
    const std::string text = scrape.substr(scrape.find("\r\n\r\n") + 4);
    // Every line is a comment or "name{labels} value", as Prometheus reads them.
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(
            std::regex_match(line, std::regex(R"(# (HELP|TYPE) .*)")) ||
            std::regex_match(
                line, std::regex(R"([a-z_]+(\{[a-z]+="[^"]*"(,[a-z]+="[^"]*")*\})? [0-9.e+-]+)")))
            << line;
    }
    for (const std::string& expected : std::vector<std::string>{
             R"(quillon_http_requests_total\{route="/barcode.png",status="200"\} 3)",
             R"(quillon_http_requests_total\{route="/measure",status="400"\} 1)",
             R"(quillon_http_requests_total\{route="other",status="404"\} 1)",
             R"(quillon_http_request_duration_seconds_count\{route="/barcode.png"\} 3)",
             R"(quillon_http_requests_in_flight 1)",    // this scrape
             R"(quillon_http_connections_open [1-6])",  // this one, and some still closing
         }) {
        EXPECT_TRUE(std::regex_search(text, std::regex("(^|\n)" + expected + "\n"))) << expected;
    }
    std::smatch bytes;
    ASSERT_TRUE(std::regex_search(text, bytes,
                                  std::regex(R"(\nquillon_http_response_bytes_total (\d+)\n)")));
    EXPECT_EQ(std::stoul(bytes[1]), received);
}

TEST(Service, AccessLogLinesAndReopeningOnSighup) {
    const std::string log =
        testing::TempDir() + "serve-access-" + std::to_string(getpid()) + ".log";
    std::remove(log.c_str());
    std::remove((log + ".1").c_str());
    Served served({"--port", "0", "--access-log", log});
    ASSERT_NE(served.Get("/barcode.png?Data=Jane%20Doe&Width=400").find("200 OK"),
              std::string::npos);
    ASSERT_TRUE(EventuallyHolds(log, "\n"));
    const std::string first = FileText(log);
    EXPECT_TRUE(std::regex_match(
        first,
        std::regex(
            R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 127\.0\.0\.1 "GET /barcode\.png\?Data&Width" 200 \d+ \d+\.\d{3}ms\n)")))
        << first;
    // Rotation: the file is moved away, SIGHUP, and the next lines go to a new file.
    ASSERT_EQ(std::rename(log.c_str(), (log + ".1").c_str()), 0);
    served.program->Signal(SIGHUP);
    for (int i = 0; i < 200 && access(log.c_str(), F_OK) != 0; ++i) {  // created again
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_NE(served.Get("/measure").find("200 OK"), std::string::npos);  // still running
    EXPECT_TRUE(EventuallyHolds(log, "\"GET /measure\" 200"));
    EXPECT_EQ(FileText(log + ".1"), first);
    EXPECT_EQ(served.program->Stop(), 0);

    Served verbose({"--port", "0", "--access-log", log, "--log-query"});
    verbose.Get("/barcode.png?Data=Jane%20Doe");
    EXPECT_TRUE(EventuallyHolds(log, "\"GET /barcode.png?Data=Jane%20Doe\" 200"));
    std::remove(log.c_str());
    std::remove((log + ".1").c_str());
}

TEST(Service, ASecondServerOnTheSamePortIsRefused) {
    Served first({"--port", "0", "--quiet"});
    ASSERT_GT(first.port, 0);
    RunningProgram second(SERVE_PATH, {"--port", std::to_string(first.port), "--quiet"},
                          [] { dup2(STDOUT_FILENO, STDERR_FILENO); });
    const std::string said = second.WaitFor("\n");
    EXPECT_EQ(second.Wait(10s), 1) << said;
    EXPECT_NE(said.find("Address already in use"), std::string::npos) << said;
    EXPECT_NE(first.Get("/healthz").find("200 OK"), std::string::npos);
}

TEST(Service, ServesASocketItIsHandedByDescriptorOrBySocketActivation) {
    const int socket_fd = ListeningSocket();
    const int port = PortOf(socket_fd);
    {
        Served by_fd({"--fd", std::to_string(socket_fd), "--quiet"});
        EXPECT_EQ(by_fd.port, port) << by_fd.banner;
        EXPECT_NE(by_fd.Get("/healthz").find("200 OK"), std::string::npos);
    }
    {
        // systemd's protocol: the sockets from descriptor 3 on, LISTEN_FDS of them, for the
        // process LISTEN_PID.
        Served activated({"--quiet"}, [socket_fd] {
            dup2(socket_fd, 3);
            setenv("LISTEN_FDS", "1", 1);
            setenv("LISTEN_PID", std::to_string(getpid()).c_str(), 1);
        });
        EXPECT_EQ(activated.port, port) << activated.banner;
        EXPECT_NE(activated.Get("/healthz").find("200 OK"), std::string::npos);
    }
    close(socket_fd);
    // A Unix socket is announced by its path, not as an address with a made-up port.
    const std::string path = testing::TempDir() + "served-" + std::to_string(getpid()) + ".sock";
    std::remove(path.c_str());
    const int unix_fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(unix_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(unix_fd, 16), 0);
    {
        Served by_unix_fd({"--fd", std::to_string(unix_fd), "--quiet"});
        EXPECT_NE(by_unix_fd.banner.find("listening on unix:" + path + " with"), std::string::npos)
            << by_unix_fd.banner;
        EXPECT_EQ(by_unix_fd.banner.find("http://"), std::string::npos) << by_unix_fd.banner;
    }
    close(unix_fd);
    std::remove(path.c_str());
}

TEST(Service, BindsIpv6) {
    Served served({"--bind", "::1", "--port", "0", "--quiet"});
    if (served.port == 0) GTEST_SKIP() << "no IPv6 loopback here";
    EXPECT_EQ(served.host, "[::1]");
    EXPECT_NE(served.Get("/healthz", "::1").find("200 OK"), std::string::npos);
}

TEST(Service, ASecondSignalStopsAtOnce) {
    Served served({"--port", "0", "--quiet"});
    RawHttpClient half(served.port);
    ASSERT_TRUE(half.Send("GET /barcode.png HTTP/1.1\r\nHost: x\r\n"));  // and never the rest
    ASSERT_NE(served.Get("/healthz").find("200 OK"), std::string::npos);
    served.program->Signal(SIGTERM);
    EXPECT_EQ(served.program->Wait(500ms), -2);  // waits for the half-sent request
    served.program->Signal(SIGTERM);
    EXPECT_EQ(served.program->Wait(5s), 0);  // where the first alone would wait 10 s
}

}  // namespace
