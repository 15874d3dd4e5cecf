// The quillon-serve command line: the options of its table, in the forms every host takes
// (--port=9000, --port 9000, -- to end them).
#pragma once

#include <cstdint>
#include <string>

#include "hosts/common/OptionTable.h"
#include "hosts/serve/BarcodeRoutes.h"
#include "hosts/serve/HttpServer.h"

// Connections served at once by default, unless the descriptor limit allows fewer.
constexpr int kMostConnections = 4096;
// Megabytes of answers kept for the requests that ask for them again, by default.
constexpr std::int64_t kDefaultAnswerCacheMb = 16;

struct ServeCommandLine {
    HttpServerConfig server;
    RouteLimits routes;
    std::string access_log;  // the file to append it to; empty: standard error
    bool log_query = false;
    bool quiet = false;
};

// Parses the arguments into *line, which holds the defaults; prints help, version or a usage
// error itself.
EarlyExit ParseServeCommandLine(int argc, char** argv, ServeCommandLine* line);
