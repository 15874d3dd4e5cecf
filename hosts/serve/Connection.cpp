#include "hosts/serve/Connection.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <utility>

namespace {

constexpr std::size_t kReadChunk = 16 * 1024;
// Read and dropped while closing, at most; a client that sends more is cut off.
constexpr std::size_t kMaxDropped = 1024 * 1024;
constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
// Room for answers kept once they are all sent, for the next: more is freed.
constexpr std::size_t kKeptOut = 64 * 1024;

}  // namespace

Connection::Connection(int socket, std::string peer, const ConnectionContext& context)
    : socket_(socket), peer_(std::move(peer)), context_(context) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = socket_;
    epoll_ctl(context_.poll, EPOLL_CTL_ADD, socket_, &event);
    watched_ = EPOLLIN;
    context_.deadlines.Enter(*this, Wait::kIdle, waiting_since_);
    ++context_.open_connections;
    if (context_.metrics != nullptr) context_.metrics->ConnectionsOpen(1);
}

Connection::~Connection() {
    epoll_ctl(context_.poll, EPOLL_CTL_DEL, socket_, nullptr);
    close(socket_);
    --context_.open_connections;
    context_.memory.Give(out_counted_);
    if (awaited_) awaited_->abandoned = true;
    if (context_.peers != nullptr) context_.peers->Leave(peer_);
    if (context_.metrics != nullptr) {
        context_.metrics->ConnectionsOpen(-1);
        context_.metrics->RequestsInFlight(-static_cast<int>(answer_ends_.size()) -
                                           (awaited_ ? 1 : 0));
    }
}

bool Connection::OnEvents(std::uint32_t events) {
    if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0) Receive();
    return Advance();
}

bool Connection::OnServerStopping() {
    Receive();
    // A request under way is still answered, and its answer ends the connection (the stop
    // turns off keep-alive). An idle connection stays for the short wait a crowded server
    // gives it: a request its client sent as the stop came (the first on a connection taken
    // from the backlog, or the next on a kept-alive one) is on its way, and is answered.
    // Once all is sent, waiting for the client to close is no reason to delay the stop.
    return Advance() && !lingering_;
}

bool Connection::OnAnswerMade() {
    const std::shared_ptr<AnswerJob> job = std::move(awaited_);
    Answer(job->request(), job->response(), awaited_keep_alive_ && !context_.stop_requested,
           awaited_started_);
    return Advance();
}

void Connection::Receive() {
    char chunk[kReadChunk];
    // Reading stops one request ahead: a buffer that long holds a whole request or an error.
    while (!peer_gone_ && (closing_ || Unparsed() < kMaxRequest)) {
        const ssize_t got = recv(socket_, chunk, sizeof chunk, 0);
        if (got > 0) {
            const auto bytes = static_cast<std::size_t>(got);
            if (closing_) {
                dropped_ += bytes;
                if (dropped_ > kMaxDropped) peer_gone_ = true;
                continue;
            }
            if (Unparsed() == 0) request_started_ = Clock::now();
            in_.append(chunk, bytes);
            // Less than asked for is all there was: the loop, which reports the socket for as
            // long as it holds more, spares a read that would only find it empty.
            if (bytes < sizeof chunk) return;
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        peer_gone_ = true;  // end of stream, or the socket failed
    }
}

bool Connection::Advance() {
    for (;;) {
        if (!closing_) ServeRequests();
        if (!Flush()) return false;
        // Serving stopped at the bound on unsent answers, and then all of them went out:
        // serve the rest of the input.
        if (closing_ || awaited_ || Unsent() > 0 || !HoldsRequest()) break;
    }
    // Once the client has gone, what it left unfinished can never become a request.
    if (peer_gone_ && !HoldsRequest()) closing_ = true;
    if (closing_ && Unsent() == 0 && !awaited_) {
        if (peer_gone_) return false;
        if (!lingering_) {
            shutdown(socket_, SHUT_WR);
            lingering_ = true;
            waiting_since_ = Clock::now();
        }
    }
    Watch();
    return true;
}

bool Connection::HoldsRequest() const {
    return Unparsed() > 0 && parser_.state() != RequestState::kIncomplete;
}

void Connection::ServeRequests() {
    while (!closing_ && !awaited_) {
        // The parser goes on from where it stopped at the last read.
        const RequestState state = parser_.Parse(std::string_view(in_).substr(in_parsed_));
        if (state == RequestState::kIncomplete) {
            // A client that waits for a go-ahead before it sends the body gets it once.
            if (parser_.ExpectsContinue() && !continued_) {
                OpenOut() += kContinue;
                Queued(true);
                continued_ = true;
            }
            break;
        }
        // Past a bound, no more is served until some of what is queued has gone out: the
        // connection's own, or the server's memory for answers (once this connection has
        // answers unsent, so that each is still served one at a time).
        if (Unsent() >= context_.limits.max_unsent || (Unsent() > 0 && context_.memory.Spent())) {
            break;
        }
        if (context_.metrics != nullptr) context_.metrics->RequestsInFlight(1);
        const auto started = Clock::now();
        if (state == RequestState::kRefused) {
            // The rest of the input cannot be framed, so none of it is served.
            HttpRequest unread = RequestLineAsRead(std::string_view(in_).substr(in_parsed_));
            in_parsed_ = in_.size();
            Answer(unread, HttpResponse::Text(parser_.refusal(), ReasonPhrase(parser_.refusal())),
                   false, started);
        } else {
            const HttpRequest& request = parser_.request();
            HttpResponse response = Respond(request);
            const bool keep_alive = request.keep_alive && !context_.stop_requested;
            if (response.later) {
                Await(request, std::move(response.later), keep_alive, started);
            } else {
                Answer(request, response, keep_alive, started);
            }
            in_parsed_ += parser_.length();
            if (Unparsed() > 0) request_started_ = Clock::now();
        }
        parser_.Next();
        continued_ = false;
    }
    // Dropping the answered requests once per batch, not once per request, keeps a burst of
    // pipelined requests linear in its length.
    in_.erase(0, in_parsed_);
    in_parsed_ = 0;
}

void Connection::Answer(const HttpRequest& request, const HttpResponse& response, bool keep_alive,
                        Clock::time_point started) {
    const bool head_only = request.method == "HEAD";
    AppendResponse(response, keep_alive, head_only, &OpenOut());
    Queued();
    closing_ = !keep_alive;
    Record(request, response, head_only, started);
}

void Connection::Await(const HttpRequest& request, std::shared_ptr<LaterAnswer> later,
                       bool keep_alive, Clock::time_point started) {
    awaited_ = std::make_shared<AnswerJob>(request, std::move(later), socket_, context_.mailbox,
                                           context_.memory);
    awaited_keep_alive_ = keep_alive;
    awaited_started_ = started;
    if (context_.pool != nullptr) {
        context_.pool->Submit(awaited_);
        return;
    }
    awaited_->Make();
    const std::shared_ptr<AnswerJob> job = std::move(awaited_);
    Answer(job->request(), job->response(), keep_alive, started);
}

std::string& Connection::OpenOut() {
    if (Unsent() == 0) {
        // The usual case: written where it is sent from, in the room the last answer left.
        out_.clear();
        out_sent_ = 0;
        waiting_since_ = Clock::now();  // the client's time to take it starts now
    } else if (out_sent_ >= Unsent()) {
        // Forget the sent part once it outweighs the rest, so out_ stays within twice what
        // is unsent and each byte moves at most once more.
        out_.erase(0, out_sent_);
        for (std::size_t& end : answer_ends_) end -= out_sent_;
        out_sent_ = 0;
    }
    return out_;
}

void Connection::Queued(bool interim) {
    if (!interim) answer_ends_.push_back(out_.size());
    CountOut();
}

void Connection::CountOut() {
    const std::size_t held = out_.capacity();
    if (held > out_counted_) {
        context_.memory.Take(held - out_counted_);
    } else {
        context_.memory.Give(out_counted_ - held);
    }
    out_counted_ = held;
}

bool Connection::Flush() {
    while (Unsent() > 0) {
        const ssize_t n = send(socket_, out_.data() + out_sent_, Unsent(), MSG_NOSIGNAL);
        if (n > 0) {
            out_sent_ += static_cast<std::size_t>(n);
            waiting_since_ = Clock::now();
            if (context_.metrics != nullptr)
                context_.metrics->BytesSent(static_cast<std::size_t>(n));
            int answered = 0;
            for (; !answer_ends_.empty() && answer_ends_.front() <= out_sent_; ++answered) {
                answer_ends_.pop_front();
            }
            if (context_.metrics != nullptr && answered > 0) {
                context_.metrics->RequestsInFlight(-answered);
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    // All sent: a large answer's room is given back now, not when the next answer replaces it.
    if (out_counted_ > kKeptOut) {
        std::string().swap(out_);
        out_sent_ = 0;
        CountOut();
    }
    return true;
}

HttpResponse Connection::Respond(const HttpRequest& request) const {
    try {
        return context_.handler(request);
    } catch (const std::exception& e) {
        return HttpResponse::Text(500, std::string("internal error: ") + e.what());
    }
}

void Connection::Record(const HttpRequest& request, const HttpResponse& response, bool head_only,
                        Clock::time_point started) const {
    const auto elapsed = std::chrono::duration<double>(Clock::now() - started);
    if (context_.metrics != nullptr) {
        context_.metrics->RequestAnswered(request.path, response.status, elapsed.count());
    }
    if (context_.access_log == nullptr) return;
    context_.access_log->Write({std::chrono::system_clock::now(), peer_, request.method,
                                request.path, request.query, response.status,
                                head_only ? 0 : response.BodySize(), elapsed.count() * 1000});
}

void Connection::Watch() {
    if (lingering_) {
        context_.deadlines.Enter(*this, Wait::kLinger, waiting_since_);
    } else if (Unsent() > 0) {
        context_.deadlines.Enter(*this, Wait::kWrite, waiting_since_);
    } else if (awaited_) {
        context_.deadlines.Enter(*this, Wait::kAnswer, awaited_started_);
    } else if (Unparsed() > 0) {
        context_.deadlines.Enter(*this, Wait::kRequest, request_started_);
    } else {
        context_.deadlines.Enter(*this, Wait::kIdle, waiting_since_);
    }
    // Reading goes on while the client is there and there is room for its input and for the
    // answers to it (while closing, to drop what it still sends); writing is watched only
    // while answers wait. A client that has gone is no longer watched for input, which would
    // stay readable (at its end) and wake the loop for nothing.
    std::uint32_t wanted = 0;
    if (!peer_gone_ &&
        (closing_ || (Unparsed() < kMaxRequest && Unsent() < context_.limits.max_unsent))) {
        wanted |= EPOLLIN;
    }
    if (Unsent() > 0) wanted |= EPOLLOUT;
    if (wanted == watched_) return;
    epoll_event event{};
    event.events = wanted;
    event.data.fd = socket_;
    epoll_ctl(context_.poll, EPOLL_CTL_MOD, socket_, &event);
    watched_ = wanted;
}
