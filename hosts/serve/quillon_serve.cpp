// quillon-serve: the barcode component behind HTTP, standing in for a web page host.
//
//   quillon-serve [--bind ADDRESS] [--port N | --fd N] [--threads N] [--max-pixels N]
//                 [--max-connections N] [--access-log FILE] [--log-query] [--quiet]
//
// Routes: GET /barcode.png?Name=Value&...  the PNG picture
//         GET /barcode.svg?Name=Value&...  the same picture as SVG
//         GET /measure?Name=Value&...      {"rows":R,"columns":C,"width":W,"height":H}
//         GET /                            the demo page
//         GET /healthz, GET /metrics       for whoever runs the service
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "component/contract/QuillonVersion.h"
#include "hosts/serve/AccessLog.h"
#include "hosts/serve/BarcodeRoutes.h"
#include "hosts/serve/HttpServer.h"
#include "hosts/serve/ServiceRoutes.h"
#include "platform/Runtime.h"

namespace {

// Descriptors kept for everything but connections: listening sockets, epoll, the log, the
// registry and the libraries the component runtime loads.
constexpr int kSpareDescriptors = 64;
constexpr int kMostConnections = 4096;
// The first descriptor that systemd's socket activation hands over.
constexpr int kFirstActivatedSocket = 3;

void PrintUsage(std::FILE* out) {
    std::fprintf(
        out,
        "usage: quillon-serve [--bind ADDRESS] [--port N | --fd N] [--threads N]\n"
        "                     [--max-pixels N] [--max-connections N]\n"
        "                     [--access-log FILE] [--log-query] [--quiet]\n"
        "\n"
        "  --bind ADDRESS       address or host name to listen on, IPv4 or IPv6; a name is\n"
        "                       served on all its addresses (default 127.0.0.1)\n"
        "  --port N             port (default 8080; 0 picks a free one)\n"
        "  --fd N               serve the listening socket open as descriptor N instead of\n"
        "                       binding (systemd socket activation, LISTEN_FDS, is taken\n"
        "                       without it)\n"
        "  --threads N          worker threads (default: one per core)\n"
        "  --max-pixels N       largest picture served, in pixels (default %lld)\n"
        "  --max-connections N  clients served at once; more wait (default 4096, fewer when\n"
        "                       the descriptor limit is lower)\n"
        "  --access-log FILE    append the access log to FILE (default: standard error);\n"
        "                       SIGHUP reopens it\n"
        "  --log-query          log query values too (by default only their names, as\n"
        "                       values are often personal data)\n"
        "  --quiet              no access log\n"
        "\n"
        "GET /barcode.png?Data=...&Width=...  the PNG; utf8=1 carries Data as UTF-8\n"
        "                                     (and a HandleTilde setting is ignored)\n"
        "GET /barcode.svg?...                 the same picture as SVG\n"
        "GET /measure?...                     the symbol's rows, columns and size\n"
        "GET /                                the demo page\n"
        "GET /healthz                         200 once a component object can be made\n"
        "GET /metrics                         counters in Prometheus text format\n"
        "\n"
        "SIGINT or SIGTERM stops after the requests in flight; a second one stops at once.\n",
        static_cast<long long>(kDefaultMaxPixels));
}

bool ParseNumber(const char* text, long long low, long long high, long long* value) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != 0 || v < low || v > high) return false;
    *value = v;
    return true;
}

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
    long long listen_pid = 0;
    long long listen_fds = 0;
    std::vector<int> sockets;
    if (pid != nullptr && count != nullptr && ParseNumber(pid, 1, 1LL << 31, &listen_pid) &&
        listen_pid == getpid() && ParseNumber(count, 1, 1024, &listen_fds)) {
        for (int i = 0; i < listen_fds; ++i) sockets.push_back(kFirstActivatedSocket + i);
    }
    unsetenv("LISTEN_PID");
    unsetenv("LISTEN_FDS");
    unsetenv("LISTEN_FDNAMES");
    return sockets;
}

}  // namespace

int main(int argc, char** argv) {
    HttpServerConfig config;
    config.threads = static_cast<int>(std::thread::hardware_concurrency());
    if (config.threads < 1) config.threads = 1;
    const long long descriptors = RaiseDescriptorLimit();
    config.max_connections =
        static_cast<int>(std::clamp(descriptors - kSpareDescriptors, 1LL, 1LL * kMostConnections));
    config.inherited_listeners = ActivatedSockets();
    RouteLimits limits;
    AccessLog access_log;
    bool quiet = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        long long number = 0;
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("quillon-serve %s\n", QUILLON_VERSION);
            return 0;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--log-query") {
            access_log.set_log_query(true);
        } else if (arg == "--bind" || arg == "--access-log") {
            const char* v = value();
            if (v == nullptr) {
                std::fprintf(stderr, "quillon-serve: %s needs %s\n", arg.c_str(),
                             arg == "--bind" ? "an address" : "a file");
                return 2;
            }
            std::string error;
            if (arg == "--bind") {
                config.bind = v;
            } else if (!access_log.Open(v, &error)) {
                std::fprintf(stderr, "quillon-serve: %s\n", error.c_str());
                return 1;
            }
        } else if (arg == "--port" || arg == "--threads" || arg == "--max-pixels" ||
                   arg == "--max-connections" || arg == "--fd") {
            const char* v = value();
            const long long high = arg == "--port"         ? 65535
                                   : arg == "--threads"    ? 256
                                   : arg == "--max-pixels" ? 1LL << 40
                                                           : 1 << 20;
            const long long low = arg == "--port" || arg == "--fd" ? 0 : 1;
            if (v == nullptr || !ParseNumber(v, low, high, &number)) {
                std::fprintf(stderr, "quillon-serve: %s needs a number from %lld to %lld\n",
                             arg.c_str(), low, high);
                return 2;
            }
            if (arg == "--port") config.port = static_cast<int>(number);
            if (arg == "--threads") config.threads = static_cast<int>(number);
            if (arg == "--max-pixels") limits.max_pixels = number;
            if (arg == "--max-connections") config.max_connections = static_cast<int>(number);
            if (arg == "--fd") config.inherited_listeners = {static_cast<int>(number)};
        } else {
            std::fprintf(stderr, "quillon-serve: unknown argument '%s' (see --help)\n",
                         arg.c_str());
            return 2;
        }
    }

    HttpMetrics metrics([] {
        std::vector<std::string> routes = BarcodeRoutePaths();
        routes.insert(routes.end(), {"/healthz", "/metrics"});
        return routes;
    }());
    config.metrics = &metrics;
    config.access_log = quiet ? nullptr : &access_log;
    HttpServer server(
        config,
        [&limits, &metrics](const HttpRequest& request) {
            if (auto answer = ServeServiceRequest(request, metrics)) return *std::move(answer);
            return ServeBarcodeRequest(request, limits);
        },
        [] { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }, [] { CoUninitialize(); });
    std::string error;
    if (!server.Listen(&error)) {
        std::fprintf(stderr, "quillon-serve: %s\n", error.c_str());
        return 1;
    }

    // Signals are taken by this thread alone, with sigwait, so that what they set off (a
    // stop, reopening the log) runs as ordinary code; the workers inherit the mask.
    sigset_t handled;
    sigemptyset(&handled);
    for (const int each : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&handled, each);
    pthread_sigmask(SIG_BLOCK, &handled, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::string urls;
    for (const std::string& address : server.addresses()) {
        urls += (urls.empty() ? "http://" : " and http://") + address + "/";
    }
    std::printf("quillon-serve: listening on %s with %d worker threads\n", urls.c_str(),
                config.threads);
    std::fflush(stdout);

    std::atomic<bool> finished{false};
    std::thread runner([&] {
        server.Run();
        finished = true;
        kill(getpid(), SIGUSR1);  // wakes the sigwait below
    });
    int stops = 0;
    while (!finished) {
        int caught = 0;
        if (sigwait(&handled, &caught) != 0) continue;
        if (caught == SIGHUP) {
            if (!access_log.Reopen(&error))
                std::fprintf(stderr, "quillon-serve: %s\n", error.c_str());
        } else if (caught == SIGINT || caught == SIGTERM) {
            if (stops++ == 0) {
                server.Stop();
            } else {
                std::fprintf(stderr, "quillon-serve: stopping at once\n");
                server.StopNow();
            }
        }
    }
    runner.join();
    std::printf("quillon-serve: stopped\n");
    return 0;
}
