// Reading an HTTP/1.1 request from a connection's input as it arrives, in the manner of
// picohttpparser: the request is handed out as views into the input, not copied, and each call
// goes on from where the last one stopped, so a request that comes a few bytes at a time
// costs what it would cost in one piece. What the parser keeps between calls is positions
// (the input's bytes may move when the connection's buffer grows): how far it has looked for
// line ends, where the current line begins, and where the fields of the lines it has read lie.
//
// Every limit refuses with the status a client can act on, and the decision depends on the
// bytes alone, never on how they were split between reads:
//   414  a request line longer than kMaxRequestLine, or a query longer than kMaxQueryLength;
//   431  a head longer than kMaxHead, or more than kMaxHeaders header lines;
//   413  a body announced longer than kMaxBody;
//   417  an Expect other than 100-continue;
//   505  a version other than HTTP/1.0 or HTTP/1.1;
//   400  anything else malformed, any framing a proxy in front may read otherwise, and an
//        HTTP/1.1 request without exactly one Host, or with a Host that names no host.
// The request line is judged byte by byte as it arrives, so that what cannot begin a request
// (a TLS handshake, binary noise) or an HTTP/0.9 request is refused at once, not once the
// request timeout ends. The length limits are reported as soon as they are passed; a
// malformed header line only once the head is whole, as the first fault in it.
//
// The target is the path and query (origin form), or a whole http or https URL (absolute
// form, which RFC 9112 has a server accept): any host in it is this server's, as the server
// answers to every name it is given. Line ends are CR LF only: a bare LF, which a proxy in
// front may read otherwise, is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "hosts/serve/HttpMessage.h"

// Longest query string served; a longer one is refused with 414.
constexpr std::size_t kMaxQueryLength = 16 * 1024;
// A request line holds the longest accepted query plus a path of reasonable length.
constexpr std::size_t kMaxRequestLine = kMaxQueryLength + 4096;
// A whole head, request line included; a longer one is refused with 431, as are more header
// lines than kMaxHeaders.
constexpr std::size_t kMaxHead = kMaxRequestLine + 32 * 1024;
constexpr std::size_t kMaxHeaders = 100;
constexpr std::size_t kMaxBody = 64 * 1024;
// Every request, head and body, fits in this many bytes: an input that holds this much and no
// whole request holds an error, so a connection never needs to read further ahead.
constexpr std::size_t kMaxRequest = kMaxHead + 4 + kMaxBody;

enum class RequestState { kIncomplete, kComplete, kRefused };

// For the log of a refused request: its method and decoded path as far as the request line at
// the front of `input` shows them, whatever the refusal (a line too long, too many headers).
// The method is "-" when it cannot be read, and the path then empty.
HttpRequest RequestLineAsRead(std::string_view input);

class RequestParser {
public:
    // Reads what has arrived of the request at the front of `input`: the bytes given at the
    // last call (if any since Next), wherever they lie now, and possibly more after them. Only
    // the first kMaxRequest bytes are looked at. Once complete or refused, the answer stays.
    RequestState Parse(std::string_view input);
    RequestState state() const { return state_; }

    // Once complete: the request, whose views point into the input of the last Parse and
    // hold while it stays where it is; and its length, body included.
    const HttpRequest& request() const { return request_; }
    std::size_t length() const { return length_; }
    // Once refused: the status to answer with.
    int refusal() const { return refusal_; }
    // The head is whole and asks for 100 Continue before its body, which has not all come.
    bool ExpectsContinue() const {
        return expects_continue_ && state_ == RequestState::kIncomplete;
    }

    // Forgets the request, to read the one that follows it: Parse is then given the input
    // from the end of this one.
    void Next();

private:
    enum class Phase { kRequestLine, kHeaders, kBody };
    // Where a header's name and value lie in the input.
    struct Field {
        std::uint32_t name, name_length, value, value_length;
    };

    void ReadRequestLine(std::string_view input);
    // Judges the complete request line, input[0, end), whose bytes are all printable.
    void CheckRequestLine(std::string_view input, std::size_t end);
    // Where the path of the target at input[at, at + length) begins, skipping the scheme
    // and host of the absolute form; false when the target is neither form.
    bool FindPath(std::string_view input, std::size_t at, std::size_t length);
    void ReadHeaderLines(std::string_view input);
    // Checks one header line and keeps its field; a fault becomes the head's refusal.
    void ReadHeaderLine(std::string_view input, std::size_t start, std::size_t end);
    // The head is whole: its fault, if any, refuses it; else the body's length is known.
    void EndHead(std::string_view input, std::size_t length);
    // The request's views into `input`.
    void Point(std::string_view input);
    void Refuse(int status);
    // The first fault of the head, kept until the head is whole; the first one only.
    void Fault(int status) {
        if (fault_ == 0) fault_ = status;
    }

    RequestState state_ = RequestState::kIncomplete;
    Phase phase_ = Phase::kRequestLine;
    std::size_t scanned_ = 0;     // bytes looked at for line ends
    std::size_t line_start_ = 0;  // where the line being read begins
    int fault_ = 0;
    int refusal_ = 0;
    std::size_t first_space_ = 0;  // 0 until the request line's first space has come
    std::size_t method_length_ = 0;
    std::size_t target_ = 0, target_length_ = 0;
    std::size_t path_length_ = 0;  // of the target, before its '?'

    std::size_t content_lengths_ = 0;
    std::size_t hosts_ = 0;
    bool transfer_encoding_ = false;
    bool expects_continue_ = false;
    std::vector<Field> fields_;
    std::size_t length_ = 0;
    HttpRequest request_;
};
