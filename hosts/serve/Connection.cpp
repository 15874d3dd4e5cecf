#include "hosts/serve/Connection.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <utility>

namespace {

constexpr auto kIdleTimeout = std::chrono::seconds(30);
constexpr auto kRequestTimeout = std::chrono::seconds(10);  // to send a whole request head
constexpr std::size_t kReadChunk = 16 * 1024;

}  // namespace

Connection::Connection(int socket, std::string peer, const ConnectionContext& context)
    : socket_(socket), peer_(std::move(peer)), context_(context) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = socket_;
    epoll_ctl(context_.poll, EPOLL_CTL_ADD, socket_, &event);
}

Connection::~Connection() {
    epoll_ctl(context_.poll, EPOLL_CTL_DEL, socket_, nullptr);
    close(socket_);
}

bool Connection::OnEvents(std::uint32_t events) {
    last_activity_ = Clock::now();
    if ((events & EPOLLOUT) != 0 && !OnWritable()) return false;
    if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) == 0) return true;
    return OnReadable();
}

bool Connection::OnServerStopping() {
    const bool idle = in_.empty() && out_.empty();
    // A request under way is still answered, and its answer ends the connection.
    closing_ = closing_ || in_.empty();
    return !idle;
}

bool Connection::Expired(Clock::time_point now) const {
    const auto limit = in_.empty() ? kIdleTimeout : kRequestTimeout;
    return out_.empty() && now - last_activity_ > limit;
}

bool Connection::OnReadable() {
    const bool peer_open = Receive();
    if (!closing_) ServeRequests();
    if (!peer_open) closing_ = true;
    return OnWritable();
}

bool Connection::OnWritable() {
    while (out_sent_ < out_.size()) {
        const ssize_t n =
            send(socket_, out_.data() + out_sent_, out_.size() - out_sent_, MSG_NOSIGNAL);
        if (n > 0) {
            out_sent_ += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            WatchOutput(true);
            return true;
        }
        return false;
    }
    out_.clear();
    out_sent_ = 0;
    WatchOutput(false);
    return !closing_;
}

bool Connection::Receive() {
    char chunk[kReadChunk];
    for (;;) {
        const ssize_t got = recv(socket_, chunk, sizeof chunk, 0);
        if (got > 0) {
            in_.append(chunk, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void Connection::ServeRequests() {
    while (!closing_) {
        HttpRequest request;
        const ParseResult parsed = ParseRequest(in_, &request);
        if (parsed.status == ParseStatus::Incomplete) return;
        const auto started = Clock::now();
        HttpResponse response;
        bool keep_alive = false;
        if (parsed.status == ParseStatus::Error) {
            // The rest of the input cannot be framed, so none of it is served.
            response = HttpResponse::Text(parsed.error_status, ReasonPhrase(parsed.error_status));
            // assign, not = "-": GCC 12 at -O3 wrongly sees an overlapping copy in the latter.
            request.method.assign(1, '-');
            in_.clear();
        } else {
            response = Respond(request);
            keep_alive = request.keep_alive && !context_.stop_requested;
            in_.erase(0, parsed.consumed);
        }
        const bool head_only = request.method == "HEAD";
        out_ += SerializeResponse(response, keep_alive, head_only);
        closing_ = !keep_alive;
        Log(request, response, head_only, started);
    }
}

HttpResponse Connection::Respond(const HttpRequest& request) const {
    try {
        return context_.handler(request);
    } catch (const std::exception& e) {
        return HttpResponse::Text(500, std::string("internal error: ") + e.what());
    }
}

void Connection::Log(const HttpRequest& request, const HttpResponse& response, bool head_only,
                     Clock::time_point started) const {
    if (context_.access_log == nullptr) return;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    const std::string target =
        request.query.empty() ? request.path : request.path + "?" + request.query;
    constexpr std::size_t kShownTarget = 200;
    std::string line = peer_ + " \"" + request.method + " " + target.substr(0, kShownTarget) +
                       (target.size() > kShownTarget ? "..." : "") + "\" " +
                       std::to_string(response.status) + " " +
                       std::to_string(head_only ? 0 : response.body.size()) + " ";
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.3fms\n", ms);
    line += duration;
    // One write per line keeps lines from different workers whole.
    [[maybe_unused]] const ssize_t n = write(fileno(context_.access_log), line.data(), line.size());
}

void Connection::WatchOutput(bool on) {
    if (watching_output_ == on) return;
    epoll_event event{};
    event.events = on ? EPOLLIN | EPOLLOUT : EPOLLIN;
    event.data.fd = socket_;
    epoll_ctl(context_.poll, EPOLL_CTL_MOD, socket_, &event);
    watching_output_ = on;
}
