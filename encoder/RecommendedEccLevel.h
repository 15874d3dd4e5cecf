// The error-correction level recommended for a symbol's data codewords (its length descriptor
// and everything up to the error correction but the pad codewords): more data, more of the
// symbol to lose to damage. Above 863 data codewords the recommendation stays at 5.
#pragma once

#include <cstdint>

constexpr std::int32_t RecommendedEccLevel(std::int32_t dataCodewords) {
    if (dataCodewords <= 40) return 2;
    if (dataCodewords <= 160) return 3;
    if (dataCodewords <= 320) return 4;
    return 5;
}
