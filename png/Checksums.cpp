// The two checksums of the file: CRC-32 over each chunk's type and data, Adler-32 over the
// scanline data inside the zlib stream.
#include "component/state/QuillonState.h"
#include "png/CrcTable.h"

void QuillonState::CrcReset() {
    Crc = 0xFFFFFFFFu;
}

void QuillonState::CrcUpdate(const BYTE* bytes, std::size_t count) {
    const auto& t = CrcSliceTables;
    std::uint32_t crc = Crc;
    // Eight bytes at a step: the same register as one byte at a time, in an eighth of the
    // table look-ups that each wait for the one before.
    for (; count >= 8; count -= 8, bytes += 8) {
        const std::uint32_t low =
            crc ^ (std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                   std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^
              t[4][low >> 24] ^ t[3][bytes[4]] ^ t[2][bytes[5]] ^ t[1][bytes[6]] ^ t[0][bytes[7]];
    }
    for (std::size_t i = 0; i < count; ++i) crc = (crc >> 8) ^ CrcTable[(crc ^ bytes[i]) & 0xFF];
    Crc = crc;
}

void QuillonState::AdlerUpdate(const BYTE* bytes, std::size_t count) {
    constexpr std::uint32_t kModulus = 65521;
    // 5552 bytes is the longest run whose sums cannot overflow 32 bits before they are
    // reduced, so the result equals reducing after every byte.
    constexpr std::size_t kLongestRun = 5552;
    std::uint32_t low = AdlerLow;
    std::uint32_t high = AdlerHigh;
    while (count > 0) {
        const std::size_t run = count < kLongestRun ? count : kLongestRun;
        for (std::size_t i = 0; i < run; ++i) {
            low += bytes[i];
            high += low;
        }
        low %= kModulus;
        high %= kModulus;
        bytes += run;
        count -= run;
    }
    AdlerLow = low;
    AdlerHigh = high;
}
