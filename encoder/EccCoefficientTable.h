// The PDF417 error-correction coefficients of levels 0 to 8: for level L, the 2^(L+1)
// coefficients of the generator polynomial (x - 3)(x - 3^2)...(x - 3^k) modulo 929, lowest
// degree first, without the leading 1. The levels follow each other in one table.
#pragma once

#include <array>
#include <cstdint>

#include "component/state/SymbolLimits.h"

constexpr std::int32_t kEccLevelCount = kMaxEccLevel + 1;
constexpr std::int32_t kEccCoefficientCount = 1022;  // 2 + 4 + ... + 512

// Where the coefficients of `level` begin in the table.
constexpr std::int32_t EccTableOffset(std::int32_t level) {
    return (2 << level) - 2;
}

extern const std::array<std::int32_t, kEccCoefficientCount> EccCoefficientTable;
