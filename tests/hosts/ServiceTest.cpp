// quillon-serve as a service is run: health and metrics, the access log and its rotation,
// signals, the address it binds or the socket it is handed, one port for one server, and the
// answers it keeps.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cstdint>
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

namespace {

using namespace std::chrono_literals;

// A quillon-serve of its own for each test, on a free port unless the arguments say.
struct Served {
    explicit Served(std::vector<std::string> args, const std::function<void()>& in_child = {}) {
        args.insert(args.end(), {"--threads", "2"});
        program = std::make_unique<RunningProgram>(SERVE_PATH, args, in_child);
        banner = program->WaitFor("\n");
        std::smatch m;
        if (std::regex_search(banner, m, std::regex(R"(http://(\S+):(\d+)/)"))) {
            host = m[1];
            port = std::stoi(m[2]);
        }
    }
    // GET target: status line, headers and body, as one string.
    std::string Get(const std::string& target, const char* address = "127.0.0.1") const {
        return Ask("GET", target, "", address);
    }
    // Any method, with more header lines (each ending in CRLF): every byte of the answer.
    std::string Ask(const std::string& method, const std::string& target,
                    const std::string& headers = "", const char* address = "127.0.0.1") const {
        RawHttpClient client(port, address);
        if (!client.Send(method + " " + target + " HTTP/1.1\r\nHost: x\r\n" + headers +
                         "Connection: close\r\n\r\n")) {
            return "";
        }
        return client.ReadUntilClosed();
    }
    // The value of a metric without labels, or -1 when /metrics has none of that name.
    std::int64_t Metric(const std::string& name) const {
        const std::string text = Get("/metrics");
        std::smatch value;
        if (!std::regex_search(text, value, std::regex("\n" + name + " (\\d+)\n"))) return -1;
        return std::stoll(value[1]);
    }

    std::unique_ptr<RunningProgram> program;
    std::string banner;
    std::string host;
    int port = 0;
};

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

// The answer cache from outside: an answer, kept once it is asked for a second time and sent
// again from the cache, is byte for byte what a server that keeps no answers sends; /metrics
// counts its hits and misses; and what it keeps gives way to the answers in the answer memory.
std::string EntityTag(const std::string& answer) {
    const std::size_t at = answer.find("\r\nETag: ");
    if (at == std::string::npos) return "";
    return answer.substr(at + 8, answer.find("\r\n", at + 8) - at - 8);
}

TEST(KeptAnswers, AreTheBytesAServerThatKeepsNoneSends) {
    const Served keeping({"--port", "0", "--quiet"});
    const Served keeping_none({"--port", "0", "--quiet", "--answer-cache", "0"});
    const std::string gzip = "Accept-Encoding: gzip\r\n";
    const struct {
        std::string target;
        std::string headers;
        std::string method = "GET";
    } cases[] = {
        {"/barcode.png", ""},
        {"/barcode.png", gzip},
        {"/barcode.png", "", "HEAD"},
        {"/barcode.png", "If-None-Match: *\r\n"},
        {"/barcode.png?Data=%41+B", ""},
        {"/barcode.png?&Data=A%20B&", gzip},       // the same pairs as the one above
        {"/barcode.png?Width=0&Data=warned", ""},  // with a warning header
        {"/barcode.png?Data=" + std::string(900, '7') + "&segments=2&segment=1", ""},
        {"/barcode.svg?Data=vector", gzip},
        {"/measure?Data=abc&quietzone=5", ""},
        {"/?Data=x", gzip},
        {"/barcode.png?Colour=1", ""},  // an error, made again each time
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method + " " + c.target.substr(0, 60) + " " + c.headers);
        const std::string expected = keeping_none.Ask(c.method, c.target, c.headers);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(keeping.Ask(c.method, c.target, c.headers), expected);  // made
        EXPECT_EQ(keeping.Ask(c.method, c.target, c.headers), expected);  // made and kept
        EXPECT_EQ(keeping.Ask(c.method, c.target, c.headers), expected);  // sent again
        const std::string tag = EntityTag(expected);
        if (tag.empty()) continue;
        const std::string current = c.headers + "If-None-Match: \"other\", W/" + tag + "\r\n";
        const std::string not_modified = keeping_none.Ask(c.method, c.target, current);
        EXPECT_EQ(not_modified.rfind("HTTP/1.1 304 ", 0), 0u) << not_modified;
        EXPECT_EQ(keeping.Ask(c.method, c.target, current), not_modified);
    }
    EXPECT_GT(keeping.Metric("quillon_http_answer_cache_hits_total"), 0);
    EXPECT_EQ(keeping_none.Metric("quillon_http_answer_cache_hits_total"), -1);
}

TEST(KeptAnswers, MetricsCountHitsAndMisses) {
    const Served served({"--port", "0", "--quiet"});
    const struct {
        std::string target;
        std::string headers;
        int hit;  // 1 found, 0 looked for and not found, -1 not looked for
    } steps[] = {
        {"/barcode.png?Data=count", "", 0},
        {"/barcode.png?Data=count", "", 0},  // asked for again: kept
        {"/barcode.png?Data=count", "", 1},
        {"/barcode.png?Data=count", "Accept-Encoding: gzip\r\n", 0},  // the other form
        {"/barcode.png?Data=%63ount", "", 1},                         // the same pairs
        {"/barcode.png?Data=count&Extra=1", "", 0},  // 400: an option it does not know counts
        {"/barcode.png?Data=count&Extra=1", "", 0},  // and errors are not kept
        {"/nothing", "", -1},
    };
    int hits = 0, misses = 0;
    for (const auto& step : steps) {
        ASSERT_FALSE(served.Ask("GET", step.target, step.headers).empty());
        hits += step.hit == 1;
        misses += step.hit == 0;
    }
    EXPECT_EQ(served.Metric("quillon_http_answer_cache_hits_total"), hits);
    EXPECT_EQ(served.Metric("quillon_http_answer_cache_misses_total"), misses);
    EXPECT_GT(served.Metric("quillon_http_answer_cache_bytes"), 2000);  // a picture at least
}

// 2 MB of answer memory, filled with kept pictures of 20 KB; then a picture of 1.1 Mpixels,
// drawn on a drawing thread, which holds 1.1 MB of it while it is made: it is drawn, and the
// kept pictures make room for it. (Its answer, above a sixteenth of the cache, is not kept,
// which would make room too.)
TEST(KeptAnswers, GiveWayToTheAnswersInTheAnswerMemory) {
    constexpr std::int64_t kMemory = 2 << 20, kLarge = 1100 * 1000;
    const Served served({"--port", "0", "--quiet", "--answer-memory", "2", "--answer-cache", "2"});
    // Pictures kept until the large one needs some of their memory: more than it leaves free.
    // (Answers being sent, or held by connections closing, take some of it meanwhile.)
    for (int i = 0; i < 1000 && served.Metric("quillon_http_answer_cache_bytes") <
                                    kMemory - kLarge + 100'000;) {
        for (const int last = i + 10; i < last; ++i) {
            for (int again = 0; again < 2; ++again) {  // kept the second time
                const std::string kept =
                    served.Get("/barcode.png?Width=400&Height=400&Data=" + std::to_string(i));
                ASSERT_EQ(kept.rfind("HTTP/1.1 200 ", 0), 0u) << kept.substr(0, 200);
            }
        }
    }
    ASSERT_GE(served.Metric("quillon_http_answer_cache_bytes"), kMemory - kLarge + 100'000);
    const std::string large = served.Get("/barcode.png?Width=1100&Height=1000&Data=large");
    EXPECT_EQ(large.rfind("HTTP/1.1 200 ", 0), 0u) << large.substr(0, 200);
    EXPECT_LE(served.Metric("quillon_http_answer_cache_bytes"), kMemory - kLarge);
}

}  // namespace
