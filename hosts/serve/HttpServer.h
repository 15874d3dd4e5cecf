// A small HTTP/1.1 server: one worker thread per core, each with its own listening socket
// (SO_REUSEPORT spreads connections across them) and its own event loop, so a request is
// parsed, handled and answered on one thread from start to end. The page host needs exactly
// that: a component object lives on the thread that created it.
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "hosts/serve/HttpMessage.h"

struct HttpServerConfig {
    std::string bind = "127.0.0.1";
    int port = 8080;  // 0: any free port (see HttpServer::port)
    int threads = 1;
    std::FILE* access_log = stderr;  // one line per request; null for none
};

class HttpServer {
public:
    using Handler = HttpHandler;
    using ThreadHook = std::function<void()>;

    // thread_start and thread_stop run on each worker thread around its loop.
    HttpServer(HttpServerConfig config, Handler handler, ThreadHook thread_start = {},
               ThreadHook thread_stop = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Opens the listening sockets; false with a message when the address cannot be bound.
    bool Listen(std::string* error);
    int port() const { return port_; }

    // Serves until Stop(), then finishes the requests already received, answers them, and
    // returns once every worker is done.
    void Run();
    // Async-signal-safe: may be called from a SIGINT or SIGTERM handler.
    void Stop();

private:
    void Work(std::size_t index);
    void CloseListener(std::size_t index);

    HttpServerConfig config_;
    Handler handler_;
    ThreadHook thread_start_;
    ThreadHook thread_stop_;
    std::vector<int> listeners_;
    int stop_event_ = -1;
    std::atomic<bool> stop_requested_{false};
    int port_ = 0;
};
