// quillon-serve: the barcode component behind HTTP, standing in for a web page host.
//
//   quillon-serve [OPTION ...]      (quillon-serve --help, quillon-serve(1))
//
// Routes: GET /barcode.png?Name=Value&...  the PNG picture
//         GET /barcode.svg?Name=Value&...  the same picture as SVG
//         GET /measure?Name=Value&...      {"rows":R,"columns":C,"width":W,"height":H}
//         GET /                            the demo page
//         GET /healthz, GET /metrics       for whoever runs the service
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include "hosts/serve/AccessLog.h"
#include "hosts/serve/BarcodeRoutes.h"
#include "hosts/serve/HttpServer.h"
#include "hosts/serve/ServeCommandLine.h"
#include "hosts/serve/ServiceRoutes.h"
#include "platform/Runtime.h"

namespace {

// Descriptors kept for everything but connections: listening sockets, epoll, the log, the
// registry and the libraries the component runtime loads.
constexpr int kSpareDescriptors = 64;
// The first descriptor that systemd's socket activation hands over.
constexpr int kFirstActivatedSocket = 3;
// Past the workers' grace for what is in flight, a stop gives them this long to end, and a
// second signal this long, before the process ends without them: a stop always ends it.
constexpr auto kStopMargin = std::chrono::seconds(5);
constexpr auto kStopNowBound = std::chrono::seconds(2);
// Large pictures are drawn on the answer threads and their answers freed on the workers. With
// glibc's default thresholds, raised only as mapped blocks are freed, the drawing threads'
// heaps were given back after each picture and faulted in again for the next (1,100 page
// faults and 18 ms of CPU for a 16-Mpixel PNG instead of none and 2.5 ms; 4,100 and 77 ms
// for a dense SVG instead of 30). From the start, blocks up to 32 MiB come from the heaps and
// a heap keeps up to 64 MiB free at its top: the most glibc's own adjustment would reach.
// The answers slow readers hold stay bounded by the server's answer memory.
constexpr int kLargestHeapBlock = 32 * 1024 * 1024;
constexpr int kHeapKeptFree = 64 * 1024 * 1024;

// Raises the soft limit on open descriptors to the hard one, as a server expecting many
// clients should, and returns the limit.
long long RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur == RLIM_INFINITY ? kMostConnections + kSpareDescriptors
                                           : static_cast<long long>(limit.rlim_cur);
}

// The sockets systemd passed to this process (LISTEN_PID, LISTEN_FDS), which are then taken
// from the environment so that nothing started later takes them for its own.
std::vector<int> ActivatedSockets() {
    const char* pid = std::getenv("LISTEN_PID");
    const char* count = std::getenv("LISTEN_FDS");
    std::int64_t listen_pid = 0;
    std::int64_t listen_fds = 0;
    std::vector<int> sockets;
    if (pid != nullptr && count != nullptr && ParseWholeNumber(pid, 1, 1LL << 31, &listen_pid) &&
        listen_pid == getpid() && ParseWholeNumber(count, 1, 1024, &listen_fds)) {
        for (int i = 0; i < listen_fds; ++i) sockets.push_back(kFirstActivatedSocket + i);
    }
    unsetenv("LISTEN_PID");
    unsetenv("LISTEN_FDS");
    unsetenv("LISTEN_FDNAMES");
    return sockets;
}

// Waits for one of the `handled` signals, until `deadline` if there is one: the signal, or 0
// once the deadline has passed.
int NextSignal(const sigset_t& handled,
               std::optional<std::chrono::steady_clock::time_point> deadline) {
    for (;;) {
        if (!deadline) {
            int caught = 0;
            if (sigwait(&handled, &caught) == 0) return caught;
            continue;
        }
        const auto left = *deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) return 0;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec wait{static_cast<time_t>(ns / 1'000'000'000),
                            static_cast<long>(ns % 1'000'000'000)};
        const int caught = sigtimedwait(&handled, nullptr, &wait);
        if (caught > 0) return caught;
    }
}

// Runs the server until SIGINT or SIGTERM (a second one stops at once), reopening the access
// log on SIGHUP. Signals are taken by this thread alone, with sigwait, so that what they set
// off runs as ordinary code; the workers inherit the mask, set before they start. Should the
// workers not end within their bounds after a stop, the process ends without them.
void ServeUntilStopped(HttpServer& server, AccessLog& access_log, const sigset_t& handled) {
    std::atomic<bool> finished{false};
    std::thread runner([&] {
        server.Run();
        finished = true;
        kill(getpid(), SIGUSR1);  // wakes the wait below
    });
    int stops = 0;
    std::optional<std::chrono::steady_clock::time_point> give_up;
    while (!finished) {
        const int caught = NextSignal(handled, give_up);
        std::string error;
        if (caught == 0) {
            std::fprintf(stderr, "quillon-serve: the workers did not stop in time; ending\n");
            std::_Exit(1);
        } else if (caught == SIGHUP) {
            if (!access_log.Reopen(&error))
                std::fprintf(stderr, "quillon-serve: %s\n", error.c_str());
        } else if (caught == SIGINT || caught == SIGTERM) {
            const auto now = std::chrono::steady_clock::now();
            if (stops++ == 0) {
                server.Stop();
                give_up = now + HttpServer::kShutdownGrace + kStopMargin;
            } else {
                std::fprintf(stderr, "quillon-serve: stopping at once\n");
                server.StopNow();
                give_up = std::min(*give_up, now + kStopNowBound);
            }
        }
    }
    runner.join();
}

int Failed(const std::string& error) {
    std::fprintf(stderr, "quillon-serve: %s\n", error.c_str());
    return 1;
}

int Serve(const ServeCommandLine& line, AccessLog& access_log, const sigset_t& handled) {
    std::string error;
    if (!line.access_log.empty() && !access_log.Open(line.access_log, &error)) {
        return Failed(error);
    }
    access_log.set_log_query(line.log_query);
    HttpMetrics metrics([] {
        std::vector<std::string> routes = BarcodeRoutePaths();
        routes.insert(routes.end(), {"/healthz", "/metrics"});
        return routes;
    }());
    access_log.set_metrics(&metrics);
    HttpServerConfig config = line.server;
    config.metrics = &metrics;
    config.access_log = line.quiet ? nullptr : &access_log;
    config.answer_threads = config.threads;
    RouteLimits limits = line.routes;
    HttpServer server(
        config,
        [&limits, &metrics](const HttpRequest& request) {
            if (auto answer = ServeServiceRequest(request, metrics)) return *std::move(answer);
            return ServeBarcodeRequest(request, limits);
        },
        [] { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }, [] { CoUninitialize(); });
    limits.cache = server.answer_cache();  // before any request can come
    if (!server.Listen(&error)) return Failed(error);
    std::string urls;
    for (const std::string& url : server.urls()) urls += (urls.empty() ? "" : " and ") + url;
    std::printf("quillon-serve: listening on %s with %d worker threads\n", urls.c_str(),
                config.threads);
    std::fflush(stdout);
    ServeUntilStopped(server, access_log, handled);
    if (const std::string failure = server.failure(); !failure.empty()) return Failed(failure);
    std::printf("quillon-serve: stopped\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    ServeCommandLine line;
    HttpServerConfig& config = line.server;
    config.threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    const long long descriptors = RaiseDescriptorLimit();
    config.max_connections =
        static_cast<int>(std::clamp(descriptors - kSpareDescriptors, 1LL, 1LL * kMostConnections));
    config.inherited_listeners = ActivatedSockets();
    config.answer_cache = static_cast<std::size_t>(kDefaultAnswerCacheMb) << 20;
    if (const EarlyExit exit = ParseServeCommandLine(argc, argv, &line)) return *exit;
    mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
    mallopt(M_TRIM_THRESHOLD, kHeapKeptFree);
    // Before any thread starts, so that they all inherit the mask.
    sigset_t handled;
    sigemptyset(&handled);
    for (const int each : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&handled, each);
    pthread_sigmask(SIG_BLOCK, &handled, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::optional<AccessLog> access_log;
    try {
        access_log.emplace();
    } catch (const std::system_error& e) {
        return Failed(std::string("cannot start the access log's writer: ") + e.what());
    }
    return Serve(line, *access_log, handled);
}
