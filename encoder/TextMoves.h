// Text compaction as the compaction choice sees it: every way one character can be written
// from a given sub-mode, with what it costs and where it leaves the text. Unlike the fixed
// classification of text and mixed compaction, a character here may be written in any
// sub-mode whose table holds it (a space in Alpha, Lower or Mixed; a comma in Mixed or
// Punctuation), the Punctuation sub-mode may be latched, and any byte may be written with the
// byte shift 913 without leaving text compaction.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

enum class Submode : std::uint8_t { Alpha, Lower, Mixed, Punctuation };
constexpr std::int32_t kSubmodes = 4;

// The value of `byte` in a sub-mode's table, or −1 when the table does not hold it.
std::int32_t TextValueIn(Submode submode, BYTE byte);

// The values that latch from one sub-mode to another by the shortest way (none to itself).
struct TextLatch {
    std::int32_t count;
    std::uint16_t values[2];
};
TextLatch TextLatchBetween(Submode from, Submode to);

// The sub-mode change values, as the text tables define them.
constexpr std::uint16_t kShiftToPunctuation = 29;  // in Alpha, Lower and Mixed
constexpr std::uint16_t kShiftToAlpha = 27;        // in Lower

enum class TextMoveKind : std::uint8_t {
    InPlace,    // the character's value in the current sub-mode
    Latch,      // a latch to `submode`, then the value there
    Shift,      // a one-character shift (`shift`), then the value; the sub-mode stays
    ByteShift,  // the pending value completed, then 913 and the byte as one codeword
};

struct TextMove {
    TextMoveKind kind;
    Submode submode;    // where the text is afterwards
    bool odd;           // whether a text value waits for its pair afterwards
    std::int32_t cost;  // in half codewords (text values), the completion before 913 included
    std::uint16_t shift;
    std::uint16_t value;
};

// Calls visit(TextMove) for every way to write `byte` from `from`, with `odd` telling whether a
// text value is waiting for its pair. The pending value is completed with 29 before 913: a
// punctuation shift that nothing follows in Alpha, Lower and Mixed, but a latch to Alpha in a
// latched Punctuation, which is where the text then goes on.
template <typename Visit>
void ForEachTextMove(Submode from, bool odd, BYTE byte, Visit&& visit) {
    for (std::int32_t s = 0; s < kSubmodes; ++s) {
        const auto to = static_cast<Submode>(s);
        const std::int32_t value = TextValueIn(to, byte);
        if (value < 0) continue;
        const auto v = static_cast<std::uint16_t>(value);
        if (to == from) {
            visit(TextMove{TextMoveKind::InPlace, to, !odd, 1, 0, v});
        } else {
            const std::int32_t cost = TextLatchBetween(from, to).count + 1;
            visit(TextMove{TextMoveKind::Latch, to, (cost % 2 == 1) != odd, cost, 0, v});
        }
        if (to == Submode::Punctuation && from != Submode::Punctuation) {
            visit(TextMove{TextMoveKind::Shift, from, odd, 2, kShiftToPunctuation, v});
        }
        if (to == Submode::Alpha && from == Submode::Lower) {
            visit(TextMove{TextMoveKind::Shift, from, odd, 2, kShiftToAlpha, v});
        }
    }
    const Submode after = from == Submode::Punctuation && odd ? Submode::Alpha : from;
    visit(TextMove{TextMoveKind::ByteShift, after, false, (odd ? 1 : 0) + 4, 0, byte});
}
