// The two checksums of the file: CRC-32 over each chunk's type and data (png/Crc32.h), and
// Adler-32 over the scanline data inside the zlib stream.
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
        std::size_t i = 0;
#if defined(__SSE2__)
        // 16 bytes at a time: their sum adds to the low sum, and to the high sum 16 times the
        // low sum before them plus each byte weighted by how many of the 16 steps it counts in.
        if (run >= 16) {
            const __m128i zero = _mm_setzero_si128();
            const __m128i first_weights = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
            const __m128i last_weights = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
            __m128i sums = zero;         // the bytes so far
            __m128i sums_before = zero;  // the sums before each group of 16, added up
            __m128i weighted = zero;
            for (; i + 16 <= run; i += 16) {
                const __m128i group = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
                sums_before = _mm_add_epi32(sums_before, sums);
                sums = _mm_add_epi32(sums, _mm_sad_epu8(group, zero));
                weighted = _mm_add_epi32(
                    weighted, _mm_madd_epi16(_mm_unpacklo_epi8(group, zero), first_weights));
                weighted = _mm_add_epi32(
                    weighted, _mm_madd_epi16(_mm_unpackhi_epi8(group, zero), last_weights));
            }
            const auto total = [](__m128i v) {
                v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
                v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
                return static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
            };
            high += static_cast<std::uint32_t>(i) * low + 16 * total(sums_before) + total(weighted);
            low += total(sums);
        }
#endif
        for (; i < run; ++i) {
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
