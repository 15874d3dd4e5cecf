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
// Latch to numeric compaction.
constexpr std::uint16_t kNumericLatchCodeword = 902;
// Inside text compaction: the next codeword is one byte, then text goes on in its sub-mode.
constexpr std::uint16_t kByteShiftCodeword = 913;

// ECI designators: 927 n for n up to 899; 926 with two codewords for n up to 810899; 925 with
// one codeword for n up to 811799.
constexpr std::uint16_t kEciCharacterSetCodeword = 927;
constexpr std::uint16_t kEciGeneralPurposeCodeword = 926;
constexpr std::uint16_t kEciUserDefinedCodeword = 925;
constexpr std::int32_t kEciGeneralPurposeFirst = 900;
constexpr std::int32_t kEciUserDefinedFirst = 810900;

// Macro PDF417: the control block, an optional field (followed by its designator) and the
// terminator of a set's last segment.
constexpr std::uint16_t kMacroControlBlockCodeword = 928;
constexpr std::uint16_t kMacroOptionalFieldCodeword = 923;
constexpr std::uint16_t kMacroSegmentCountField = 1;
constexpr std::uint16_t kMacroTerminatorCodeword = 922;

// Text values 0..29 are paired into one codeword 30 x first + second.
constexpr std::int32_t kTextValueBase = 30;
// The value that fills an odd count of text values (a punctuation shift with nothing after it).
constexpr std::uint16_t kTextFillerValue = 29;

inline std::uint16_t ByteLatchFor(std::int32_t byteCount) {
    return byteCount % 6 == 0 ? kByteLatchSixCodeword : kByteLatchCodeword;
}
