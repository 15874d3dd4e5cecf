// The error-correction coefficients: for k codewords, the k coefficients of the generator
// polynomial (x - 3)(x - 3^2)...(x - 3^k) modulo 929, lowest degree first, without the leading 1.
// PDF417's table holds those of levels 0 to 8 (k = 2^(L+1)), one level after the other;
// MicroPDF417's those of every k from 1 to the most any of its sizes has.
#pragma once

#include <array>
#include <cstdint>

#include "component/state/MicroPdf417.h"
#include "component/state/SymbolLimits.h"

constexpr std::int32_t kEccLevelCount = kMaxEccLevel + 1;
constexpr std::int32_t kEccCoefficientCount = 1022;  // 2 + 4 + ... + 512

// Where the coefficients of `level` begin in the table.
constexpr std::int32_t EccTableOffset(std::int32_t level) {
    return (2 << level) - 2;
}

extern const std::array<std::int32_t, kEccCoefficientCount> EccCoefficientTable;

// Where the coefficients for k codewords begin in MicroPDF417's table.
constexpr std::int32_t MicroEccTableOffset(std::int32_t k) {
    return k * (k - 1) / 2;
}
constexpr std::int32_t kMicroEccCoefficientCount = MicroEccTableOffset(kMaxMicroEccCodewords + 1);

extern const std::array<std::int32_t, kMicroEccCoefficientCount> MicroEccCoefficientTable;
