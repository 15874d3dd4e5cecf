// Reed-Solomon error correction over the integers modulo 929: the remainder of the data
// polynomial divided by the generator polynomial, negated, follows the data.
#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "component/state/QuillonState.h"
#include "encoder/EccCoefficientTable.h"

std::int32_t QuillonState::EccCoefficient(std::int32_t j) const {
    if (IsMicroPdf417()) return MicroEccCoefficientTable[MicroEccTableOffset(EccCount()) + j];
    return EccCoefficientTable[EccTableOffset(SymbolEccLevel()) + j];
}

// The division register e[0..k−1]: each data codeword d gives t = (d + e[k−1]) mod 929, then
// e[j] becomes e[j−1] − a[j]·t and e[0] becomes −a[0]·t.
//
// Two things make it cheap. The register is not shifted: it slides along `window`, where
// after step i element j is window[i + k − j], so a step only adds (929 − a[j])·t into the k
// cells after window[i], four at a time where the vector unit is there. And only t is
// reduced as it goes: a cell is read as e[k−1] after at most k additions of products below
// 929 × 929, which for k ≤ 512 stays below 2^29; the last k cells are reduced at the end.
void QuillonState::ComputeErrorCorrection() {
    const std::int32_t k = EccCount();
    const std::int32_t dataCount = CodewordCount - k;
    // Dimensioning keeps every symbol within 928 codewords, which the window is sized for.
    if (dataCount < 0 || CodewordCount > kMaxSymbolCodewords) return;
    // The negated coefficients, highest first, as a step adds them.
    std::uint32_t step[kMaxEccCodewords];
    for (std::int32_t m = 0; m < k; ++m) {
        step[m] = static_cast<std::uint32_t>((kCodewordModulus - EccCoefficient(k - 1 - m)) %
                                             kCodewordModulus);
    }
    std::uint32_t window[kMaxSymbolCodewords];
    std::fill_n(window, CodewordCount, 0u);
    const std::uint16_t* symbol = CodewordBuffer.SymbolCodewords;
    // Each t waits for the one before; the cell it is taken from is worked out in a register
    // (`next`), so that this wait is a multiply and a reduction, not a trip through memory.
    std::uint32_t next = 0;  // window[0], which no step adds to
    for (std::int32_t i = 0; i < dataCount; ++i) {
        const std::uint32_t t = (symbol[i] + next) % kCodewordModulus;
        std::uint32_t* cells = window + i + 1;
        next = cells[0] + step[0] * t;
        std::int32_t m = 0;
#if defined(__SSE2__)
        // Four cells at a time. The step and t are below 2^16, so each 32-bit lane of a
        // 16-bit multiply-add of (step, 0) and (t, 0) is their product.
        const __m128i times = _mm_set1_epi32(static_cast<int>(t));
        for (; m + 4 <= k; m += 4) {
            auto* four = reinterpret_cast<__m128i*>(cells + m);
            const __m128i products =
                _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(step + m)), times);
            _mm_storeu_si128(four, _mm_add_epi32(_mm_loadu_si128(four), products));
        }
#endif
        for (; m < k; ++m) cells[m] += step[m] * t;
    }
    // The codewords are the remainder negated, e[k−1] first: 0 stays 0, never 929.
    std::uint16_t* ecc = CodewordBuffer.SymbolCodewords + dataCount;
    std::uint16_t* scratch = CodewordBuffer.EccScratch;
    for (std::int32_t c = 0; c < k; ++c) {
        const std::uint32_t remainder = window[dataCount + c] % kCodewordModulus;
        ecc[c] = static_cast<std::uint16_t>(remainder == 0 ? 0 : kCodewordModulus - remainder);
        scratch[k - 1 - c] = ecc[c];
    }
}
