// The coefficient table is computed by the compiler from the generator-polynomial rule, so
// it cannot drift from the rule through a mistyped constant.
#include "encoder/EccCoefficientTable.h"

#include "component/state/SymbolLimits.h"

namespace {

constexpr std::int32_t kRootBase = 3;

constexpr std::array<std::int32_t, kEccCoefficientCount> BuildEccCoefficientTable() {
    std::array<std::int32_t, kEccCoefficientCount> table{};
    for (std::int32_t level = 0; level < kEccLevelCount; ++level) {
        const std::int32_t k = 2 << level;
        // g[j] is the coefficient of x^j; start from the constant polynomial 1.
        std::array<std::int32_t, kMaxEccCodewords + 1> g{};
        g[0] = 1;
        std::int32_t root = 1;
        for (std::int32_t degree = 1; degree <= k; ++degree) {
            root = root * kRootBase % kCodewordModulus;
            // Multiply by (x - root): every coefficient moves up one degree, minus root times
            // its old value.
            for (std::int32_t j = degree; j >= 1; --j) {
                g[j] = (g[j - 1] + kCodewordModulus - root * g[j] % kCodewordModulus) %
                       kCodewordModulus;
            }
            g[0] = (kCodewordModulus - root * g[0] % kCodewordModulus) % kCodewordModulus;
        }
        for (std::int32_t j = 0; j < k; ++j) table[EccTableOffset(level) + j] = g[j];
    }
    return table;
}

}  // namespace

constexpr std::array<std::int32_t, kEccCoefficientCount> EccCoefficientTable =
    BuildEccCoefficientTable();
