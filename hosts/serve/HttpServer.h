// A small HTTP/1.1 server: one worker thread per core, each with its own event loop, all
// taking connections from the same listening sockets, so a request is parsed, handled and
// answered on one thread from start to end. The page host needs exactly that: a component
// object lives on the thread that created it. The sockets are bound once, by this process
// (or handed to it already listening), so no other process can join them and take a share
// of the traffic, as it could with SO_REUSEPORT.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "hosts/serve/AccessLog.h"
#include "hosts/serve/Connection.h"
#include "hosts/serve/HttpMessage.h"
#include "hosts/serve/HttpMetrics.h"

struct HttpServerConfig {
    std::string bind = "127.0.0.1";  // an IPv4 or IPv6 address, or a host name: all its addresses
    int port = 8080;                 // 0: any free port (see HttpServer::port)
    // Sockets already listening (socket activation, --fd) to serve instead of binding.
    std::vector<int> inherited_listeners;
    int threads = 1;
    int max_connections = 1024;  // open at once; further clients wait in the backlog
    ConnectionLimits limits;
    const AccessLog* access_log = nullptr;  // one line per request; null for none
    HttpMetrics* metrics = nullptr;         // null for none
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

    // Opens the listening sockets, or takes over the inherited ones; false with a message
    // when that fails.
    bool Listen(std::string* error);
    int port() const { return port_; }
    // Where it listens, as "127.0.0.1:8080" or "[::1]:8080".
    std::vector<std::string> addresses() const;

    // Serves until Stop(), then finishes the requests already received, answers them, and
    // returns once every worker is done.
    void Run();
    // Async-signal-safe: may be called from a SIGINT or SIGTERM handler.
    void Stop();
    // Async-signal-safe: ends at once, closing every connection, whatever is in flight.
    void StopNow();

private:
    class Worker;
    // Takes the clients still waiting to be accepted, then stops listening (once, whichever
    // worker stops first).
    void ShutListeners(Worker& worker);

    HttpServerConfig config_;
    Handler handler_;
    ThreadHook thread_start_;
    ThreadHook thread_stop_;
    std::vector<int> listeners_;
    int stop_event_ = -1;
    int stop_now_event_ = -1;
    std::atomic<bool> stop_requested_{false};
    std::atomic<bool> listeners_shut_{false};
    std::atomic<int> open_connections_{0};
    int port_ = 0;
};
