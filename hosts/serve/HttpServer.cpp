#include "hosts/serve/HttpServer.h"

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
#include <thread>
#include <unordered_map>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kIdleTimeout = std::chrono::seconds(30);
constexpr auto kRequestTimeout = std::chrono::seconds(10);  // to send a whole request head
constexpr auto kShutdownGrace = std::chrono::seconds(10);
constexpr std::size_t kReadChunk = 16 * 1024;

struct Connection {
    std::string peer;
    std::string in;
    std::string out;
    std::size_t out_sent = 0;
    bool close_after_write = false;
    bool writing = false;  // EPOLLOUT registered
    Clock::time_point last_activity = Clock::now();
};

void WriteLogLine(std::FILE* log, const Connection& c, const HttpRequest& request,
                  std::string_view target, int status, std::size_t bytes, double ms) {
    if (log == nullptr) return;
    constexpr std::size_t kShownTarget = 200;
    std::string line = c.peer + " \"" + request.method + " " +
                       std::string(target.substr(0, kShownTarget)) +
                       (target.size() > kShownTarget ? "..." : "") + "\" " +
                       std::to_string(status) + " " + std::to_string(bytes) + " ";
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.3fms\n", ms);
    line += duration;
    // One write per line keeps lines from different workers whole.
    [[maybe_unused]] const ssize_t n = write(fileno(log), line.data(), line.size());
}

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

}  // namespace

HttpServer::HttpServer(HttpServerConfig config, Handler handler, ThreadHook thread_start,
                       ThreadHook thread_stop)
    : config_(std::move(config)),
      handler_(std::move(handler)),
      thread_start_(std::move(thread_start)),
      thread_stop_(std::move(thread_stop)),
      stop_event_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

HttpServer::~HttpServer() {
    for (int fd : listeners_) {
        if (fd >= 0) close(fd);
    }
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

void HttpServer::Work(std::size_t index) {
    const int listener = listeners_[index];
    if (thread_start_) thread_start_();
    const int poll = epoll_create1(EPOLL_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = listener;
    epoll_ctl(poll, EPOLL_CTL_ADD, listener, &event);
    event.data.fd = stop_event_;
    epoll_ctl(poll, EPOLL_CTL_ADD, stop_event_, &event);

    std::unordered_map<int, Connection> connections;
    bool stopping = false;
    Clock::time_point stop_deadline{};

    auto close_connection = [&](int fd) {
        epoll_ctl(poll, EPOLL_CTL_DEL, fd, nullptr);
        close(fd);
        connections.erase(fd);
    };

    // Sends what is buffered; returns false when the connection was closed.
    auto flush = [&](int fd, Connection& c) {
        while (c.out_sent < c.out.size()) {
            const ssize_t n =
                send(fd, c.out.data() + c.out_sent, c.out.size() - c.out_sent, MSG_NOSIGNAL);
            if (n > 0) {
                c.out_sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!c.writing) {
                    epoll_event e{};
                    e.events = EPOLLIN | EPOLLOUT;
                    e.data.fd = fd;
                    epoll_ctl(poll, EPOLL_CTL_MOD, fd, &e);
                    c.writing = true;
                }
                return true;
            }
            close_connection(fd);
            return false;
        }
        c.out.clear();
        c.out_sent = 0;
        if (c.writing) {
            epoll_event e{};
            e.events = EPOLLIN;
            e.data.fd = fd;
            epoll_ctl(poll, EPOLL_CTL_MOD, fd, &e);
            c.writing = false;
        }
        if (c.close_after_write) {
            close_connection(fd);
            return false;
        }
        return true;
    };

    // Answers every complete request in the buffer, in order.
    auto serve = [&](Connection& c) {
        while (!c.close_after_write) {
            HttpRequest request;
            const ParseResult parsed = ParseRequest(c.in, &request);
            if (parsed.status == ParseStatus::Incomplete) return;
            const auto started = Clock::now();
            HttpResponse response;
            bool keep_alive = false;
            if (parsed.status == ParseStatus::Error) {
                response =
                    HttpResponse::Text(parsed.error_status, ReasonPhrase(parsed.error_status));
                request.method = "-";
                c.in.clear();
            } else {
                try {
                    response = handler_(request);
                } catch (const std::exception& e) {
                    response = HttpResponse::Text(500, std::string("internal error: ") + e.what());
                }
                keep_alive = request.keep_alive && !stopping && !stop_requested_;
                c.in.erase(0, parsed.consumed);
            }
            const bool head_only = request.method == "HEAD";
            c.out += SerializeResponse(response, keep_alive, head_only);
            c.close_after_write = !keep_alive;
            const double ms =
                std::chrono::duration<double, std::milli>(Clock::now() - started).count();
            const std::string target =
                request.query.empty() ? request.path : request.path + "?" + request.query;
            WriteLogLine(config_.access_log, c, request, target, response.status,
                         head_only ? 0 : response.body.size(), ms);
        }
    };

    epoll_event events[256];
    for (;;) {
        if (stopping && (connections.empty() || Clock::now() > stop_deadline)) break;
        const int n = epoll_wait(poll, events, 256, 1000);
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            if (fd == stop_event_) {
                if (!stopping) {
                    stopping = true;
                    stop_deadline = Clock::now() + kShutdownGrace;
                    epoll_ctl(poll, EPOLL_CTL_DEL, listener, nullptr);
                    close(listener);  // new connections are refused from now on
                    listeners_[index] = -1;
                    epoll_ctl(poll, EPOLL_CTL_DEL, stop_event_, nullptr);
                    // Idle connections have nothing in flight: close them now.
                    std::vector<int> idle;
                    for (auto& [cfd, c] : connections) {
                        if (c.in.empty() && c.out.empty()) idle.push_back(cfd);
                        c.close_after_write = c.close_after_write || c.in.empty();
                    }
                    for (int cfd : idle) close_connection(cfd);
                }
                continue;
            }
            if (fd == listener) {
                for (;;) {
                    sockaddr_storage peer{};
                    socklen_t peer_length = sizeof peer;
                    const int client = accept4(listener, reinterpret_cast<sockaddr*>(&peer),
                                               &peer_length, SOCK_NONBLOCK | SOCK_CLOEXEC);
                    if (client < 0) break;
                    const int on = 1;
                    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                    epoll_event e{};
                    e.events = EPOLLIN;
                    e.data.fd = client;
                    epoll_ctl(poll, EPOLL_CTL_ADD, client, &e);
                    connections[client].peer = PeerName(peer);
                }
                continue;
            }
            auto found = connections.find(fd);
            if (found == connections.end()) continue;
            Connection& c = found->second;
            c.last_activity = Clock::now();
            if ((events[i].events & EPOLLOUT) != 0 && !flush(fd, c)) continue;
            if ((events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) == 0) continue;
            bool peer_closed = false;
            char chunk[kReadChunk];
            for (;;) {
                const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
                if (got > 0) {
                    c.in.append(chunk, static_cast<std::size_t>(got));
                    continue;
                }
                if (got < 0 && errno == EINTR) continue;
                peer_closed = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
                break;
            }
            if (!c.close_after_write) serve(c);
            if (peer_closed) c.close_after_write = true;
            flush(fd, c);
        }

        // Close connections that have been idle, or slow to send a request, for too long.
        const auto now = Clock::now();
        std::vector<int> expired;
        for (const auto& [fd, c] : connections) {
            const auto limit = c.in.empty() ? kIdleTimeout : kRequestTimeout;
            if (c.out.empty() && now - c.last_activity > limit) expired.push_back(fd);
        }
        for (int fd : expired) close_connection(fd);
    }
    for (auto it = connections.begin(); it != connections.end();) {
        close(it->first);
        it = connections.erase(it);
    }
    close(poll);
    if (thread_stop_) thread_stop_();
}
