// quillon-serve: the barcode component behind HTTP, standing in for a web page host.
//
//   quillon-serve [--bind ADDRESS] [--port N] [--threads N] [--max-pixels N] [--quiet]
//
// Routes: GET /barcode.png?Name=Value&...  the PNG picture
//         GET /barcode.svg?Name=Value&...  the same picture as SVG
//         GET /measure?Name=Value&...      {"rows":R,"columns":C,"width":W,"height":H}
//         GET /                            the demo page
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "component/contract/QuillonVersion.h"
#include "hosts/serve/BarcodeRoutes.h"
#include "hosts/serve/HttpServer.h"
#include "platform/Runtime.h"

namespace {

HttpServer* running_server = nullptr;

void StopOnSignal(int) {
    if (running_server != nullptr) running_server->Stop();
}

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: quillon-serve [--bind ADDRESS] [--port N] [--threads N]\n"
                 "                     [--max-pixels N] [--quiet]\n"
                 "\n"
                 "  --bind ADDRESS   address to listen on (default 127.0.0.1)\n"
                 "  --port N         port (default 8080; 0 picks a free one)\n"
                 "  --threads N      worker threads (default: one per core)\n"
                 "  --max-pixels N   largest picture served, in pixels (default %lld)\n"
                 "  --quiet          no access log\n"
                 "\n"
                 "GET /barcode.png?Data=...&Width=...  the PNG; utf8=1 carries Data as UTF-8\n"
                 "                                     (and a HandleTilde setting is ignored)\n"
                 "GET /barcode.svg?...                 the same picture as SVG\n"
                 "GET /measure?...                     the symbol's rows, columns and size\n"
                 "GET /                                the demo page\n",
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

}  // namespace

int main(int argc, char** argv) {
    HttpServerConfig config;
    config.threads = static_cast<int>(std::thread::hardware_concurrency());
    if (config.threads < 1) config.threads = 1;
    RouteLimits limits;

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
            config.access_log = nullptr;
        } else if (arg == "--bind") {
            const char* v = value();
            if (v == nullptr) {
                std::fprintf(stderr, "quillon-serve: --bind needs an address\n");
                return 2;
            }
            config.bind = v;
        } else if (arg == "--port" || arg == "--threads" || arg == "--max-pixels") {
            const char* v = value();
            const long long high = arg == "--port" ? 65535 : arg == "--threads" ? 256 : 1LL << 40;
            const long long low = arg == "--port" ? 0 : 1;
            if (v == nullptr || !ParseNumber(v, low, high, &number)) {
                std::fprintf(stderr, "quillon-serve: %s needs a number from %lld to %lld\n",
                             arg.c_str(), low, high);
                return 2;
            }
            if (arg == "--port") config.port = static_cast<int>(number);
            if (arg == "--threads") config.threads = static_cast<int>(number);
            if (arg == "--max-pixels") limits.max_pixels = number;
        } else {
            std::fprintf(stderr, "quillon-serve: unknown argument '%s' (see --help)\n",
                         arg.c_str());
            return 2;
        }
    }

    HttpServer server(
        config,
        [&limits](const HttpRequest& request) { return ServeBarcodeRequest(request, limits); },
        [] { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }, [] { CoUninitialize(); });
    std::string error;
    if (!server.Listen(&error)) {
        std::fprintf(stderr, "quillon-serve: %s\n", error.c_str());
        return 1;
    }
    running_server = &server;
    struct sigaction action {};
    action.sa_handler = StopOnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("quillon-serve: listening on http://%s:%d/ with %d worker threads\n",
                config.bind.c_str(), server.port(), config.threads);
    std::fflush(stdout);
    server.Run();
    std::printf("quillon-serve: stopped\n");
    return 0;
}
