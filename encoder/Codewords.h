// Codewords with a fixed meaning in the sequences the encoder writes.
#pragma once

#include <cstdint>

// Latches back to text compaction; the same value fills a symbol up to its size.
constexpr std::uint16_t kTextLatchCodeword = 900;
constexpr std::uint16_t kPadCodeword = 900;
// Latch to byte compaction for a byte count that is not a multiple of six.
constexpr std::uint16_t kByteLatchCodeword = 901;
// Latch to byte compaction for a byte count that is a multiple of six (zero included).
constexpr std::uint16_t kByteLatchSixCodeword = 924;

// Text values 0..29 are paired into one codeword 30 x first + second.
constexpr std::int32_t kTextValueBase = 30;
// The value that fills an odd count of text values (a punctuation shift with nothing after it).
constexpr std::uint16_t kTextFillerValue = 29;

inline std::uint16_t ByteLatchFor(std::int32_t byteCount) {
    return byteCount % 6 == 0 ? kByteLatchSixCodeword : kByteLatchCodeword;
}
