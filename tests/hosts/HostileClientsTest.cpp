// quillon-serve under clients that try to exhaust it, each scenario against a server of its
// own, bounded in time and count, on loopback. What must stay bounded: the server's memory,
// its descriptors once the clients are gone, and the time a well-behaved client waits for
// its answer. The limits are generous, for a loaded machine: they separate bounded from
// unbounded, not fast from slow.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <chrono>
#include <fstream>
#include <memory>
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
constexpr long kMemoryAllowanceMb = 400;  // the sanitizers keep freed memory for a while
#else
constexpr long kMemoryAllowanceMb = 100;
#endif

struct Server {
    explicit Server(std::vector<std::string> args = {},
                    const std::function<void()>& in_child = {}) {
        args.insert(args.end(), {"--port", "0", "--threads", "2", "--quiet"});
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
    std::optional<Clock::duration> NormalRequest() const {
        const auto started = Clock::now();
        RawHttpClient client(port);
        if (!client.Send("GET /barcode.png?Data=normal HTTP/1.1\r\nConnection: close\r\n\r\n")) {
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
    const std::string head = "GET / HTTP/1.1\r\nX-Slow: " + std::string(100, 's');
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

}  // namespace
