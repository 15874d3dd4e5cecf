// The gzip content coding: what clients accept, and what zlib's own inflate reads back.
#include <gtest/gtest.h>

#include <string>

#include "hosts/serve/Gzip.h"
#include "tests/hosts/Gunzip.h"

namespace {

TEST(AcceptsGzip, FollowsTheListAndItsWeights) {
    const struct {
        const char* accept_encoding;
        bool gzip;
    } cases[] = {
        {"", false},
        {"gzip", true},
        {"GZip", true},
        {"deflate, gzip;q=0.5, br", true},
        {"gzip;q=0", false},
        {"gzip; q=0.000", false},
        {"gzip;q=0.001", true},
        {"x-gzip", true},
        {"*", true},
        {"*;q=0", false},
        {"*, gzip;q=0", false},  // named beats the wildcard
        {"identity", false},
        {"br, deflate", false},
        {" ; ,gzip", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AcceptsGzip(c.accept_encoding), c.gzip) << c.accept_encoding;
    }
}

TEST(Gzip, DecodesToTheSameBytes) {
    std::string binary;
    for (int i = 0; i < 100000; ++i) binary += static_cast<char>((i * 7919) % 251);
    for (const std::string& data :
         {std::string(), std::string("x"), std::string(300000, '\0'), binary}) {
        const std::string packed = Gzip(data);
        ASSERT_GE(packed.size(), 18u);  // header and trailer at least
        EXPECT_EQ(packed.substr(0, 2), "\x1f\x8b");
        EXPECT_EQ(Gunzip(packed), data);
    }
}

}  // namespace
