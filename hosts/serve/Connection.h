// One accepted client of the HTTP server, from accept to close. A connection goes through
// these phases, driven by its worker's event loop:
//   reading   gathers bytes until a whole request head (and body) is in its input;
//   serving   answers every complete request in the input, in order, queueing the answers;
//   flushing  sends the queued answers as fast as the client takes them, asking the loop to
//             report writability only while some are left;
//   closing   once an answer ends the conversation (or the client has gone) it serves no more
//             requests, and closes when the last answer is out.
// Reading and flushing overlap on a kept-alive connection: the next request may arrive while
// the previous answer is still going out. Parsing itself lives apart, in HttpMessage.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "hosts/serve/HttpMessage.h"

// What the connections of one worker share; it outlives them all.
struct ConnectionContext {
    int poll;  // the worker's epoll instance, which each connection tells what it waits for
    const HttpHandler& handler;
    std::FILE* access_log;                    // one line per request; null for none
    const std::atomic<bool>& stop_requested;  // once set, every answer ends its connection
};

class Connection {
public:
    using Clock = std::chrono::steady_clock;

    // Takes over an accepted, non-blocking socket and waits for its first request; `peer` is
    // the client's address as the access log shows it.
    Connection(int socket, std::string peer, const ConnectionContext& context);
    // Stops watching the socket and closes it.
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The calls below return false once the connection is finished; its owner then destroys
    // it, which closes the socket.

    // Handles what epoll reported for the socket.
    bool OnEvents(std::uint32_t events);
    // The server is stopping: end after what is in flight. False when nothing is.
    bool OnServerStopping();

    // True when it has waited too long for a request, or for the rest of one.
    bool Expired(Clock::time_point now) const;

private:
    bool OnReadable();
    // Sends what the socket takes of the queued answers.
    bool OnWritable();

    // Appends what the socket holds to the input; false once the client has closed its side
    // or the socket has failed.
    bool Receive();
    // Answers every complete request in the input, in order, until one ends the connection.
    void ServeRequests();
    HttpResponse Respond(const HttpRequest& request) const;
    void Log(const HttpRequest& request, const HttpResponse& response, bool head_only,
             Clock::time_point started) const;
    void WatchOutput(bool on);

    const int socket_;
    const std::string peer_;
    const ConnectionContext& context_;
    std::string in_;   // received and not yet answered
    std::string out_;  // answers not yet sent, from out_sent_ on
    std::size_t out_sent_ = 0;
    bool closing_ = false;          // no more requests: close once out_ is sent
    bool watching_output_ = false;  // EPOLLOUT registered
    Clock::time_point last_activity_ = Clock::now();
};
