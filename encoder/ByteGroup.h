// Byte compaction's group: six bytes, a number below 2^48 < 900^5, become its five base-900
// digits, most significant first.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

constexpr std::int32_t kByteGroupBytes = 6;
constexpr std::int32_t kByteGroupCodewords = 5;

inline void WriteByteGroup(const BYTE* bytes, std::uint16_t* out) {
    std::uint64_t v = 0;
    for (std::int32_t b = 0; b < kByteGroupBytes; ++b) v = v * 256 + bytes[b];
    for (std::int32_t d = kByteGroupCodewords - 1; d >= 0; --d) {
        out[d] = static_cast<std::uint16_t>(v % 900);
        v /= 900;
    }
}
