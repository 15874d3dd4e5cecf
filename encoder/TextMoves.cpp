#include "encoder/TextMoves.h"

#include <array>

namespace {

// The four text tables, value by value. Alpha and Lower hold the letters at 0..25 and the
// space at 26, Mixed the space at 26 as well; 25..29 of Mixed and 29 of Punctuation are
// sub-mode changes, not characters.
constexpr char kMixedTable[] = "0123456789&\r\t,:#-.$/+%*=^";
constexpr char kPunctuationTable[] = ";<>@[\\]_`~!\r\t,:\n-.$/\"|*()?{}'";
constexpr std::int32_t kSpaceValue = 26;

using ValueTable = std::array<std::array<std::int8_t, 256>, kSubmodes>;

constexpr ValueTable BuildValueTable() {
    ValueTable table{};
    for (auto& submode : table) submode.fill(-1);
    auto& alpha = table[static_cast<int>(Submode::Alpha)];
    auto& lower = table[static_cast<int>(Submode::Lower)];
    auto& mixed = table[static_cast<int>(Submode::Mixed)];
    auto& punctuation = table[static_cast<int>(Submode::Punctuation)];
    for (int v = 0; v < 26; ++v) {
        alpha['A' + v] = static_cast<std::int8_t>(v);
        lower['a' + v] = static_cast<std::int8_t>(v);
    }
    for (int v = 0; kMixedTable[v] != 0; ++v) {
        mixed[static_cast<unsigned char>(kMixedTable[v])] = static_cast<std::int8_t>(v);
    }
    for (int v = 0; kPunctuationTable[v] != 0; ++v) {
        punctuation[static_cast<unsigned char>(kPunctuationTable[v])] = static_cast<std::int8_t>(v);
    }
    alpha[' '] = lower[' '] = mixed[' '] = kSpaceValue;
    return table;
}

constexpr ValueTable kValues = BuildValueTable();

// Latches: Alpha–Lower 27, Alpha/Lower–Mixed 28, Mixed–Alpha 28, Mixed–Lower 27,
// Mixed–Punctuation 25, Punctuation–Alpha 29. Lower has no latch to Alpha (27 there is a
// shift), so it goes through Mixed; Punctuation reaches the others through Alpha.
constexpr TextLatch kLatches[kSubmodes][kSubmodes] = {
    // from Alpha
    {{0, {}}, {1, {27}}, {1, {28}}, {2, {28, 25}}},
    // from Lower
    {{2, {28, 28}}, {0, {}}, {1, {28}}, {2, {28, 25}}},
    // from Mixed
    {{1, {28}}, {1, {27}}, {0, {}}, {1, {25}}},
    // from Punctuation
    {{1, {29}}, {2, {29, 27}}, {2, {29, 28}}, {0, {}}},
};

}  // namespace

std::int32_t TextValueIn(Submode submode, BYTE byte) {
    return kValues[static_cast<int>(submode)][byte];
}

TextLatch TextLatchBetween(Submode from, Submode to) {
    return kLatches[static_cast<int>(from)][static_cast<int>(to)];
}
