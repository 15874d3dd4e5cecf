#include <gtest/gtest.h>

#include <string>

#include "hosts/serve/HttpMessage.h"
#include "hosts/serve/QueryString.h"

namespace {

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

// The answer cache's key holds the query as the page reads it: two queries write the same
// key exactly when they give the same pairs, however they spell them.
TEST(ParseQuery, TwoQueriesWriteTheSameKeyExactlyWhenTheyGiveTheSamePairs) {
    const char* queries[] = {"Data=a+b",   "Data=a%20b", "&Data=a%20b&&", "data=a+b", "Data=a&b",
                             "Data=a%26b", "Data",       "Data=",         "a=b=c",    "a=b%3Dc",
                             "a%3Db=c",    "a=b&c=d",    "a=b%26c%3Dd",   "a=%00",    "a=%00%00"};
    for (const char* first : queries) {
        for (const char* second : queries) {
            std::string one, other;
            AppendParsedQuery(first, &one);
            AppendParsedQuery(second, &other);
            EXPECT_EQ(one == other, ParseQuery(first) == ParseQuery(second))
                << first << " and " << second;
        }
    }
}

TEST(AppendResponse, CarriesLengthAndConnection) {
    HttpResponse response = HttpResponse::Text(422, "does not fit");
    response.headers.emplace_back("ETag", "\"1\"");
    const auto written = [&](bool keep_alive, bool head_only) {
        std::string out;
        AppendResponse(response, keep_alive, head_only, &out);
        return out;
    };
    const std::string text = written(false, false);
    EXPECT_EQ(text.rfind("HTTP/1.1 422 Unprocessable Content\r\n", 0), 0u);
    EXPECT_NE(text.find("Content-Length: 13\r\n"), std::string::npos);
    EXPECT_NE(text.find("ETag: \"1\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("Connection: close\r\n\r\ndoes not fit\n"), std::string::npos);
    const std::string head = written(true, true);
    EXPECT_NE(head.find("Content-Length: 13\r\n"), std::string::npos);
    EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");  // HEAD: no body
}

}  // namespace
