// The states of the compaction choice's search. Two ways of writing the same first bytes of
// the data that end in the same state can be finished in exactly the same ways, at the same
// extra cost; so the cheapest way to each state after each byte is all the search keeps, and
// the cheapest way through the whole data is among them.
//
// - Text compaction: the sub-mode, and whether a text value waits for its pair (a codeword
//   holds two values, so the parity decides whether leaving text costs a filler value, and in
//   a latched Punctuation that filler is a latch to Alpha).
// - Byte compaction: the bytes of the segment so far, modulo 6. Every byte costs a codeword
//   except the sixth of each group (six bytes take five codewords).
// - Numeric compaction: the digits of the current group, modulo 44. The first digit of a
//   group and every third one after the second cost a codeword (d digits take d ÷ 3 + 1).
//
// Costs are counted in half codewords, one per text value, so that the text values and the
// codewords of the other modes add up on one scale.
#pragma once

#include <cstdint>

#include "component/state/QuillonState.h"
#include "encoder/NumericCompaction.h"
#include "encoder/TextMoves.h"

using PlanState = std::uint8_t;

constexpr std::int32_t kTextStates = 2 * kSubmodes;
constexpr std::int32_t kByteStates = 6;
constexpr std::int32_t kNumericStates = kMaxNumericGroupDigits;
constexpr std::int32_t kPlanStates = kTextStates + kByteStates + kNumericStates;

constexpr PlanState TextState(Submode submode, bool odd) {
    return static_cast<PlanState>(2 * static_cast<int>(submode) + (odd ? 1 : 0));
}
constexpr PlanState ByteState(std::int32_t bytes) {
    return static_cast<PlanState>(kTextStates + bytes % kByteStates);
}
constexpr PlanState NumericState(std::int32_t digits) {
    return static_cast<PlanState>(kTextStates + kByteStates + digits % kNumericStates);
}
constexpr bool IsTextState(PlanState s) {
    return s < kTextStates;
}
constexpr bool IsByteState(PlanState s) {
    return s >= kTextStates && s < kTextStates + kByteStates;
}
constexpr Submode SubmodeOf(PlanState text) {
    return static_cast<Submode>(text / 2);
}
constexpr bool IsOdd(PlanState text) {
    return text % 2 == 1;
}

// CompactionTrail's columns. While searching, row i holds for each text state, and for the
// first byte and the first digit of a group (the only other states that more than one state
// leads to), the state before byte i that the cheapest way to it came from. Once the way is
// chosen, the path column of row i holds the state after byte i on it.
constexpr std::int32_t kByteEntryColumn = kTextStates;
constexpr std::int32_t kNumericEntryColumn = kTextStates + 1;
constexpr std::int32_t kPathColumn = 0;
static_assert(kCompactionTrailColumns == kTextStates + 2);
