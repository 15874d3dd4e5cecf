#include <gtest/gtest.h>

#include <string>

#include "hosts/serve/HttpMessage.h"

namespace {

TEST(ParseRequest, ReadsTheRequestLineHeadersAndQuery) {
    HttpRequest request;
    const std::string text =
        "GET /barcode.png?Data=A%20B&Width=400 HTTP/1.1\r\nHost: x\r\nIf-None-Match:  \"abc\" "
        "\r\n\r\nGET / HTTP/1.1\r\n\r\n";
    const ParseResult result = ParseRequest(text, &request);
    ASSERT_EQ(result.status, ParseStatus::Complete);
    EXPECT_EQ(result.consumed, text.find("GET /", 10));  // the pipelined second request stays
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, "/barcode.png");
    EXPECT_EQ(request.query, "Data=A%20B&Width=400");
    EXPECT_EQ(request.Header("if-none-match"), "\"abc\"");
    EXPECT_TRUE(request.keep_alive);
}

TEST(ParseRequest, WaitsForAWholeHead) {
    HttpRequest request;
    EXPECT_EQ(ParseRequest("GET / HTTP/1.1\r\nHost: x\r\n", &request).status,
              ParseStatus::Incomplete);
    EXPECT_EQ(ParseRequest("GET / HTT", &request).status, ParseStatus::Incomplete);
    // A body announced but not all arrived.
    EXPECT_EQ(ParseRequest("GET / HTTP/1.1\r\nContent-Length: 4\r\n\r\nab", &request).status,
              ParseStatus::Incomplete);
}

TEST(ParseRequest, RefusesMalformedOrOversizedRequests) {
    const struct {
        std::string text;
        int status;
    } cases[] = {
        {"GET /?" + std::string(kMaxQueryLength + 1, 'a') + " HTTP/1.1\r\n\r\n", 414},
        {"GET /?" + std::string(40000, 'a'), 414},  // no line end in sight
        {"GARBAGE\r\n\r\n", 400},
        {"GET / HTTP/2.0\r\n\r\n", 505},
        {"GET nopath HTTP/1.1\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nNoColon\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nContent-Length: x\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nContent-Length:\r\n\r\n", 400},
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
    };
    for (const auto& c : cases) {
        HttpRequest request;
        const ParseResult result = ParseRequest(c.text, &request);
        EXPECT_EQ(result.status, ParseStatus::Error) << c.text.substr(0, 40);
        EXPECT_EQ(result.error_status, c.status) << c.text.substr(0, 40);
    }
    HttpRequest request;
    const std::string longest = "GET /?" + std::string(kMaxQueryLength, 'a') + " HTTP/1.1\r\n\r\n";
    EXPECT_EQ(ParseRequest(longest, &request).status, ParseStatus::Complete);
    std::string most_headers = "GET / HTTP/1.1\r\n";
    for (std::size_t i = 0; i < kMaxHeaders; ++i) most_headers += "X-Header: value\tand more\r\n";
    EXPECT_EQ(ParseRequest(most_headers + "\r\n", &request).status, ParseStatus::Complete);
    const std::string longest_head =
        "GET / HTTP/1.1\r\nX: " + std::string(kMaxHead - 19, 'a') + "\r\n\r\n";
    ASSERT_EQ(longest_head.size(), kMaxHead + 4);
    EXPECT_EQ(ParseRequest(longest_head, &request).status, ParseStatus::Complete);
    EXPECT_EQ(ParseRequest("GET / HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", &request).consumed,
              42u);
}

TEST(ParseRequest, LooksNoFurtherThanOneRequestAhead) {
    // However much is buffered behind a request, the parse reads at most kMaxRequest bytes of
    // it: an unfinished head in a huge buffer is refused, not searched to its end.
    std::string buffer = "GET / HTTP/1.1\r\nX: " + std::string(8 * kMaxRequest, 'a');
    HttpRequest request;
    EXPECT_EQ(ParseRequest(buffer, &request).error_status, 431);
    buffer = "GET / HTTP/1.1\r\n\r\n" + std::string(8 * kMaxRequest, 'a');
    EXPECT_EQ(ParseRequest(buffer, &request).consumed, 18u);
}

TEST(ParseRequest, KeepAliveFollowsTheVersionAndConnectionHeader) {
    const struct {
        const char* text;
        bool keep_alive;
    } cases[] = {
        {"GET / HTTP/1.1\r\n\r\n", true},
        {"GET / HTTP/1.1\r\nConnection: close\r\n\r\n", false},
        {"GET / HTTP/1.0\r\n\r\n", false},
        {"GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", true},
    };
    for (const auto& c : cases) {
        HttpRequest request;
        ASSERT_EQ(ParseRequest(c.text, &request).status, ParseStatus::Complete);
        EXPECT_EQ(request.keep_alive, c.keep_alive) << c.text;
    }
}

TEST(ParseQuery, DecodesPairsInOrder) {
    const auto pairs = ParseQuery("Data=a+b%2Bc&&width=1&Width=2&flag&x=%zz");
    ASSERT_EQ(pairs.size(), 5u);
    EXPECT_EQ(pairs[0], (std::pair<std::string, std::string>{"Data", "a b+c"}));
    EXPECT_EQ(pairs[1].first, "width");
    EXPECT_EQ(pairs[2].second, "2");
    EXPECT_EQ(pairs[3], (std::pair<std::string, std::string>{"flag", ""}));
    EXPECT_EQ(pairs[4].second, "%zz");  // a broken escape stays as it was
    EXPECT_EQ(PercentDecode("%E2%82%AC%4", false), "\xE2\x82\xAC%4");
}

TEST(SerializeResponse, CarriesLengthAndConnection) {
    HttpResponse response = HttpResponse::Text(422, "does not fit");
    response.headers.emplace_back("ETag", "\"1\"");
    const std::string text = SerializeResponse(response, false, false);
    EXPECT_EQ(text.rfind("HTTP/1.1 422 Unprocessable Content\r\n", 0), 0u);
    EXPECT_NE(text.find("Content-Length: 13\r\n"), std::string::npos);
    EXPECT_NE(text.find("ETag: \"1\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("Connection: close\r\n\r\ndoes not fit\n"), std::string::npos);
    const std::string head = SerializeResponse(response, true, true);
    EXPECT_NE(head.find("Content-Length: 13\r\n"), std::string::npos);
    EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");  // HEAD: no body
}

}  // namespace
