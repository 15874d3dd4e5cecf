#include <gtest/gtest.h>

#include <string>

#include "hosts/serve/RequestParser.h"

namespace {

// The parser's answer to a text given in one piece.
struct Answer {
    RequestState state;
    std::size_t length;
    int refusal;
};

Answer Whole(std::string_view text) {
    RequestParser parser;
    const RequestState state = parser.Parse(text);
    return {state, parser.length(), parser.refusal()};
}

TEST(RequestParser, ReadsTheRequestLineHeadersAndQuery) {
    const std::string text =
        "GET /barcode.png?Data=A%20B&Width=400 HTTP/1.1\r\nHost: x\r\nIf-None-Match:  \"abc\" "
        "\r\n\r\nGET / HTTP/1.1\r\n\r\n";
    RequestParser parser;
    ASSERT_EQ(parser.Parse(text), RequestState::kComplete);
    EXPECT_EQ(parser.length(), text.find("GET /", 10));  // the pipelined second request stays
    const HttpRequest& request = parser.request();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, "/barcode.png");
    EXPECT_EQ(request.query, "Data=A%20B&Width=400");
    EXPECT_EQ(request.Header("if-none-match"), "\"abc\"");
    EXPECT_TRUE(request.keep_alive);
    // The views are into the input, not copies.
    EXPECT_EQ(request.method.data(), text.data());
    EXPECT_EQ(request.Header("Host").data(), text.data() + text.find("x\r\n"));
}

TEST(RequestParser, WaitsForAWholeHead) {
    EXPECT_EQ(Whole("GET / HTTP/1.1\r\nHost: x\r\n").state, RequestState::kIncomplete);
    EXPECT_EQ(Whole("GET / HTT").state, RequestState::kIncomplete);
    // A body announced but not all arrived.
    EXPECT_EQ(Whole("GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 4\r\n\r\nab").state,
              RequestState::kIncomplete);
}

// What the access log names of a refused request: its method and path as far as the line
// shows them, however it was refused.
TEST(RequestParser, TheRequestLineAsReadForTheLog) {
    const std::string long_query(kMaxQueryLength + 1, 'a');
    const struct {
        std::string input;
        std::string method, path;
    } cases[] = {
        {"GET /barcode.png?" + long_query + " HTTP/1.1\r\n\r\n", "GET", "/barcode.png"},
        {"GET /barcode.png?" + std::string(40000, 'a'), "GET", "/barcode.png"},  // no line end
        {"HEAD /a%20b HTTP/1.1\r\nX: 1\r\n", "HEAD", "/a b"},
        {"GET /x HTTP/1.1\r\n" + std::string(60000, 'h'), "GET", "/x"},
        {"GET nopath HTTP/1.1\r\n", "GET", ""},
        {"GARBAGE\r\n\r\n", "-", ""},
        {"G(T /x HTTP/1.1\r\n", "-", ""},
        {"", "-", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 30));
        const HttpRequest request = RequestLineAsRead(c.input);
        EXPECT_EQ(request.method, c.method);
        EXPECT_EQ(request.path, c.path);
    }
}

// Requests refused, each with the status a client can act on.
const struct Refused {
    std::string text;
    int status;
} kRefused[] = {
    {"GET /?" + std::string(kMaxQueryLength + 1, 'a') + " HTTP/1.1\r\n\r\n", 414},
    {"GET /?" + std::string(40000, 'a'), 414},  // no line end in sight
    {"GARBAGE\r\n\r\n", 400},
    {"GET / HTTP/2.0\r\n\r\n", 505},
    {"GET nopath HTTP/1.1\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nNoColon\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nContent-Length: x\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nContent-Length:\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nContent-Length: 65537\r\n\r\n", 413},
    // Framing that a proxy in front may read otherwise (RFC 9112 sections 5.1, 5.2, 6.3).
    {"GET / HTTP/1.1\r\nContent-Length : 5\r\n\r\nhello", 400},
    {"GET / HTTP/1.1\r\nHost\t: x\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nHost: x\r\n folded\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 5\r\n\r\nhello", 400},
    {"GET / HTTP/1.1\r\nContent-Length: 5\r\ncontent-length: 5\r\n\r\nhello", 400},
    {"GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nTransfer-Encoding: identity\r\nContent-Length: 0\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nX: a\nContent-Length: 5\r\n\r\nhello", 400},  // bare LF
    {std::string("GET / HTTP/1.1\r\nX: a\0b\r\n\r\n", 27), 400},
    {"GET /a\x1b[0m HTTP/1.1\r\n\r\n", 400},
    {"GET /a b HTTP/1.1\r\n\r\n", 400},
    {"G(T / HTTP/1.1\r\n\r\n", 400},
    // A head over the limit, whether or not its end has arrived, and too many lines.
    {"GET / HTTP/1.1\r\nX: " + std::string(kMaxHead, 'a') + "\r\n\r\n", 431},
    {"GET / HTTP/1.1\r\nX: " + std::string(kMaxHead, 'a'), 431},
    {"GET / HTTP/1.1\r\n" +
         [] {
             std::string lines;
             for (std::size_t i = 0; i <= kMaxHeaders; ++i) lines += "X: y\r\n";
             return lines;
         }() +
         "\r\n",
     431},
    // The first fault of a head is its answer, whatever follows; a limit passed comes first,
    // but a request line that cannot be one is refused as soon as it ends.
    {"GET / HTTP/2.0\r\nNoColon\r\n\r\n", 505},
    {"GARBAGE\r\nX: " + std::string(kMaxHead, 'a'), 400},
    {"GET / HTTP/1.1\r\nX: " + std::string(kMaxHead, 'a') + "\r\nNoColon\r\n\r\n", 431},
    {"GET / HTTP/1.1\r\nNoColon\r\nContent-Length: 99999999\r\n\r\n", 400},
    // Host (RFC 9112 section 3.2): an HTTP/1.1 request has exactly one, naming a host.
    {"GET / HTTP/1.1\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nHost: a\r\nhost: a\r\n\r\n", 400},
    {"GET / HTTP/1.0\r\nHost: a\r\nHost: b\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nHost: a b\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nHost: a/b\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nHost: user@a\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nHost: a:80x\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nHost: [::1\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nHost: []\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nHost: [::1]x\r\n\r\n", 400},
    // Absolute forms of other schemes, or without a host.
    {"GET ftp://a/ HTTP/1.1\r\nHost: a\r\n\r\n", 400},
    {"GET http:///x HTTP/1.1\r\nHost: a\r\n\r\n", 400},
    {"GET http://a@b/x HTTP/1.1\r\nHost: a\r\n\r\n", 400},
    {"OPTIONS * HTTP/1.1\r\nHost: a\r\n\r\n", 400},
    {"GET / HTTP/1.1\r\nHost: a\r\nExpect: 200-ok\r\n\r\n", 417},
    // Refused as soon as the request line cannot be one, before any line end: a TLS
    // handshake, a bare LF, an HTTP/0.9 request, a CR out of place.
    {std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11), 400},
    {"GET /\n", 400},
    {"GET /\r\n", 400},
    {"GET / HTTP/1.1\n", 400},
    {"GET /\rX HTTP/1.1", 400},
    {" GET / HTTP/1.1", 400},
};

// Whether a text, whole, is a complete request, and the path and query it asks for.
TEST(RequestParser, TakesTheOriginAndAbsoluteFormsAndAnyHostThatIsOne) {
    const struct {
        const char* text;
        const char* path;
        const char* query;
    } cases[] = {
        {"GET /a?b HTTP/1.1\r\nHost: example.com\r\n\r\n", "/a", "b"},
        {"GET /a HTTP/1.1\r\nHost: example.com:8080\r\n\r\n", "/a", ""},
        {"GET /a HTTP/1.1\r\nHost: 127.0.0.1:80\r\n\r\n", "/a", ""},
        {"GET /a HTTP/1.1\r\nHost: [::1]:8080\r\n\r\n", "/a", ""},
        {"GET /a HTTP/1.1\r\nHost: xn--caf-dma.example%2e\r\n\r\n", "/a", ""},
        {"GET /a HTTP/1.1\r\nHost:\r\n\r\n", "/a", ""},  // for a URL without a host
        {"GET /a HTTP/1.0\r\n\r\n", "/a", ""},           // HTTP/1.0 needs none
        // The absolute form: its host is this server's (the Host field is then ignored).
        {"GET http://example.com/barcode.png?Data=x HTTP/1.1\r\nHost: y\r\n\r\n", "/barcode.png",
         "Data=x"},
        {"GET HTTPS://[::1]:8443/a%20b HTTP/1.1\r\nHost: x\r\n\r\n", "/a b", ""},
        {"GET http://h?Data=x HTTP/1.1\r\nHost: h\r\n\r\n", "/", "Data=x"},
        {"GET http://h:8080 HTTP/1.0\r\n\r\n", "/", ""},
    };
    for (const auto& c : cases) {
        RequestParser parser;
        ASSERT_EQ(parser.Parse(c.text), RequestState::kComplete) << c.text;
        EXPECT_EQ(parser.request().path, c.path) << c.text;
        EXPECT_EQ(parser.request().query, c.query) << c.text;
    }
}

TEST(RequestParser, AskedForAContinueGivesOneOnlyWhileTheBodyIsAwaited) {
    const struct {
        const char* text;
        RequestState state;
        bool continues;
    } cases[] = {
        {"POST / HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: 2\r\n",
         RequestState::kIncomplete, false},  // not before the head is whole
        {"POST / HTTP/1.1\r\nHost: x\r\nExpect: 100-Continue\r\nContent-Length: 2\r\n\r\n",
         RequestState::kIncomplete, true},
        {"POST / HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: 2\r\n\r\nab",
         RequestState::kComplete, false},
        {"POST / HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\n\r\n", RequestState::kComplete,
         false},  // no body to wait for
        {"POST / HTTP/1.0\r\nExpect: 100-continue\r\nContent-Length: 2\r\n\r\n",
         RequestState::kIncomplete, false},  // an HTTP/1.0 client knows no 100 Continue
    };
    for (const auto& c : cases) {
        RequestParser parser;
        EXPECT_EQ(parser.Parse(c.text), c.state) << c.text;
        EXPECT_EQ(parser.ExpectsContinue(), c.continues) << c.text;
    }
}

TEST(RequestParser, RefusesMalformedOrOversizedRequests) {
    for (const Refused& c : kRefused) {
        const Answer answer = Whole(c.text);
        EXPECT_EQ(answer.state, RequestState::kRefused) << c.text.substr(0, 40);
        EXPECT_EQ(answer.refusal, c.status) << c.text.substr(0, 40);
    }
    const std::string longest =
        "GET /?" + std::string(kMaxQueryLength, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n";
    EXPECT_EQ(Whole(longest).state, RequestState::kComplete);
    std::string most_headers = "GET / HTTP/1.1\r\nHost: x\r\n";
    for (std::size_t i = 1; i < kMaxHeaders; ++i) most_headers += "X-Header: value\tand more\r\n";
    EXPECT_EQ(Whole(most_headers + "\r\n").state, RequestState::kComplete);
    const std::string longest_head =
        "GET / HTTP/1.1\r\nHost: x\r\nX: " + std::string(kMaxHead - 28, 'a') + "\r\n\r\n";
    ASSERT_EQ(longest_head.size(), kMaxHead + 4);
    EXPECT_EQ(Whole(longest_head).state, RequestState::kComplete);
    EXPECT_EQ(Whole("GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello").length, 51u);
}

TEST(RequestParser, LooksNoFurtherThanOneRequestAhead) {
    // However much is buffered behind a request, the parse reads at most kMaxRequest bytes of
    // it: an unfinished head in a huge buffer is refused, not searched to its end.
    EXPECT_EQ(Whole("GET / HTTP/1.1\r\nX: " + std::string(8 * kMaxRequest, 'a')).refusal, 431);
    EXPECT_EQ(Whole("GET / HTTP/1.0\r\n\r\n" + std::string(8 * kMaxRequest, 'a')).length, 18u);
}

TEST(RequestParser, KeepAliveFollowsTheVersionAndConnectionHeader) {
    const struct {
        const char* text;
        bool keep_alive;
    } cases[] = {
        {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", true},
        {"GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", false},
        {"GET / HTTP/1.0\r\n\r\n", false},
        {"GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", true},
    };
    for (const auto& c : cases) {
        RequestParser parser;
        ASSERT_EQ(parser.Parse(c.text), RequestState::kComplete);
        EXPECT_EQ(parser.request().keep_alive, c.keep_alive) << c.text;
    }
}

// A request that arrives in pieces, into a buffer that grows (and so moves), gets the answer
// it gets in one piece, and no answer before its last byte.
TEST(RequestParser, AnswersTheSameWhateverTheReadsThatBringTheBytes) {
    std::vector<std::string> requests = {
        "GET /barcode.png?Data=A%20B HTTP/1.1\r\nHost: x\r\nAccept-Encoding: gzip\r\n\r\n",
        "POST /p HTTP/1.0\r\nConnection: keep-alive\r\nContent-Length: 5\r\n\r\nhello",
        "GET / HTTP/1.1\r\r\n\r\n",  // a CR of the line, then its end
    };
    for (const Refused& c : kRefused) requests.push_back(c.text);
    for (const std::string& text : requests) {
        RequestParser whole;
        const RequestState expected = whole.Parse(text);
        for (const std::size_t piece : {1, 2, 3, 7, 1000}) {
            RequestParser parser;
            std::string buffer;
            RequestState state = RequestState::kIncomplete;
            for (std::size_t at = 0, reads = 0;
                 at < text.size() && state == RequestState::kIncomplete; at += piece) {
                buffer += text.substr(at, piece);
                if (++reads % 64 == 0) buffer = std::string(buffer);  // moved elsewhere
                state = parser.Parse(buffer);
                if (expected == RequestState::kComplete && buffer.size() < whole.length()) {
                    EXPECT_EQ(state, RequestState::kIncomplete) << text.substr(0, 40);
                }
            }
            ASSERT_EQ(state, expected) << piece << " " << text.substr(0, 40);
            EXPECT_EQ(parser.length(), whole.length());
            EXPECT_EQ(parser.refusal(), whole.refusal());
            if (state != RequestState::kComplete) continue;
            const HttpRequest &a = parser.request(), &b = whole.request();
            EXPECT_EQ(a.method, b.method);
            EXPECT_EQ(a.path, b.path);
            EXPECT_EQ(a.query, b.query);
            EXPECT_EQ(a.headers, b.headers);
            EXPECT_EQ(a.keep_alive, b.keep_alive);
            EXPECT_EQ(a.method.data(), buffer.data());  // into the buffer of the last read
        }
    }
}

// What the parser has read it does not read again: bytes changed behind it (which a
// connection never does) are not looked at a second time.
TEST(RequestParser, GoesOnFromWhereItStopped) {
    std::string buffer = "GET / HTTP/1.1\r\nHost: x\r\nX: a\r\n";
    RequestParser parser;
    ASSERT_EQ(parser.Parse(buffer), RequestState::kIncomplete);
    buffer[buffer.find('a')] = '\x01';  // a control character, refused in a fresh read
    buffer += "\r\n";
    EXPECT_EQ(parser.Parse(buffer), RequestState::kComplete);
    EXPECT_EQ(Whole(buffer).refusal, 400);
}

TEST(RequestParser, NextReadsTheRequestThatFollows) {
    const std::string text = "GET /a HTTP/1.1\r\nHost: x\r\n\r\nHEAD /b?q HTTP/1.0\r\n\r\n";
    RequestParser parser;
    ASSERT_EQ(parser.Parse(text), RequestState::kComplete);
    const std::size_t first = parser.length();
    parser.Next();
    ASSERT_EQ(parser.Parse(std::string_view(text).substr(first)), RequestState::kComplete);
    EXPECT_EQ(parser.request().method, "HEAD");
    EXPECT_EQ(parser.request().path, "/b");
    EXPECT_EQ(parser.request().query, "q");
    EXPECT_TRUE(parser.request().headers.empty());
    EXPECT_EQ(first + parser.length(), text.size());
}

}  // namespace
