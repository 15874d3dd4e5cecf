// A small HTTP/1.1 server: one worker thread per core, each with its own event loop, all
// taking connections from the same listening sockets, so a request is parsed, handled and
// answered on one thread from start to end. The page host needs exactly that: a component
// object lives on the thread that created it. The sockets are bound once, by this process
// (or handed to it already listening), so no other process can join them and take a share
// of the traffic, as it could with SO_REUSEPORT.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hosts/serve/AccessLog.h"
#include "hosts/serve/AnswerCache.h"
#include "hosts/serve/AnswerMemory.h"
#include "hosts/serve/AnswerPool.h"
#include "hosts/serve/Connection.h"
#include "hosts/serve/HttpMessage.h"
#include "hosts/serve/HttpMetrics.h"
#include "hosts/serve/PeerCounts.h"

struct HttpServerConfig {
    std::string bind = "127.0.0.1";  // an IPv4 or IPv6 address, or a host name: all its addresses
    int port = 8080;                 // 0: any free port (see HttpServer::port)
    // Sockets already listening (socket activation, --fd) to serve instead of binding.
    std::vector<int> inherited_listeners;
    int threads = 1;
    // Threads that make the answers too costly for an event loop (HttpResponse::later); with
    // none, the workers make them.
    int answer_threads = 0;
    // Open at once. A new client is taken by closing the connection least worth keeping (see
    // Deadlines::Evictable); when none can be closed, it waits in the backlog.
    int max_connections = 1024;
    int max_per_address = 0;  // connections a client address may hold; 0: no limit
    // The memory of answers not yet sent, and of answers being made (see AnswerMemory).
    std::size_t answer_memory = std::size_t{256} << 20;
    // Answers kept for the requests that ask for them again, at most, within answer_memory
    // (see AnswerCache); 0: none kept.
    std::size_t answer_cache = 0;
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

    // After a stop, the workers finish what is in flight for at most this long.
    static constexpr std::chrono::seconds kShutdownGrace{10};

    // Opens the listening sockets (or takes over the inherited ones) and makes everything
    // else that serving needs, each worker's event loop and thread and the answer threads,
    // so that nothing can fail once the server is announced: false with a message when any
    // of it fails. The threads wait for Run.
    bool Listen(std::string* error);
    int port() const { return port_; }
    // Where the handler may keep answers (see HttpServerConfig::answer_cache), or null.
    AnswerCache* answer_cache() { return cache_.get(); }
    // Where it listens, as "127.0.0.1:8080" or "[::1]:8080"; and how to reach it there, as
    // "http://127.0.0.1:8080/", or "unix:/run/quillon.sock" for a Unix socket it was handed.
    std::vector<std::string> addresses() const;
    std::vector<std::string> urls() const;

    // Serves until Stop(), then finishes the requests already received, answers them, and
    // returns once every worker is done; or when a worker's event loop fails, which stops
    // the others: failure() then says why.
    void Run();
    std::string failure() const;
    // Async-signal-safe: may be called from a SIGINT or SIGTERM handler.
    void Stop();
    // Async-signal-safe: ends at once, closing every connection, whatever is in flight.
    void StopNow();

private:
    class Worker;
    enum class Gate { kClosed, kServe, kAbandon };

    bool StartWorkers(std::string* error);
    // Lets the worker threads go on: to serve, or (when the server is not run) to end.
    void OpenGate(Gate gate);
    // Takes the clients still waiting to be accepted, then stops listening (once, whichever
    // worker stops first).
    void ShutListeners(Worker& worker);
    // A worker's event loop cannot go on: the server stops, and Run's caller learns why.
    void Fail(std::string why);
    // Clients wait that `from` cannot take for want of room: the other workers try.
    void HandClientsOn(const Worker& from);

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
    AnswerMemory memory_;
    const std::unique_ptr<AnswerCache> cache_;  // counted in memory_
    PeerCounts peers_;
    std::vector<std::unique_ptr<Worker>> workers_;  // outlive the answer threads' jobs
    AnswerPool pool_;
    std::vector<std::thread> threads_;
    mutable std::mutex mutex_;  // guards gate_ and failure_
    std::condition_variable gate_opened_;
    Gate gate_ = Gate::kClosed;
    std::string failure_;
};
