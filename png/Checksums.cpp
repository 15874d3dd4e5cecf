// The two checksums of the file: CRC-32 over each chunk's type and data (png/Crc32.h), and
// Adler-32 over the scanline data inside the zlib stream.
#include "component/QuillonState.h"
#include "png/Crc32.h"

namespace {
constexpr std::uint32_t kAdlerModulus = 65521;
}

void QuillonState::CrcReset() {
    Crc = 0xFFFFFFFFu;
}

void QuillonState::CrcUpdate(const BYTE* bytes, std::size_t count) {
    Crc = Crc32Update(Crc, bytes, count);
}

void QuillonState::AdlerUpdate(const BYTE* bytes, std::size_t count) {
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
        low %= kAdlerModulus;
        high %= kAdlerModulus;
        bytes += run;
        count -= run;
    }
    AdlerLow = low;
    AdlerHigh = high;
}
