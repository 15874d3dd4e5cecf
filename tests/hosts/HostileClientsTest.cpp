// quillon-serve under clients that try to exhaust it, each scenario against a server of its
// own, bounded in time and count, on loopback. What must stay bounded: the server's memory,
// its descriptors once the clients are gone, and the time a well-behaved client waits for
// its answer. The limits are generous, for a loaded machine: they separate bounded from
// unbounded, not fast from slow.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/hosts/ChildProcess.h"
#include "tests/hosts/RawHttpClient.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
constexpr long kMemoryAllowanceMb = 400;  // the sanitizers keep freed memory for a while
#else
constexpr bool kSanitized = false;
constexpr long kMemoryAllowanceMb = 100;
#endif

// What the sanitizers slow down a lot is done less there: fewer clients, less drawing.
constexpr int Lighter(int normal, int sanitized) {
    return kSanitized ? sanitized : normal;
}

struct Server {
    // Quiet unless `logging`: the access log goes to standard error then.
    explicit Server(std::vector<std::string> args = {}, const std::function<void()>& in_child = {},
                    bool logging = false) {
        args.insert(args.end(), {"--port", "0", "--threads", "2"});
        if (!logging) args.push_back("--quiet");
        program = std::make_unique<RunningProgram>(SERVE_PATH, args, in_child);
        std::smatch m;
        const std::string banner = program->WaitFor("\n");
        if (std::regex_search(banner, m, std::regex(R"(:(\d+)/)"))) port = std::stoi(m[1]);
    }
    // Peak resident memory so far, in MB.
    long PeakMb() const {
        std::ifstream status("/proc/" + std::to_string(program->pid()) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6)) / 1024;
        }
        return -1;
    }
    int Descriptors() const {
        int count = 0;
        DIR* dir = opendir(("/proc/" + std::to_string(program->pid()) + "/fd").c_str());
        if (dir == nullptr) return -1;
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
        return count - 2;  // . and ..
    }
    // A well-behaved client's picture: how long it took, or nothing when it failed.
    std::optional<Clock::duration> NormalRequest(
        const std::string& target = "/barcode.png?Data=normal") const {
        const auto started = Clock::now();
        RawHttpClient client(port);
        if (!client.Send("GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")) {
            return std::nullopt;
        }
        if (client.ReadResponse().rfind("HTTP/1.1 200 OK\r\n", 0) != 0) return std::nullopt;
        return Clock::now() - started;
    }

    std::unique_ptr<RunningProgram> program;
    int port = 0;
};

// Many connections, made without waiting for the server to accept them.
std::vector<std::unique_ptr<RawHttpClient>> Connect(int port, int count, int receive_buffer = 0) {
    std::vector<std::unique_ptr<RawHttpClient>> clients;
    for (int i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<RawHttpClient>(port, "127.0.0.1", receive_buffer));
    }
    return clients;
}

void SendWithoutWaiting(RawHttpClient& client, const std::string& bytes) {
    [[maybe_unused]] const ssize_t n =
        send(client.fd(), bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
}

// Whether the server's descriptors come back to `baseline` (and a couple more) within 10 s of
// its clients leaving.
bool DescriptorsReturn(const Server& server, int baseline) {
    for (const auto end = Clock::now() + 10s; Clock::now() < end;) {
        if (server.Descriptors() <= baseline + 2) return true;
        std::this_thread::sleep_for(50ms);
    }
    ADD_FAILURE() << server.Descriptors() << " descriptors, " << baseline << " before";
    return false;
}

// What a normal client saw while hostile ones were at work: how many of its requests were
// answered and how long each took.
struct NormalClientLog {
    std::vector<Clock::duration> times;
    int unanswered = 0;

    void Add(const std::optional<Clock::duration>& time) {
        if (time) {
            times.push_back(*time);
        } else {
            ++unanswered;
        }
    }
    // The time below which a share `q` of the answered requests came.
    Clock::duration Percentile(double q) const {
        if (times.empty()) return Clock::duration::max();
        std::vector<Clock::duration> sorted = times;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(q * sorted.size()))];
    }
};

// The head of the answer that begins to arrive on `client`, without reading its body.
std::string AnswerHead(RawHttpClient& client) {
    std::string head;
    char chunk[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 8192) {
        const ssize_t n = recv(client.fd(), chunk, sizeof chunk, 0);
        if (n <= 0) break;
        head.append(chunk, static_cast<std::size_t>(n));
    }
    return head.substr(0, head.find("\r\n\r\n"));
}

TEST(HostileClients, PipeliningWithoutReadingKeepsMemoryBounded) {
    Server server;
    ASSERT_TRUE(server.NormalRequest());  // loads the component
    const long baseline = server.PeakMb();
    // Each request asks for a 250 KB picture; 29 KB of them is 100 MB of answers a client.
    const std::string request =
        "GET /barcode.png?Width=2000&Height=1000&Data=hostile HTTP/1.1\r\nHost: x\r\n\r\n";
    std::string burst;
    while (burst.size() < 29 * 1024) burst += request;
    auto clients = Connect(server.port, 4, 4096);
    for (auto& client : clients) SendWithoutWaiting(*client, burst);
    std::this_thread::sleep_for(6s);
    const auto normal = server.NormalRequest();
    EXPECT_LT(server.PeakMb() - baseline, kMemoryAllowanceMb);
    ASSERT_TRUE(normal);
    EXPECT_LT(*normal, 5s);
}

TEST(HostileClients, SlowAndIdleConnectionsAreClosedAndTheirDescriptorsReturned) {
    Server server;
    ASSERT_TRUE(server.NormalRequest());
    const int baseline = server.Descriptors();
    auto slow = Connect(server.port, 150);
    const std::string head = "GET / HTTP/1.1\r\nHost: x\r\nX-Slow: " + std::string(100, 's');
    // A byte a second from each: the request timeout (10 s) runs from the first byte.
    for (int second = 0; second < 14; ++second) {
        for (auto& client : slow) SendWithoutWaiting(*client, head.substr(second, 1));
        if (second == 2) {
            const auto normal = server.NormalRequest();
            ASSERT_TRUE(normal);
            EXPECT_LT(*normal, 5s);
        }
        std::this_thread::sleep_for(1s);
    }
    EXPECT_LE(server.Descriptors(), baseline + 2);
    int closed = 0;
    for (auto& client : slow) closed += client->ClosedByServer();
    EXPECT_EQ(closed, 150);
}

TEST(HostileClients, RunningOutOfDescriptorsPausesAcceptingAndRecovers) {
    // 64 descriptors in all, and a connection cap above that, so that accept fails with
    // EMFILE: the server must neither spin on it nor stop serving.
    Server server({"--max-connections", "1000"}, [] {
        const rlimit limit{64, 64};
        setrlimit(RLIMIT_NOFILE, &limit);
    });
    ASSERT_TRUE(server.NormalRequest());
    const int baseline = server.Descriptors();
    {
        auto idle = Connect(server.port, 100);
        std::this_thread::sleep_for(1s);
        EXPECT_LT(server.Descriptors(), 70);         // the limit, and a few it inherited
        const auto normal = server.NormalRequest();  // waits in the backlog for room
        ASSERT_TRUE(normal);
        EXPECT_LT(*normal, 8s);
    }
    std::this_thread::sleep_for(2s);
    EXPECT_LE(server.Descriptors(), baseline + 2);
    ASSERT_TRUE(server.NormalRequest());
}

// Each worker's event loop, and its thread, are made before the server says it listens:
// with too few descriptors for them all, it says so and stops, rather than serving with a
// worker that spins on a loop it could not make and never stops.
TEST(HostileClients, AServerThatCannotMakeItsWorkersSaysSoAndDoesNotStart) {
    RunningProgram server(SERVE_PATH, {"--port", "0", "--threads", "200", "--quiet"}, [] {
        const rlimit limit{64, 64};
        setrlimit(RLIMIT_NOFILE, &limit);
        dup2(STDOUT_FILENO, STDERR_FILENO);
    });
    const std::string said = server.WaitFor("\n");
    EXPECT_EQ(server.Wait(10s), 1) << said;
    // Its event loop or its mailbox, whichever the descriptors ran out for.
    EXPECT_NE(said.find("quillon-serve: cannot make a worker's "), std::string::npos) << said;
    EXPECT_NE(said.find("Too many open files"), std::string::npos) << said;
    EXPECT_EQ(said.find("listening"), std::string::npos) << said;
}

// Clients that each ask for a 4096 x 4096 four-colour picture (4.2 MB) and read none of it:
// the memory their answers hold is bounded by --answer-memory (256 MB by default), and those
// that would pass it get 503 and Retry-After without their picture being drawn.
TEST(HostileClients, SlowReadersOfLargePicturesLeaveMemoryBounded) {
    Server server(kSanitized ? std::vector<std::string>{"--answer-memory", "32"}
                             : std::vector<std::string>{});
    ASSERT_TRUE(server.NormalRequest());
    const int baseline = server.Descriptors();
    const std::string request =
        "GET /barcode.png?Width=4096&Height=4096&BarColor=255&BackColor=65280&BorderStyle=2"
        "&Data=slow HTTP/1.1\r\nHost: x\r\n\r\n";
    auto readers = Connect(server.port, Lighter(300, 40), 4096);
    for (auto& reader : readers) ASSERT_TRUE(reader->Send(request));
    int drawn = 0, refused = 0;
    for (auto& reader : readers) {  // each answer has begun, and the rest waits unread
        const std::string head = AnswerHead(*reader);
        drawn += head.rfind("HTTP/1.1 200 ", 0) == 0;
        refused += head.rfind("HTTP/1.1 503 ", 0) == 0 &&
                   head.find("\r\nRetry-After: 1\r\n") != std::string::npos;
    }
    const auto normal = server.NormalRequest();
    EXPECT_LT(server.PeakMb(), 600);
    EXPECT_EQ(drawn + refused, static_cast<int>(readers.size())) << drawn << " drawn";
    EXPECT_GT(drawn, 0);
    EXPECT_GT(refused, 0) << drawn << " drawn";
    ASSERT_TRUE(normal);
    EXPECT_LT(*normal, 5s);
    readers.clear();
    EXPECT_TRUE(DescriptorsReturn(server, baseline));
}

// Slowloris at the connection cap: 300 connections for 100 places, each sending a byte of
// its head a second. A normal client is taken in the place of the slowest, and answered.
TEST(HostileClients, SlowlorisAtTheCapLeavesNormalClientsAnswered) {
    Server server({"--max-connections", "100"});
    ASSERT_TRUE(server.NormalRequest());
    const int baseline = server.Descriptors();
    int most_descriptors = 0;
    auto slow = Connect(server.port, 300);
    const std::string head = "GET / HTTP/1.1\r\nX-Slow: " + std::string(100, 's');
    NormalClientLog normal;
    for (int second = 0; second < 6; ++second) {
        for (auto& client : slow) SendWithoutWaiting(*client, head.substr(second, 1));
        for (const auto end = Clock::now() + 1s; Clock::now() < end;) {
            normal.Add(server.NormalRequest());
            most_descriptors = std::max(most_descriptors, server.Descriptors());
            std::this_thread::sleep_for(100ms);
        }
    }
    EXPECT_EQ(normal.unanswered, 0);
    EXPECT_LT(normal.Percentile(0.99), 1s);
    EXPECT_LE(most_descriptors, baseline + 100 + 2);  // the cap, and one taken as one goes
    slow.clear();
    EXPECT_TRUE(DescriptorsReturn(server, baseline));
}

// The access log on a pipe that nobody reads: lines are dropped once its buffer is full,
// the server goes on answering, and the drops are counted and said once the pipe drains.
TEST(HostileClients, AStalledLogReaderStopsNothing) {
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    Server server(
        {},
        [&pipe_ends] {
            dup2(pipe_ends[1], STDERR_FILENO);
            close(pipe_ends[0]);
        },
        true);
    close(pipe_ends[1]);
    RawHttpClient client(server.port);
    std::string burst;
    for (int i = 0; i < 1000; ++i) burst += "GET /logged HTTP/1.1\r\nHost: x\r\n\r\n";
    // 25,000 lines of about 70 bytes: more than the pipe (64 KiB) and the log's buffer hold.
    for (int round = 0; round < 25; ++round) {
        ASSERT_TRUE(client.Send(burst));
        for (int i = 0; i < 1000; ++i) ASSERT_FALSE(client.ReadResponse().empty()) << round;
    }
    const auto health = server.NormalRequest("/healthz");
    ASSERT_TRUE(health);
    EXPECT_LT(*health, 2s);
    RawHttpClient scrape(server.port);
    ASSERT_TRUE(scrape.Send("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n"));
    std::smatch dropped;
    const std::string metrics = scrape.ReadResponse();
    ASSERT_TRUE(std::regex_search(
        metrics, dropped, std::regex(R"(\nquillon_access_log_lines_dropped_total (\d+)\n)")))
        << metrics;
    EXPECT_GT(std::stol(dropped[1]), 0);
    // Read, the pipe drains, and the log says how many lines it dropped, after up to 2 MB:
    // only what each read brings is looked through (the whole log each time cost the square
    // of its length, more than the wait in a sanitized build on a busy machine).
    fcntl(pipe_ends[0], F_SETFL, O_NONBLOCK);
    std::string log;
    const std::string opening = "\nquillon-serve: ";
    const std::regex said(R"(\nquillon-serve: (\d+) access log lines dropped)");
    std::smatch count;
    bool found = false;
    std::size_t searched = 0;  // where the message may begin, at the earliest
    for (const auto end = Clock::now() + 20s; !found && Clock::now() < end;) {
        char chunk[65536];
        const ssize_t n = read(pipe_ends[0], chunk, sizeof chunk);
        if (n > 0) log.append(chunk, static_cast<std::size_t>(n));
        const std::size_t at = log.find(opening, searched);
        found = at != std::string::npos &&
                std::regex_search(log.cbegin() + static_cast<std::ptrdiff_t>(at), log.cend(), count,
                                  said);
        searched = at != std::string::npos ? at : log.size() - std::min(log.size(), opening.size());
        if (n <= 0) std::this_thread::sleep_for(20ms);
    }
    close(pipe_ends[0]);
    ASSERT_TRUE(found) << log.size() << " bytes of log";
    EXPECT_GE(std::stol(count[1]), std::stol(dropped[1]));  // the scrape's own line may be one
}

// Clients that each ask, back to back on a connection of their own, for what `target` gives
// for the client's number and turn, until the flood goes: how many were answered 200, and
// how many otherwise.
class Flood {
public:
    Flood(int port, int clients, std::function<std::string(int client, int turn)> target) {
        for (int i = 0; i < clients; ++i) {
            askers_.emplace_back([this, port, i, target] {
                RawHttpClient client(port);
                for (int turn = 0; !done_; ++turn) {
                    const bool sent =
                        client.Send("GET " + target(i, turn) + " HTTP/1.1\r\nHost: x\r\n\r\n");
                    const std::string answer = sent ? client.ReadResponse() : "";
                    ++(answer.rfind("HTTP/1.1 200 ", 0) == 0 ? answered_ : refused_);
                    if (answer.empty()) break;
                }
            });
        }
    }
    ~Flood() { Stop(); }
    // Waits for the answers in flight.
    void Stop() {
        done_ = true;
        for (std::thread& asker : askers_) asker.join();
        askers_.clear();
    }
    int answered() const { return answered_; }
    int refused() const { return refused_; }

private:
    std::atomic<bool> done_{false};
    std::atomic<int> answered_{0}, refused_{0};
    std::vector<std::thread> askers_;
};

// A normal client asking every `period` for a small picture, different each time (so that no
// kept answer serves it), for `how_long`.
NormalClientLog AskNormally(const Server& server, Clock::duration how_long,
                            Clock::duration period) {
    NormalClientLog normal;
    for (const auto end = Clock::now() + how_long; Clock::now() < end;) {
        normal.Add(server.NormalRequest("/barcode.png?Data=normal-" +
                                        std::to_string(normal.times.size() + normal.unanswered)));
        std::this_thread::sleep_for(period);
    }
    return normal;
}

// Clients asking for 16-Mpixel pictures back to back, each 10 ms or more of drawing: a normal
// client is answered meanwhile, as the large pictures are drawn off the event loops.
TEST(HostileClients, LargePicturesDoNotStallOtherClients) {
    Server server;
    ASSERT_TRUE(server.NormalRequest());
    Flood large(server.port, Lighter(16, 4), [](int, int turn) {
        return "/barcode.png?Width=4096&Height=4096&Data=large-" + std::to_string(turn);
    });
    std::this_thread::sleep_for(500ms);
    const NormalClientLog normal = AskNormally(server, 5s, 50ms);
    large.Stop();
    EXPECT_EQ(normal.unanswered, 0);
    EXPECT_LT(normal.Percentile(0.99), 250ms);
    EXPECT_GT(large.answered(), 0);
}

// Clients asking for symbols of Macro PDF417 sets cut from 15,000 characters, each different,
// back to back: cutting one costs up to 110 ms, and more where the machine is busy, and a
// normal client is answered meanwhile, as the sets are cut off the event loops, at a lower
// priority than theirs.
TEST(HostileClients, MacroSetsCutFromLongDataDoNotStallOtherClients) {
    Server server;
    ASSERT_TRUE(server.NormalRequest());
    const char* const kinds[] = {"&optimize=1&segments=auto&segment=0", "&segments=auto&segment=3",
                                 "&optimize=1&segments=auto&segment=0"};
    // 15,000 characters take a sanitized build 1.4 s to cut, ten times that beside two busy
    // loops: there it is 3,000, which it cuts in 0.3 s, still made off the event loops.
    const std::size_t length = Lighter(15000, 3000);
    Flood sets(server.port, Lighter(4, 2), [&kinds, length](int client, int turn) {
        // Digits or letters, begun by the client's number and turn, in digits or as letters.
        const bool digits = turn % 3 == 0;
        const char first = digits ? '0' : 'a';
        std::string data = std::to_string(client * 1000000 + turn);
        for (char& c : data) c = static_cast<char>(first + (c - '0'));
        while (data.size() < length) {
            data += static_cast<char>(first + data.size() * 7 % (digits ? 10 : 26));
        }
        return "/barcode.png?Data=" + data + kinds[turn % 3];
    });
    std::this_thread::sleep_for(500ms);
    const NormalClientLog normal = AskNormally(server, 5s, 20ms);
    sets.Stop();
    EXPECT_EQ(normal.unanswered, 0);
    EXPECT_LT(normal.Percentile(0.99), 1s);
    EXPECT_GT(sets.answered(), 0) << sets.refused() << " refused";
}

}  // namespace
