// The coefficient tables are computed by the compiler from the generator-polynomial rule, so
// they cannot drift from the rule through a mistyped constant.
#include "encoder/EccCoefficientTable.h"

#include "component/state/SymbolLimits.h"

namespace {

constexpr std::int32_t kRootBase = 3;

// Writes the k coefficients of (x - 3)(x - 3^2)...(x - 3^k) below the leading 1, lowest degree
// first, to `out`.
constexpr void WriteGeneratorCoefficients(std::int32_t k, std::int32_t* out) {
    // g[j] is the coefficient of x^j; start from the constant polynomial 1.
    std::array<std::int32_t, kMaxEccCodewords + 1> g{};
    g[0] = 1;
    std::int32_t root = 1;
    for (std::int32_t degree = 1; degree <= k; ++degree) {
        root = root * kRootBase % kCodewordModulus;
        // Multiply by (x - root): every coefficient moves up one degree, minus root times its
        // old value.
        for (std::int32_t j = degree; j >= 1; --j) {
            g[j] =
                (g[j - 1] + kCodewordModulus - root * g[j] % kCodewordModulus) % kCodewordModulus;
        }
        g[0] = (kCodewordModulus - root * g[0] % kCodewordModulus) % kCodewordModulus;
    }
    for (std::int32_t j = 0; j < k; ++j) out[j] = g[j];
}

constexpr std::array<std::int32_t, kEccCoefficientCount> BuildEccCoefficientTable() {
    std::array<std::int32_t, kEccCoefficientCount> table{};
    for (std::int32_t level = 0; level < kEccLevelCount; ++level) {
        WriteGeneratorCoefficients(2 << level, table.data() + EccTableOffset(level));
    }
    return table;
}

constexpr std::array<std::int32_t, kMicroEccCoefficientCount> BuildMicroEccCoefficientTable() {
    std::array<std::int32_t, kMicroEccCoefficientCount> table{};
    for (std::int32_t k = 1; k <= kMaxMicroEccCodewords; ++k) {
        WriteGeneratorCoefficients(k, table.data() + MicroEccTableOffset(k));
    }
    return table;
}

}  // namespace

constexpr std::array<std::int32_t, kEccCoefficientCount> EccCoefficientTable =
    BuildEccCoefficientTable();
constexpr std::array<std::int32_t, kMicroEccCoefficientCount> MicroEccCoefficientTable =
    BuildMicroEccCoefficientTable();
