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
#include <optional>
#include <thread>
#include <unordered_map>

#include "hosts/serve/ListeningSockets.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kShutdownGrace = std::chrono::seconds(10);
// After the process ran out of descriptors, accepting waits this long unless a connection
// closes first: the clients wait in the backlog instead of the loop spinning on the error.
constexpr auto kAcceptRetry = std::chrono::milliseconds(250);
constexpr int kMaxEvents = 256;

void Watch(int poll, int fd, std::uint32_t events) {
    epoll_event event{};
    event.events = events;
    event.data.fd = fd;
    epoll_ctl(poll, EPOLL_CTL_ADD, fd, &event);
}

std::chrono::milliseconds Shortest(const ConnectionLimits& limits) {
    return std::min({limits.request_timeout, limits.idle_timeout, limits.crowded_idle_timeout,
                     limits.write_timeout, limits.linger_timeout});
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
                   server.open_connections_} {
        // Whether the server is full changes with the other workers' connections too: look a
        // few times within the shortest limit, at least once a second.
        wake_ms_ = static_cast<int>(
            std::clamp<long>(Shortest(server.config_.limits).count() / 4, 10, 1000));
        Watch(poll_, server_.stop_event_, EPOLLIN);
        Watch(poll_, server_.stop_now_event_, EPOLLIN);
        SetAccepting(true);
    }
    ~Worker() {
        connections_.clear();
        close(poll_);
    }

    void Run() {
        while (!stop_deadline_ || (!connections_.empty() && Clock::now() <= *stop_deadline_)) {
            epoll_event events[kMaxEvents];
            const int ready = epoll_wait(poll_, events, kMaxEvents, WakeIn(Clock::now()));
            // The stop comes first: after it, the listeners may report a hang-up.
            for (int i = 0; i < ready; ++i) {
                const int fd = events[i].data.fd;
                if (fd == server_.stop_now_event_) return;
                if (fd == server_.stop_event_ && !stop_deadline_) BeginStopping();
            }
            for (int i = 0; i < ready; ++i) {
                const int fd = events[i].data.fd;
                if (fd == server_.stop_event_ || fd == server_.stop_now_event_) continue;
                if (IsListener(fd)) {
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
            if (!accepting_ && !stop_deadline_ && !Crowded(now)) SetAccepting(true);
        }
    }

    // Takes every client waiting on the listening socket, as long as there is room.
    void AcceptAll(int listener) {
        while (server_.open_connections_.load() < server_.config_.max_connections) {
            sockaddr_storage peer{};
            socklen_t peer_length = sizeof peer;
            const int client = accept4(listener, reinterpret_cast<sockaddr*>(&peer), &peer_length,
                                       SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (client < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                    out_of_descriptors_until_ = Clock::now() + kAcceptRetry;
                    SetAccepting(false);
                }
                return;
            }
            const int on = 1;
            setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            connections_.try_emplace(client, client, AddressText(peer, false), context_);
        }
        SetAccepting(false);  // full: the backlog waits until a connection closes
    }

private:
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

    // No room for another connection: at the cap, or out of descriptors a moment ago.
    bool Crowded(Clock::time_point now) const {
        return server_.open_connections_.load() >= server_.config_.max_connections ||
               now < out_of_descriptors_until_;
    }

    void SetAccepting(bool on) {
        if (accepting_ == on) return;
        for (const int listener : server_.listeners_) {
            // EPOLLEXCLUSIVE: a new client wakes one of the waiting workers, not all of them.
            if (on) {
                Watch(poll_, listener, EPOLLIN | EPOLLEXCLUSIVE);
            } else {
                epoll_ctl(poll_, EPOLL_CTL_DEL, listener, nullptr);
            }
        }
        accepting_ = on;
    }

    // New connections are refused from now on; idle ones have nothing in flight and close at
    // once, the others may finish what they have begun within the grace period.
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
      stop_now_event_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

HttpServer::~HttpServer() {
    // Closed only here, once no worker can be using them: a descriptor closed earlier could
    // be given to another file while a worker still calls accept on its number.
    for (const int listener : listeners_) close(listener);
    if (stop_event_ >= 0) close(stop_event_);
    if (stop_now_event_ >= 0) close(stop_now_event_);
}

bool HttpServer::Listen(std::string* error) {
    const bool listening = config_.inherited_listeners.empty()
                               ? ListenOn(config_.bind, config_.port, &listeners_, error)
                               : TakeOverListening(config_.inherited_listeners, &listeners_, error);
    if (listening && !listeners_.empty()) port_ = LocalPort(listeners_[0]);
    return listening;
}

std::vector<std::string> HttpServer::addresses() const {
    std::vector<std::string> out;
    for (const int listener : listeners_) out.push_back(LocalAddressText(listener));
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
    std::vector<std::thread> workers;
    const int count = config_.threads < 1 ? 1 : config_.threads;
    for (int i = 0; i < count; ++i) {
        workers.emplace_back([this] {
            if (thread_start_) thread_start_();
            {
                Worker worker(*this);
                worker.Run();
            }
            if (thread_stop_) thread_stop_();
        });
    }
    for (std::thread& worker : workers) worker.join();
}

void HttpServer::ShutListeners(Worker& worker) {
    if (listeners_shut_.exchange(true)) return;
    for (const int listener : listeners_) {
        // Clients in the backlog have connected and may have sent a request: they are served
        // like the others in flight, not dropped.
        worker.AcceptAll(listener);
        // A listening socket shut for reading stops listening (new clients are refused) but
        // keeps its descriptor until the destructor closes it. One handed over is left
        // listening: whoever handed it over (systemd, or other instances) still serves it.
        if (config_.inherited_listeners.empty()) shutdown(listener, SHUT_RD);
    }
}
