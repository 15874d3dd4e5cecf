#include "hosts/serve/ServeCommandLine.h"

#include <cstdint>

#include "component/contract/QuillonVersion.h"

namespace {

constexpr std::int64_t kMostPixels = std::int64_t{1} << 40;
constexpr std::int64_t kMostDescriptors = 1 << 20;
constexpr std::int64_t kMostAnswerMegabytes = std::int64_t{1} << 30;

std::vector<CommandOption> Options(ServeCommandLine* line, bool* port_given) {
    HttpServerConfig& server = line->server;
    return {
        {"bind", 0, "ADDRESS",
         "address or host name to listen on, IPv4 or IPv6; a name is served on all its "
         "addresses (default 127.0.0.1)",
         Text(&server.bind)},
        {"port", 0, "N", "port (default 8080; 0 picks a free one)",
         WholeNumber(0, 65535,
                     [&server, port_given](std::int64_t port) {
                         server.port = static_cast<int>(port);
                         *port_given = true;
                     }),
         "The first line of output names the port. A port that another program serves is "
         "refused: \"Address already in use\"."},
        {"fd", 0, "N",
         "serve the listening socket open as descriptor N, TCP or Unix, instead of binding "
         "(systemd socket activation, LISTEN_FDS, is taken without it)",
         WholeNumber(
             0, kMostDescriptors,
             [&server](std::int64_t fd) { server.inherited_listeners = {static_cast<int>(fd)}; })},
        {"quiet-zone", 0, "N",
         "modules of background on every side of a symbol whose picture the host sizes, unless "
         "a request says quietzone=N (default " +
             std::to_string(kDefaultQuietZone) + ")",
         WholeNumber(kQuietZoneRange.low, kQuietZoneRange.high, &line->routes.quiet_zone),
         "A request that sets neither Width nor Height gets a picture of the symbol's size and "
         "its quiet zone; one that sets only one of them gets the other sized so, and fit=1 "
         "sizes both."},
        {"threads", 0, "N", "worker threads (default: one per core)",
         WholeNumber(1, 256, &server.threads)},
        {"max-pixels", 0, "N",
         "largest picture served, in pixels (default " + std::to_string(kDefaultMaxPixels) + ")",
         WholeNumber(1, kMostPixels, &line->routes.max_pixels)},
        {"max-connections", 0, "N",
         "clients served at once (default " + std::to_string(kMostConnections) +
             ", fewer when the descriptor limit is lower); a new one takes the place of the "
             "longest idle or slowest connection",
         WholeNumber(1, kMostDescriptors, &server.max_connections)},
        {"max-per-address", 0, "N",
         "connections one client address may hold at once; more are closed (default: no "
         "limit, as behind a proxy every client has the proxy's address)",
         WholeNumber(1, kMostDescriptors, &server.max_per_address)},
        {"answer-memory", 0, "MB",
         "memory for answers not yet sent and large pictures being drawn (default " +
             std::to_string(HttpServerConfig{}.answer_memory >> 20) +
             "); a large picture that does not fit is refused with 503 and Retry-After",
         WholeNumber(1, kMostAnswerMegabytes,
                     [&server](std::int64_t mb) {
                         server.answer_memory = static_cast<std::size_t>(mb) << 20;
                     })},
        {"answer-cache", 0, "MB",
         "answers kept for the requests that ask for them again (default " +
             std::to_string(kDefaultAnswerCacheMb) +
             "; 0 keeps none), within the answer memory, where they give way to the answers "
             "being sent",
         WholeNumber(0, kMostAnswerMegabytes,
                     [&server](std::int64_t mb) {
                         server.answer_cache = static_cast<std::size_t>(mb) << 20;
                     }),
         "A kept answer is sent again for the same route, query (as decoded), gzip or not, "
         "and server defaults, with the same bytes and entity tag; If-None-Match still gets "
         "304."},
        {"access-log", 0, "FILE",
         "append the access log to FILE (default: standard error); SIGHUP reopens it",
         Text(&line->access_log)},
        {"log-query", 0, "",
         "log query values too (by default only their names, as values are often personal "
         "data)",
         Flag(&line->log_query)},
        {"quiet", 0, "", "no access log", Flag(&line->quiet)},
    };
}

constexpr const char* kUsage =
    "usage: quillon-serve [--bind ADDRESS] [--port N | --fd N] [--threads N]\n"
    "                     [--max-pixels N] [--max-connections N] [--max-per-address N]\n"
    "                     [--answer-memory MB] [--answer-cache MB] [--quiet-zone N]\n"
    "                     [--access-log FILE] [--log-query] [--quiet]\n"
    "\n";

constexpr const char* kEpilogue =
    "\n"
    "GET /barcode.png?Data=...&Width=...  the PNG; utf8=1 carries Data as UTF-8, binary=1\n"
    "                                     as the bytes its %XX give (and a HandleTilde\n"
    "                                     setting is ignored); without Width and Height\n"
    "                                     the picture fits the symbol and its quiet zone\n"
    "                                     (quietzone=N modules), fit=1 even with them;\n"
    "                                     compress=1 the compressed PNG of the same pixels\n"
    "GET /barcode.svg?...                 the same picture as SVG\n"
    "GET /measure?...                     the symbol's rows, columns and size\n"
    "GET /                                the demo page\n"
    "GET /healthz                         200 once a component object can be made\n"
    "GET /metrics                         counters in Prometheus text format\n"
    "\n"
    "SIGINT or SIGTERM stops after the requests in flight; a second one stops at once.\n";

}  // namespace

EarlyExit ParseServeCommandLine(int argc, char** argv, ServeCommandLine* line) {
    bool port_given = false;
    const CommandLineRules rules{
        .program = "quillon-serve",
        .version = QUILLON_VERSION,
        .usage = kUsage,
        .epilogue = [] { return std::string(kEpilogue); },
        .help_summary = "the options and routes",
        .options = Options(line, &port_given),
    };
    if (const EarlyExit exit = ReadCommandLine(argc, argv, rules)) return exit;
    if (port_given && !line->server.inherited_listeners.empty()) {
        return UsageError(rules.program,
                          "--port and --fd both say where to listen: give one (--fd serves a "
                          "socket already bound to its port)");
    }
    return std::nullopt;
}
