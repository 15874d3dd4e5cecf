// Deflate blocks from literals and matches: each block is written with fixed or dynamic
// Huffman codes, whichever takes fewer bits.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "library/compact/BitWriter.h"

// A literal byte (distance 0), or a copy of `length` bytes (3..258) from `distance` bytes back
// (1..32768).
struct Token {
    std::uint16_t value;  // the byte, or the length
    std::uint16_t distance;
};

constexpr int kShortestMatch = 3;
constexpr int kLongestMatch = 258;

constexpr int kLiteralLengthSymbols = 286;
constexpr int kDistanceSymbols = 30;

struct Code {
    std::uint16_t symbol;
    std::uint8_t extra_bits;
    std::uint16_t extra;
};

constexpr Code LengthCode(int length) {
    if (length == kLongestMatch) return {285, 0, 0};
    const int v = length - kShortestMatch;
    if (v < 8) return {static_cast<std::uint16_t>(257 + v), 0, 0};
    const int top = std::bit_width(static_cast<unsigned>(v)) - 1;
    return {static_cast<std::uint16_t>(257 + 4 * (top - 1) + ((v >> (top - 2)) & 3)),
            static_cast<std::uint8_t>(top - 2),
            static_cast<std::uint16_t>(v & ((1 << (top - 2)) - 1))};
}

constexpr Code DistanceCode(int distance) {
    const int v = distance - 1;
    if (v < 4) return {static_cast<std::uint16_t>(v), 0, 0};
    const int top = std::bit_width(static_cast<unsigned>(v)) - 1;
    return {static_cast<std::uint16_t>(2 * top + ((v >> (top - 1)) & 1)),
            static_cast<std::uint8_t>(top - 1),
            static_cast<std::uint16_t>(v & ((1 << (top - 1)) - 1))};
}

inline constexpr auto kLengthCodes = [] {
    std::array<Code, kLongestMatch + 1> codes{};
    for (int length = kShortestMatch; length <= kLongestMatch; ++length)
        codes[length] = LengthCode(length);
    return codes;
}();

// The tokens of one block, counted by symbol as they come.
class TokenBlock {
public:
    // Up to `most` tokens before the block is full.
    explicit TokenBlock(std::size_t most) : tokens_(new Token[most]), most_(most) {}
    std::size_t room() const { return most_ - count_; }
    void Literal(std::uint8_t byte) {
        tokens_[count_++] = {byte, 0};
        ++literal_counts_[byte];
    }
    void Match(int length, int distance) {
        tokens_[count_++] = {static_cast<std::uint16_t>(length),
                             static_cast<std::uint16_t>(distance)};
        ++literal_counts_[kLengthCodes[length].symbol];
        ++distance_counts_[DistanceCode(distance).symbol];
    }
    // Writes the block, fixed or dynamic, and empties it for the next.
    void Write(bool last, BitWriter* out);

private:
    std::unique_ptr<Token[]> tokens_;
    std::size_t most_;
    std::size_t count_ = 0;
    std::array<std::uint32_t, kLiteralLengthSymbols> literal_counts_{};
    std::array<std::uint32_t, kDistanceSymbols> distance_counts_{};
};
