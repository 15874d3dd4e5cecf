// One accepted client of the HTTP server, from accept to close. A connection goes through
// these phases, driven by its worker's event loop:
//   reading   gathers bytes until a whole request head (and body) is in its input;
//   serving   answers every complete request in the input, in order, queueing the answers;
//             an answer too costly for the event loop is made on an answer thread meanwhile,
//             and the requests after it wait for it, so that the answers keep their order;
//   flushing  sends the queued answers as fast as the client takes them, asking the loop to
//             report writability only while some are left;
//   closing   once an answer ends the conversation (or the client has gone) it serves no more
//             requests; when the last answer is out it closes its sending side and reads (and
//             drops) what the client still sends for a moment, so that the client reads the
//             answer rather than a reset.
// Reading and flushing overlap on a kept-alive connection: the next request may arrive while
// the previous answer is still going out. What a connection holds is bounded: it reads no
// further than one request ahead, and serves no more while its unsent answers pass a bound
// (or while it has some and the server's memory for answers is spent), so a client that
// sends without reading is slowed to the pace at which it reads. Every wait
// has a limit: for a request, from its first byte; for the client to take some of an answer;
// for an answer thread; and between requests. The connection keeps its place among its
// worker's Deadlines up to date; reading requests lives apart, in RequestParser. The memory
// its answers hold until they are sent is counted in the server's AnswerMemory.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "hosts/serve/AccessLog.h"
#include "hosts/serve/AnswerPool.h"
#include "hosts/serve/ConnectionLimits.h"
#include "hosts/serve/Deadlines.h"
#include "hosts/serve/HttpMessage.h"
#include "hosts/serve/HttpMetrics.h"
#include "hosts/serve/PeerCounts.h"
#include "hosts/serve/RequestParser.h"

// What the connections of one worker share; it outlives them all.
struct ConnectionContext {
    int poll;  // the worker's epoll instance, which each connection tells what it waits for
    const HttpHandler& handler;
    const ConnectionLimits& limits;
    Deadlines& deadlines;                     // the worker's, for its connections' waits
    const AccessLog* access_log;              // null for none
    HttpMetrics* metrics;                     // null for none
    const std::atomic<bool>& stop_requested;  // once set, every answer ends its connection
    std::atomic<int>& open_connections;       // of the whole server
    AnswerMemory& memory;                     // of the whole server
    AnswerPool* pool;                         // null: costly answers are made on the loop
    AnswerMailbox& mailbox;                   // the worker's, where made answers come back
    PeerCounts* peers;  // null for no limit per address; else each connection leaves it
};

class Connection : public Waiter {
public:
    // Takes over an accepted, non-blocking socket and waits for its first request; `peer` is
    // the client's address as the access log shows it (and as context.peers counts it).
    Connection(int socket, std::string peer, const ConnectionContext& context);
    // Stops watching the socket and closes it; an answer still being made is abandoned.
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The calls below return false once the connection is finished; its owner then destroys
    // it, which closes the socket.

    // Handles what epoll reported for the socket.
    bool OnEvents(std::uint32_t events);
    // The server is stopping: take in what the client has sent, then end after what is in
    // flight. False when nothing is.
    bool OnServerStopping();
    // The answer made on an answer thread for `job` has come back: true when it is this
    // connection's (and then the connection's state, as OnEvents).
    bool Awaits(const AnswerJob& job) const { return awaited_.get() == &job; }
    bool OnAnswerMade();

    int socket() const { return socket_; }

private:
    // Appends what the socket holds to the input, up to one request's worth of unparsed
    // bytes; once closing, reads and drops it instead.
    void Receive();
    // Serves, sends and serves again until it has to wait; false once it is done.
    bool Advance();
    // True when the unparsed input begins with a whole request, or with one that is refused,
    // as the parser found it when it last read the input.
    bool HoldsRequest() const;
    // Answers the complete requests in the input, in order, until one ends the connection,
    // the unsent answers pass their bound, or an answer is being made elsewhere.
    void ServeRequests();
    // Queues the answer to `request` and records it.
    void Answer(const HttpRequest& request, const HttpResponse& response, bool keep_alive,
                Clock::time_point started);
    // Has the answer made on an answer thread (or here, without one).
    void Await(const HttpRequest& request, std::shared_ptr<LaterAnswer> later, bool keep_alive,
               Clock::time_point started);
    // Sends what the socket takes of the queued answers; false when the socket has failed.
    bool Flush();
    HttpResponse Respond(const HttpRequest& request) const;
    void Record(const HttpRequest& request, const HttpResponse& response, bool head_only,
                Clock::time_point started) const;
    // Queues bytes to send: OpenOut gives the string to append them to, and Queued counts
    // them, as an answer or (interim) as a 100 Continue, which answers nothing.
    std::string& OpenOut();
    void Queued(bool interim = false);
    // Counts in the server's AnswerMemory the room out_ holds now: all of it, sent or not,
    // for a partly sent answer is freed only once it is all sent.
    void CountOut();
    // Tells epoll, and the deadlines, what the connection waits for now.
    void Watch();

    std::size_t Unparsed() const { return in_.size() - in_parsed_; }
    std::size_t Unsent() const { return out_.size() - out_sent_; }

    const int socket_;
    const std::string peer_;
    const ConnectionContext& context_;
    std::string in_;  // received; from in_parsed_ on, not yet answered
    std::size_t in_parsed_ = 0;
    RequestParser parser_;  // reading the request at in_parsed_
    std::string out_;       // answers; from out_sent_ on, not yet sent
    std::size_t out_sent_ = 0;
    std::size_t out_counted_ = 0;          // the room out_ holds, as counted in the AnswerMemory
    std::deque<std::size_t> answer_ends_;  // where in out_ each unsent answer ends
    std::shared_ptr<AnswerJob> awaited_;   // an answer being made elsewhere, the next to send
    bool awaited_keep_alive_ = false;
    Clock::time_point awaited_started_;
    bool continued_ = false;   // a 100 Continue went out for the request under way
    bool closing_ = false;     // no more requests: close once out_ is sent
    bool peer_gone_ = false;   // the client has closed its side, or the socket failed
    bool lingering_ = false;   // all sent and our side closed: waiting for the client to close
    std::size_t dropped_ = 0;  // bytes read and dropped while closing
    std::uint32_t watched_ = 0;
    Clock::time_point request_started_;               // first byte of the request under way
    Clock::time_point waiting_since_ = Clock::now();  // for a request, for the client, to close
};
