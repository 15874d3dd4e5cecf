// Reed-Solomon error correction over the integers modulo 929: the remainder of the data
// polynomial divided by the generator polynomial, negated, follows the data.
#include "component/state/QuillonState.h"
#include "encoder/EccCoefficientTable.h"

std::int32_t QuillonState::EccCoefficient(std::int32_t j) const {
    return EccCoefficientTable[EccTableOffset(EccLevel) + j];
}

void QuillonState::ComputeErrorCorrection() {
    const std::int32_t k = EccCount();
    std::uint16_t* e = CodewordBuffer.EccScratch;
    std::uint16_t* symbol = CodewordBuffer.SymbolCodewords;
    for (std::int32_t j = 0; j < k; ++j) e[j] = 0;

    // Every intermediate value stays below 929 x 929 and is never negative before a modulo.
    const std::int32_t dataCount = CodewordCount - k;
    for (std::int32_t i = 0; i < dataCount; ++i) {
        const std::int32_t t = (symbol[i] + e[k - 1]) % kCodewordModulus;
        for (std::int32_t j = k - 1; j >= 1; --j) {
            e[j] = static_cast<std::uint16_t>(
                (e[j - 1] - EccCoefficient(j) * t % kCodewordModulus + kCodewordModulus) %
                kCodewordModulus);
        }
        e[0] = static_cast<std::uint16_t>(
            (kCodewordModulus - EccCoefficient(0) * t % kCodewordModulus) % kCodewordModulus);
    }
    for (std::int32_t j = k - 1; j >= 0; --j) {
        if (e[j] != 0) e[j] = static_cast<std::uint16_t>(kCodewordModulus - e[j]);
    }
    for (std::int32_t c = 0; c < k; ++c) symbol[dataCount + c] = e[k - 1 - c];
}
