// The entity tags' hash: a changed byte anywhere, a changed length or a moved boundary between
// the type and the body must give another hash, or a client would keep a stale picture.
#include "hosts/serve/ContentHash.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// Lengths around the 8-byte steps and the 32-byte rounds, two rounds and a partial last step
// included.
constexpr std::size_t kLongest = 73;

std::string Text(std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<char>('a' + i % 26));
    return text;
}

TEST(ContentHash, EveryFlippedBitChangesTheHash) {
    for (std::size_t length = 1; length <= kLongest; ++length) {
        const std::string original = Text(length);
        const std::uint64_t expected = ContentHash(original);
        for (std::size_t byte = 0; byte < length; ++byte) {
            for (int bit = 0; bit < 8; ++bit) {
                std::string changed = original;
                changed[byte] = static_cast<char>(changed[byte] ^ (1 << bit));
                EXPECT_NE(ContentHash(changed), expected)
                    << "length " << length << ", byte " << byte << ", bit " << bit;
            }
        }
    }
}

TEST(ContentHash, TrailingZerosAndTheLengthCount) {
    std::set<std::uint64_t> seen;
    for (std::size_t length = 0; length <= kLongest; ++length) {
        EXPECT_TRUE(seen.insert(ContentHash(std::string(length, '\0'))).second) << length;
    }
}

TEST(ContentHash, TheBoundaryBetweenTwoPartsCounts) {
    const std::string whole = "image/pngPNGDATA";
    std::set<std::uint64_t> seen;
    for (std::size_t split = 0; split <= whole.size(); ++split) {
        const std::string first = whole.substr(0, split);
        const std::string second = whole.substr(split);
        EXPECT_TRUE(seen.insert(ContentHash(second, ContentHash(first))).second) << split;
    }
}

TEST(ContentHash, SameBytesSameHashWherever) {
    const std::string text = Text(kLongest);
    for (std::size_t offset = 0; offset < 8; ++offset) {
        const std::string shifted = std::string(offset, 'x') + text;
        EXPECT_EQ(ContentHash(std::string_view(shifted).substr(offset)), ContentHash(text));
    }
}

}  // namespace
