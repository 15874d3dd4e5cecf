// quillon-serve's answer cache from outside: an answer, kept once it is asked for a second
// time and sent again from the cache, is byte for byte what a server that keeps no answers
// sends; /metrics counts its hits and misses; and what it keeps gives way to the answers in
// the answer memory.
#include <gtest/gtest.h>

#include <string>

#include "tests/hosts/ServedProgram.h"

namespace {

std::string EntityTag(const std::string& answer) {
    const std::size_t at = answer.find("\r\nETag: ");
    if (at == std::string::npos) return "";
    return answer.substr(at + 8, answer.find("\r\n", at + 8) - at - 8);
}

TEST(KeptAnswers, AreTheBytesAServerThatKeepsNoneSends) {
    const Served keeping({"--port", "0", "--quiet"});
    const Served keeping_none({"--port", "0", "--quiet", "--answer-cache", "0"});
    const std::string gzip = "Accept-Encoding: gzip\r\n";
    const struct {
        std::string target;
        std::string headers;
        std::string method = "GET";
    } cases[] = {
        {"/barcode.png", ""},
        {"/barcode.png", gzip},
        {"/barcode.png", "", "HEAD"},
        {"/barcode.png", "If-None-Match: *\r\n"},
        {"/barcode.png?Data=%41+B", ""},
        {"/barcode.png?&Data=A%20B&", gzip},       // the same pairs as the one above
        {"/barcode.png?Width=0&Data=warned", ""},  // with a warning header
        {"/barcode.png?Data=" + std::string(900, '7') + "&segments=2&segment=1", ""},
        {"/barcode.svg?Data=vector", gzip},
        {"/measure?Data=abc&quietzone=5", ""},
        {"/?Data=x", gzip},
        {"/barcode.png?Colour=1", ""},  // an error, made again each time
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method + " " + c.target.substr(0, 60) + " " + c.headers);
        const std::string expected = keeping_none.Ask(c.method, c.target, c.headers);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(keeping.Ask(c.method, c.target, c.headers), expected);  // made
        EXPECT_EQ(keeping.Ask(c.method, c.target, c.headers), expected);  // made and kept
        EXPECT_EQ(keeping.Ask(c.method, c.target, c.headers), expected);  // sent again
        const std::string tag = EntityTag(expected);
        if (tag.empty()) continue;
        const std::string current = c.headers + "If-None-Match: \"other\", W/" + tag + "\r\n";
        const std::string not_modified = keeping_none.Ask(c.method, c.target, current);
        EXPECT_EQ(not_modified.rfind("HTTP/1.1 304 ", 0), 0u) << not_modified;
        EXPECT_EQ(keeping.Ask(c.method, c.target, current), not_modified);
    }
    EXPECT_GT(keeping.Metric("quillon_http_answer_cache_hits_total"), 0);
    EXPECT_EQ(keeping_none.Metric("quillon_http_answer_cache_hits_total"), -1);
}

TEST(KeptAnswers, MetricsCountHitsAndMisses) {
    const Served served({"--port", "0", "--quiet"});
    const struct {
        std::string target;
        std::string headers;
        int hit;  // 1 found, 0 looked for and not found, -1 not looked for
    } steps[] = {
        {"/barcode.png?Data=count", "", 0},
        {"/barcode.png?Data=count", "", 0},  // asked for again: kept
        {"/barcode.png?Data=count", "", 1},
        {"/barcode.png?Data=count", "Accept-Encoding: gzip\r\n", 0},  // the other form
        {"/barcode.png?Data=%63ount", "", 1},                         // the same pairs
        {"/barcode.png?Data=count&quietzone=3", "", 0},
        {"/barcode.png?Data=count&Extra=1", "", 0},  // 400: an option it does not know counts
        {"/barcode.png?Data=count&Extra=1", "", 0},  // and errors are not kept
        {"/barcode.png?Data=count&Extra=1", "", 0},
        {"/nothing", "", -1},
        {"/healthz", "", -1},
    };
    int hits = 0, misses = 0;
    for (const auto& step : steps) {
        ASSERT_FALSE(served.Ask("GET", step.target, step.headers).empty());
        hits += step.hit == 1;
        misses += step.hit == 0;
    }
    EXPECT_EQ(served.Metric("quillon_http_answer_cache_hits_total"), hits);
    EXPECT_EQ(served.Metric("quillon_http_answer_cache_misses_total"), misses);
    EXPECT_GT(served.Metric("quillon_http_answer_cache_bytes"), 2000);  // a picture at least
}

// 2 MB of answer memory, filled with kept pictures of 20 KB; then a picture of 1.1 Mpixels,
// drawn on a drawing thread, which holds 1.1 MB of it while it is made: it is drawn, and the
// kept pictures make room for it. (Its answer, above a sixteenth of the cache, is not kept,
// which would make room too.)
TEST(KeptAnswers, GiveWayToTheAnswersInTheAnswerMemory) {
    constexpr std::int64_t kMemory = 2 << 20, kLarge = 1100 * 1000;
    const Served served({"--port", "0", "--quiet", "--answer-memory", "2", "--answer-cache", "2"});
    // Pictures kept until the large one needs some of their memory: more than it leaves free.
    // (Answers being sent, or held by connections closing, take some of it meanwhile.)
    for (int i = 0; i < 1000 && served.Metric("quillon_http_answer_cache_bytes") <
                                    kMemory - kLarge + 100'000;) {
        for (const int last = i + 10; i < last; ++i) {
            for (int again = 0; again < 2; ++again) {  // kept the second time
                const std::string kept =
                    served.Get("/barcode.png?Width=400&Height=400&Data=" + std::to_string(i));
                ASSERT_EQ(kept.rfind("HTTP/1.1 200 ", 0), 0u) << kept.substr(0, 200);
            }
        }
    }
    ASSERT_GE(served.Metric("quillon_http_answer_cache_bytes"), kMemory - kLarge + 100'000);
    const std::string large = served.Get("/barcode.png?Width=1100&Height=1000&Data=large");
    EXPECT_EQ(large.rfind("HTTP/1.1 200 ", 0), 0u) << large.substr(0, 200);
    EXPECT_LE(served.Metric("quillon_http_answer_cache_bytes"), kMemory - kLarge);
}

}  // namespace
