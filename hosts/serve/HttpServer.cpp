#include "hosts/serve/HttpServer.h"

#include "hosts/serve/Connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iterator>
#include <optional>
#include <thread>
#include <unordered_map>

namespace {

using Clock = std::chrono::steady_clock;
using Connections = std::unordered_map<int, Connection>;  // by socket

constexpr auto kShutdownGrace = std::chrono::seconds(10);
constexpr int kMaxEvents = 256;
constexpr int kWakeMs = 1000;  // at least this often, so that idle connections expire

std::string PeerName(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = "?";
    if (address.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text,
                  sizeof text);
    } else if (address.ss_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text,
                  sizeof text);
    }
    return text;
}

void WatchInput(int poll, int fd) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    epoll_ctl(poll, EPOLL_CTL_ADD, fd, &event);
}

// Takes every client waiting on the listening socket.
void AcceptAll(int listener, const ConnectionContext& context, Connections& connections) {
    for (;;) {
        sockaddr_storage peer{};
        socklen_t peer_length = sizeof peer;
        const int client = accept4(listener, reinterpret_cast<sockaddr*>(&peer), &peer_length,
                                   SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client < 0) return;
        const int on = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        connections.try_emplace(client, client, PeerName(peer), context);
    }
}

}  // namespace

HttpServer::HttpServer(HttpServerConfig config, Handler handler, ThreadHook thread_start,
                       ThreadHook thread_stop)
    : config_(std::move(config)),
      handler_(std::move(handler)),
      thread_start_(std::move(thread_start)),
      thread_stop_(std::move(thread_stop)),
      stop_event_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

HttpServer::~HttpServer() {
    for (std::size_t i = 0; i < listeners_.size(); ++i) CloseListener(i);
    if (stop_event_ >= 0) close(stop_event_);
}

bool HttpServer::Listen(std::string* error) {
    sockaddr_storage address{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (inet_pton(AF_INET, config_.bind.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        length = sizeof *v4;
    } else if (inet_pton(AF_INET6, config_.bind.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        length = sizeof *v6;
    } else {
        *error = "'" + config_.bind + "' is not an IP address";
        return false;
    }

    port_ = config_.port;
    const int count = config_.threads < 1 ? 1 : config_.threads;
    for (int i = 0; i < count; ++i) {
        if (address.ss_family == AF_INET) {
            v4->sin_port = htons(static_cast<uint16_t>(port_));
        } else {
            v6->sin6_port = htons(static_cast<uint16_t>(port_));
        }
        const int fd = socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int on = 1;
        if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
            setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0 ||
            bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 1024) != 0) {
            *error = "cannot listen on " + config_.bind + ":" + std::to_string(port_) + ": " +
                     std::strerror(errno);
            if (fd >= 0) close(fd);
            return false;
        }
        listeners_.push_back(fd);
        if (port_ == 0) {  // the first socket chose a free port; the others share it
            sockaddr_storage bound{};
            socklen_t bound_length = sizeof bound;
            getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &bound_length);
            port_ = ntohs(bound.ss_family == AF_INET
                              ? reinterpret_cast<sockaddr_in&>(bound).sin_port
                              : reinterpret_cast<sockaddr_in6&>(bound).sin6_port);
        }
    }
    return true;
}

void HttpServer::Stop() {
    stop_requested_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(stop_event_, &one, sizeof one);
}

void HttpServer::Run() {
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < listeners_.size(); ++i) {
        workers.emplace_back([this, i] { Work(i); });
    }
    for (std::thread& worker : workers) worker.join();
}

void HttpServer::CloseListener(std::size_t index) {
    if (listeners_[index] >= 0) close(listeners_[index]);
    listeners_[index] = -1;
}

void HttpServer::Work(std::size_t index) {
    if (thread_start_) thread_start_();
    const int poll = epoll_create1(EPOLL_CLOEXEC);
    WatchInput(poll, listeners_[index]);
    WatchInput(poll, stop_event_);
    const ConnectionContext context{poll, handler_, config_.access_log, stop_requested_};
    Connections connections;
    std::optional<Clock::time_point> stop_deadline;

    // New connections are refused from now on; idle ones have nothing in flight and close at
    // once, the others may finish what they have begun within the grace period.
    auto begin_stopping = [&] {
        stop_deadline = Clock::now() + kShutdownGrace;
        epoll_ctl(poll, EPOLL_CTL_DEL, listeners_[index], nullptr);
        CloseListener(index);
        epoll_ctl(poll, EPOLL_CTL_DEL, stop_event_, nullptr);
        for (auto it = connections.begin(); it != connections.end();) {
            it = it->second.OnServerStopping() ? std::next(it) : connections.erase(it);
        }
    };

    epoll_event events[kMaxEvents];
    while (!stop_deadline || (!connections.empty() && Clock::now() <= *stop_deadline)) {
        const int ready = epoll_wait(poll, events, kMaxEvents, kWakeMs);
        for (int i = 0; i < ready; ++i) {
            const int fd = events[i].data.fd;
            if (fd == stop_event_) {
                if (!stop_deadline) begin_stopping();
            } else if (fd == listeners_[index]) {
                AcceptAll(fd, context, connections);
            } else if (const auto found = connections.find(fd);
                       found != connections.end() && !found->second.OnEvents(events[i].events)) {
                connections.erase(found);
            }
        }
        // Close connections that have been idle, or slow to send a request, for too long.
        std::erase_if(connections, [now = Clock::now()](const auto& entry) {
            return entry.second.Expired(now);
        });
    }
    connections.clear();
    close(poll);
    if (thread_stop_) thread_stop_();
}
