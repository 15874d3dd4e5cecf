// The two checksums of the file: CRC-32 over each chunk's type and data (png/Crc32.h), and
// Adler-32 over the scanline data inside the zlib stream.
#include "component/state/QuillonState.h"
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

// One copy of n bytes whose sum is s adds s to the low sum, and to the high sum n times the
// low sum before it plus w, the sum of the bytes' running sums. Over k copies the low sum
// grows by k·s, and the high sum by k·n·low + k·w + n·s·(0 + 1 + ... + k − 1).
void QuillonState::AdlerRepeat(const BYTE* bytes, std::size_t count, std::int32_t times) {
    if (times <= 0) return;
    const std::uint64_t low = AdlerLow;
    const std::uint64_t high = AdlerHigh;
    AdlerLow = 0;
    AdlerHigh = 0;
    AdlerUpdate(bytes, count);
    const std::uint64_t s = AdlerLow;
    const std::uint64_t w = AdlerHigh;
    const std::uint64_t k = static_cast<std::uint64_t>(times) % kAdlerModulus;
    const std::uint64_t n = count % kAdlerModulus;
    const std::uint64_t steps =
        (static_cast<std::uint64_t>(times) * (static_cast<std::uint64_t>(times) - 1) / 2) %
        kAdlerModulus;
    AdlerLow = static_cast<std::uint32_t>((low + k * s) % kAdlerModulus);
    AdlerHigh = static_cast<std::uint32_t>(
        (high + k * n % kAdlerModulus * low + k * w + n * s % kAdlerModulus * steps) %
        kAdlerModulus);
}
