// Numeric compaction: a group of up to 44 digits becomes the base-900 digits of the number that
// a 1 put in front of the digits makes, most significant first.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

constexpr std::int32_t kMaxNumericGroupDigits = 44;
// Codewords of a group: with the leading 1, d digits make a number below 2 × 10^d, which d ÷ 3
// + 1 base-900 digits always hold and d ÷ 3 never do. 44 digits take 15.
constexpr std::int32_t kMaxNumericGroupCodewords = kMaxNumericGroupDigits / 3 + 1;
constexpr std::int32_t NumericGroupLength(std::int32_t digits) {
    return digits / 3 + 1;
}

// Writes the group of `count` (1..44) ASCII digits to `out`; returns the codewords written,
// NumericGroupLength(count) of them.
std::int32_t WriteNumericGroup(const BYTE* digits, std::int32_t count, std::uint16_t* out);
