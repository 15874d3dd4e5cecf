// HTTP/1.1 requests and responses as the page host needs them: a request as RequestParser
// reads it, a response and the bytes that carry it, and the lists inside header values.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The views point into the connection's input, and hold while the request is served.
struct HttpRequest {
    std::string_view method;
    std::string path;        // percent-decoded
    std::string_view query;  // as sent, without the '?'
    bool http10 = false;
    bool keep_alive = true;
    std::vector<std::pair<std::string_view, std::string_view>> headers;  // as sent, trimmed

    // The first header of that name (case-insensitive), or empty.
    std::string_view Header(std::string_view name) const;
};

// A request that keeps its own copy of its bytes, to be answered after the connection's
// input has moved on. It stays where it is made: its views point into itself.
class OwnedRequest {
public:
    explicit OwnedRequest(const HttpRequest& request);
    OwnedRequest(const OwnedRequest&) = delete;
    OwnedRequest& operator=(const OwnedRequest&) = delete;

    const HttpRequest& request() const { return request_; }

private:
    std::string bytes_;
    HttpRequest request_;
};

struct LaterAnswer;

// An answer written out once, to be sent as it is to every request it answers: the head
// without its Connection field (which each request's keep-alive decides) and the body.
struct PreparedAnswer {
    int status = 200;
    std::string head;
    std::string body;
};

struct HttpResponse {
    int status = 200;
    // Always one of a few fixed types, written as literals: nothing to copy or allocate.
    std::string_view content_type = "text/plain; charset=utf-8";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // Set: the answer is too costly to make on an event loop, and is made later, elsewhere;
    // the fields above are unused.
    std::shared_ptr<LaterAnswer> later;
    // Set: the answer as it is sent; of the fields above only the status is used.
    std::shared_ptr<const PreparedAnswer> prepared;

    std::size_t BodySize() const { return prepared ? prepared->body.size() : body.size(); }

    static HttpResponse Text(int status, std::string text);
    // 503 with Retry-After: the server is busy, and the client may ask again in a moment.
    static HttpResponse Busy(std::string text);
    // The answer `prepared` holds, which it keeps alive.
    static HttpResponse Prepared(std::shared_ptr<const PreparedAnswer> prepared);
};

// What a server calls to answer each request.
using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

// An answer that costs more than the others (a large picture): the server makes it on one of
// its answer threads, calling `make` with a copy of the request, once `memory` bytes (what
// making it holds at its peak) fit in the memory it keeps for answers; a client whose answer
// does not fit gets 503 with Retry-After instead. `make` runs on a thread of the server's,
// so it must not use anything that belongs to the thread that asked for it.
struct LaterAnswer {
    HttpHandler make;
    std::size_t memory = 0;
};

// `s` without the spaces and tabs around it, as a header's value is read.
std::string_view TrimBlanks(std::string_view s);
// The items of a header's list ("gzip;q=1, br"), or of one item's parameters with ';', trimmed
// of spaces and tabs, empty ones left out.
std::vector<std::string_view> ListItems(std::string_view value, char separator = ',');

const char* ReasonPhrase(int status);
// The full response: status line, headers (Content-Length included) and, unless head_only,
// the body; appended to *out.
void AppendResponse(const HttpResponse& response, bool keep_alive, bool head_only,
                    std::string* out);
// The response written out once (a 304 keeps no body), for AppendResponse to send as it is;
// and the 304 Not Modified to a client whose copy of it is current: its head alone, without
// the fields that describe a body.
PreparedAnswer Prepare(HttpResponse response);
PreparedAnswer PrepareNotModified(const HttpResponse& response);
