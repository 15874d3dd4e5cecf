#include "hosts/serve/HttpServer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <system_error>
#include <unordered_map>

#include "hosts/serve/ListeningSockets.h"

namespace {

using Clock = std::chrono::steady_clock;

// After the process ran out of descriptors, accepting waits this long unless a connection
// closes first: the clients wait in the backlog instead of the loop spinning on the error.
constexpr auto kAcceptRetry = std::chrono::milliseconds(250);
constexpr int kMaxEvents = 256;

bool Watch(int poll, int fd, std::uint32_t events) {
    epoll_event event{};
    event.events = events;
    event.data.fd = fd;
    return epoll_ctl(poll, EPOLL_CTL_ADD, fd, &event) == 0;
}

std::chrono::milliseconds Shortest(const ConnectionLimits& limits) {
    return std::min({limits.request_timeout, limits.crowded_request_timeout, limits.idle_timeout,
                     limits.crowded_idle_timeout, limits.write_timeout, limits.linger_timeout,
                     limits.answer_timeout});
}

bool OutOfDescriptors(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

// `what` failed just now, as errno says.
std::string Failed(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

// One worker thread's event loop and the connections it serves.
class HttpServer::Worker {
public:
    explicit Worker(HttpServer& server)
        : server_(server),
          poll_(epoll_create1(EPOLL_CLOEXEC)),
          deadlines_(server.config_.limits),
          context_{poll_,
                   server.handler_,
                   server.config_.limits,
                   deadlines_,
                   server.config_.access_log,
                   server.config_.metrics,
                   server.stop_requested_,
                   server.open_connections_,
                   server.memory_,
                   server.pool_.running() ? &server.pool_ : nullptr,
                   mailbox_,
                   server.config_.max_per_address > 0 ? &server.peers_ : nullptr} {
        // Whether the server is full changes with the other workers' connections too: look a
        // few times within the shortest limit, at least once a second.
        wake_ms_ = static_cast<int>(
            std::clamp<long>(Shortest(server.config_.limits).count() / 4, 10, 1000));
    }
    ~Worker() {
        connections_.clear();
        if (poll_ >= 0) close(poll_);
        if (handed_clients_ >= 0) close(handed_clients_);
    }

    // Has the event loop watch the stop events, the mailbox and the listening sockets; false
    // with a message when it cannot.
    bool Prepare(std::string* error) {
        if (poll_ < 0) {
            *error = Failed("cannot make a worker's event loop (epoll_create1)");
            return false;
        }
        if (mailbox_.fd() < 0 || handed_clients_ < 0) {
            *error = Failed("cannot make a worker's mailbox (eventfd)");
            return false;
        }
        for (const int fd :
             {server_.stop_event_, server_.stop_now_event_, mailbox_.fd(), handed_clients_}) {
            if (!Watch(poll_, fd, EPOLLIN)) {
                *error = Failed("cannot watch a worker's events (epoll_ctl)");
                return false;
            }
        }
        if (!SetAccepting(true)) {
            *error = Failed("cannot watch the listening sockets (epoll_ctl)");
            return false;
        }
        return true;
    }

    void Run() {
        while (!stop_deadline_ || (!connections_.empty() && Clock::now() <= *stop_deadline_)) {
            epoll_event events[kMaxEvents];
            const int ready = epoll_wait(poll_, events, kMaxEvents, WakeIn(Clock::now()));
            if (ready < 0 && errno == EINTR) continue;
            if (ready < 0) {
                // Waiting again would fail again at once: stop rather than spin.
                server_.Fail(Failed("a worker's event loop failed (epoll_wait)"));
                break;
            }
            // The stop comes first: after it, the listeners may report a hang-up. Then the
            // answers made elsewhere, which hold memory until they are taken.
            for (int i = 0; i < ready; ++i) {
                const int fd = events[i].data.fd;
                if (fd == server_.stop_now_event_) return Close();
                if (fd == server_.stop_event_ && !stop_deadline_) BeginStopping();
                if (fd == mailbox_.fd()) TakeAnswers();
            }
            for (int i = 0; i < ready; ++i) {
                const int fd = events[i].data.fd;
                if (fd == server_.stop_event_ || fd == server_.stop_now_event_ ||
                    fd == mailbox_.fd()) {
                    continue;
                }
                if (fd == handed_clients_) {
                    TakeHandedClients();
                } else if (IsListener(fd)) {
                    if (accepting_) AcceptAll(fd);
                } else if (const auto found = connections_.find(fd);
                           found != connections_.end() &&
                           !found->second.OnEvents(events[i].events)) {
                    connections_.erase(found);
                }
            }
            const auto now = Clock::now();
            const bool crowded = Crowded(now);
            while (Waiter* expired = deadlines_.Expired(now, crowded)) {
                connections_.erase(static_cast<Connection*>(expired)->socket());
            }
            if (!accepting_ && !stop_deadline_ && CanTakeMore(now)) SetAccepting(true);
        }
        Close();
    }

    // Closes every connection, whatever it was doing.
    void Close() { connections_.clear(); }

    // Takes every client waiting on the listening socket. At the cap, each new client takes
    // the place of the connection least worth keeping, one that was there before; when there
    // is none, the clients wait in the backlog, unless the server is `draining` it for the
    // last time before it stops listening, when they are taken even beyond the cap. What a
    // new client has sent already is read at once.
    //
    // A new client wakes one worker only: should that one have no connection of its own to
    // close to make room (at the cap, or out of descriptors), it hands the client on to the
    // others, which may have one; unless the client was `handed` to it, so that no two hand
    // it back and forth. Else the worker that could make room would never hear of it, and
    // the client would wait until some connection timed out. A worker handed a client closes
    // for it only a connection that has been there for as long as a retry waits: handed on
    // at once, a client would otherwise take the place of one taken a moment before, which
    // had no time to send its request.
    void AcceptAll(int listener, bool draining = false, bool handed = false) {
        const auto now = Clock::now();
        const auto round = handed ? now - kAcceptRetry : now;
        const int cap = server_.config_.max_connections;
        for (;;) {
            if (!draining && server_.open_connections_.load() >= cap &&
                deadlines_.Evictable(round) == nullptr) {
                SetAccepting(false);
                if (!handed) server_.HandClientsOn(*this);
                return;
            }
            sockaddr_storage peer{};
            socklen_t peer_length = sizeof peer;
            const int client = accept4(listener, reinterpret_cast<sockaddr*>(&peer), &peer_length,
                                       SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (client < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                if (OutOfDescriptors(errno)) {
                    if (Evict(round)) continue;  // its descriptor makes room
                    out_of_descriptors_until_ = Clock::now() + kAcceptRetry;
                    SetAccepting(false);
                    if (!handed) server_.HandClientsOn(*this);
                }
                return;
            }
            if (server_.open_connections_.load() >= cap) Evict(round);
            std::string address = AddressText(peer, false);
            if (context_.peers != nullptr && !context_.peers->Admit(address)) {
                close(client);  // this address holds as many connections as it may
                continue;
            }
            const int on = 1;
            setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            const auto made =
                connections_.try_emplace(client, client, std::move(address), context_);
            if (!made.first->second.OnEvents(EPOLLIN)) connections_.erase(made.first);
        }
    }

    // Has the loop try to take the clients waiting on the listening sockets, which another
    // worker could not take. Thread-safe.
    void HandClients() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(handed_clients_, &one, sizeof one);
    }

private:
    void TakeHandedClients() {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = read(handed_clients_, &count, sizeof count);
        if (stop_deadline_) return;
        for (const int listener : server_.listeners_) AcceptAll(listener, false, true);
    }

    // Milliseconds until the loop must wake: for the first wait to end, the stop's deadline,
    // or a look at the server's room.
    int WakeIn(Clock::time_point now) const {
        auto wake = now + std::chrono::milliseconds(wake_ms_);
        if (const auto end = deadlines_.NextEnd(Crowded(now))) wake = std::min(wake, *end);
        if (stop_deadline_) wake = std::min(wake, *stop_deadline_);
        // Rounded up: waking a moment early would find nothing due and wake again at once.
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
        return static_cast<int>(std::max<decltype(ms)>(ms, 0));
    }

    bool IsListener(int fd) const {
        const auto& listeners = server_.listeners_;
        return std::find(listeners.begin(), listeners.end(), fd) != listeners.end();
    }

    // Slow clients get less time: the server has no room for more connections (at the cap,
    // or out of descriptors a moment ago), or it is stopping.
    bool Crowded(Clock::time_point now) const {
        return stop_deadline_ ||
               server_.open_connections_.load() >= server_.config_.max_connections ||
               now < out_of_descriptors_until_;
    }

    // A new client can be taken: there is room for it, or a connection to close for it.
    bool CanTakeMore(Clock::time_point now) const {
        return now >= out_of_descriptors_until_ &&
               (server_.open_connections_.load() < server_.config_.max_connections ||
                deadlines_.Evictable(now) != nullptr);
    }

    // Closes the connection least worth keeping among those whose wait began before `round`,
    // to make room; false when there is none.
    bool Evict(Clock::time_point round) {
        Waiter* const evictable = deadlines_.Evictable(round);
        if (evictable == nullptr) return false;
        connections_.erase(static_cast<Connection*>(evictable)->socket());
        return true;
    }

    bool SetAccepting(bool on) {
        if (accepting_ == on) return true;
        bool done = true;
        for (const int listener : server_.listeners_) {
            // EPOLLEXCLUSIVE: a new client wakes one of the waiting workers, not all of them.
            if (on) {
                done = Watch(poll_, listener, EPOLLIN | EPOLLEXCLUSIVE) && done;
            } else {
                epoll_ctl(poll_, EPOLL_CTL_DEL, listener, nullptr);
            }
        }
        accepting_ = on;
        return done;
    }

    // The answers made on the answer threads, to the connections that wait for them.
    void TakeAnswers() {
        for (std::shared_ptr<AnswerJob>& collected : mailbox_.Collect()) {
            // Each job, and the memory it holds, goes with its answer, not with the batch.
            const std::shared_ptr<AnswerJob> job = std::move(collected);
            const auto found = connections_.find(job->socket());
            // Not there: its client has gone, and another may have its socket's number.
            if (found == connections_.end() || !found->second.Awaits(*job)) continue;
            if (!found->second.OnAnswerMade()) connections_.erase(found);
        }
    }

    // New connections are refused from now on, once those in the backlog are taken; the
    // others may finish what they have begun within the grace period, with the shorter waits
    // of a crowded server.
    void BeginStopping() {
        stop_deadline_ = Clock::now() + kShutdownGrace;
        server_.ShutListeners(*this);
        SetAccepting(false);
        epoll_ctl(poll_, EPOLL_CTL_DEL, server_.stop_event_, nullptr);
        for (auto it = connections_.begin(); it != connections_.end();) {
            it = it->second.OnServerStopping() ? std::next(it) : connections_.erase(it);
        }
    }

    HttpServer& server_;
    const int poll_;
    AnswerMailbox mailbox_;
    const int handed_clients_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);  // see HandClients
    Deadlines deadlines_;  // of connections_, which leave it as they close
    const ConnectionContext context_;
    std::unordered_map<int, Connection> connections_;  // by socket
    bool accepting_ = false;
    Clock::time_point out_of_descriptors_until_{};
    std::optional<Clock::time_point> stop_deadline_;
    int wake_ms_ = 1000;
};

HttpServer::HttpServer(HttpServerConfig config, Handler handler, ThreadHook thread_start,
                       ThreadHook thread_stop)
    : config_(std::move(config)),
      handler_(std::move(handler)),
      thread_start_(std::move(thread_start)),
      thread_stop_(std::move(thread_stop)),
      stop_event_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      stop_now_event_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      memory_(config_.answer_memory),
      cache_(config_.answer_cache > 0 ? std::make_unique<AnswerCache>(config_.answer_cache, memory_)
                                      : nullptr),
      peers_(config_.max_per_address),
      pool_(thread_start_, thread_stop_) {
    if (config_.metrics != nullptr) config_.metrics->WatchAnswerMemory(&memory_, cache_.get());
}

HttpServer::~HttpServer() {
    if (!threads_.empty()) {  // listening, and never run or not run to its end
        StopNow();
        OpenGate(Gate::kAbandon);
        for (std::thread& thread : threads_) thread.join();
    }
    pool_.Stop();
    workers_.clear();
    // Closed only here, once no worker can be using them: a descriptor closed earlier could
    // be given to another file while a worker still calls accept on its number.
    for (const int listener : listeners_) close(listener);
    if (stop_event_ >= 0) close(stop_event_);
    if (stop_now_event_ >= 0) close(stop_now_event_);
}

bool HttpServer::Listen(std::string* error) {
    if (stop_event_ < 0 || stop_now_event_ < 0) {
        *error = Failed("cannot make the server's stop events (eventfd)");
        return false;
    }
    const bool listening = config_.inherited_listeners.empty()
                               ? ListenOn(config_.bind, config_.port, &listeners_, error)
                               : TakeOverListening(config_.inherited_listeners, &listeners_, error);
    if (!listening) return false;
    if (!listeners_.empty()) port_ = LocalPort(listeners_[0]);
    // The answer threads first: the workers hand them work only when they run.
    return pool_.Start(config_.answer_threads, error) && StartWorkers(error);
}

bool HttpServer::StartWorkers(std::string* error) {
    for (int i = 0; i < std::max(1, config_.threads); ++i) {
        workers_.push_back(std::make_unique<Worker>(*this));
        if (!workers_.back()->Prepare(error)) return false;
    }
    try {
        for (const std::unique_ptr<Worker>& worker : workers_) {
            threads_.emplace_back([this, &worker = *worker] {
                if (thread_start_) thread_start_();
                bool serve = false;
                {
                    std::unique_lock lock(mutex_);
                    gate_opened_.wait(lock, [this] { return gate_ != Gate::kClosed; });
                    serve = gate_ == Gate::kServe;
                }
                if (serve) worker.Run();
                worker.Close();
                if (thread_stop_) thread_stop_();
            });
        }
    } catch (const std::system_error& e) {
        *error = std::string("cannot start a worker thread: ") + e.what();
        return false;
    }
    return true;
}

void HttpServer::OpenGate(Gate gate) {
    {
        const std::lock_guard lock(mutex_);
        if (gate_ == Gate::kClosed) gate_ = gate;
    }
    gate_opened_.notify_all();
}

std::vector<std::string> HttpServer::addresses() const {
    std::vector<std::string> out;
    for (const int listener : listeners_) out.push_back(LocalAddressText(listener));
    return out;
}

std::vector<std::string> HttpServer::urls() const {
    std::vector<std::string> out;
    for (const int listener : listeners_) out.push_back(LocalUrl(listener));
    return out;
}

void HttpServer::Stop() {
    stop_requested_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(stop_event_, &one, sizeof one);
}

void HttpServer::StopNow() {
    Stop();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(stop_now_event_, &one, sizeof one);
}

void HttpServer::Run() {
    OpenGate(Gate::kServe);
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
    pool_.Stop();  // what it still makes has no connection left to go to
}

void HttpServer::Fail(std::string why) {
    {
        const std::lock_guard lock(mutex_);
        if (failure_.empty()) failure_ = std::move(why);
    }
    Stop();
}

std::string HttpServer::failure() const {
    const std::lock_guard lock(mutex_);
    return failure_;
}

void HttpServer::HandClientsOn(const Worker& from) {
    for (const std::unique_ptr<Worker>& worker : workers_) {
        if (worker.get() != &from) worker->HandClients();
    }
}

void HttpServer::ShutListeners(Worker& worker) {
    if (listeners_shut_.exchange(true)) return;
    for (const int listener : listeners_) {
        // Clients in the backlog have connected and may have sent a request: they are served
        // like the others in flight, not dropped, even beyond the connection cap.
        worker.AcceptAll(listener, true);
        // A listening socket shut for reading stops listening (new clients are refused) but
        // keeps its descriptor until the destructor closes it. One handed over is left
        // listening: whoever handed it over (systemd, or other instances) still serves it.
        if (config_.inherited_listeners.empty()) shutdown(listener, SHUT_RD);
    }
}
