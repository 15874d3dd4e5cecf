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
        {"GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
        {"GET / HTTP/1.1\r\nContent-Length: x\r\n\r\n", 400},
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
