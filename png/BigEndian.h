// PNG and zlib store their 32-bit numbers (lengths, sizes, CRC-32, Adler-32) most significant
// byte first.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

inline void PutBigEndian32(std::uint32_t value, BYTE* out) {
    out[0] = static_cast<BYTE>(value >> 24);
    out[1] = static_cast<BYTE>(value >> 16);
    out[2] = static_cast<BYTE>(value >> 8);
    out[3] = static_cast<BYTE>(value);
}
