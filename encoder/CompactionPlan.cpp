// The compaction choice's search: the cheapest way through the data, byte by byte, over the
// states of encoder/CompactionPlan.h (a shortest path; every transition costs what it writes).
#include "encoder/CompactionPlan.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::int32_t kUnreached = std::numeric_limits<std::int32_t>::max() / 2;
// A latch and the first byte or digit after it.
constexpr std::int32_t kLatchAndFirst = 4;

bool IsDigit(BYTE byte) {
    return byte >= '0' && byte <= '9';
}

// What the next byte or digit costs in a segment that holds `count` of them (modulo the group).
std::int32_t ByteCost(std::int32_t count) {
    return count % kByteStates == kByteStates - 1 ? 0 : 2;
}
std::int32_t DigitCost(std::int32_t count) {
    return count == 0 || (count + 1) % 3 == 0 ? 2 : 0;
}

// The column of the trail that records where the way to `to` came from, or −1 for the states
// that only one state leads to.
std::int32_t TrailColumn(PlanState to) {
    if (IsTextState(to)) return to;
    if (to == ByteState(1)) return kByteEntryColumn;
    if (to == NumericState(1)) return kNumericEntryColumn;
    return -1;
}

class Step {
public:
    Step(std::int32_t* next, std::uint8_t* trail) : next_(next), trail_(trail) {
        std::fill_n(next_, kPlanStates, kUnreached);
    }
    void Reach(PlanState to, std::int32_t cost, PlanState from) {
        if (cost >= next_[to]) return;
        next_[to] = cost;
        const std::int32_t column = TrailColumn(to);
        if (column >= 0) trail_[column] = from;
    }
    // Every way to write `byte` in text from `from` at `cost` (`odd`: a value is pending),
    // the byte shift only when `byteShift`.
    void TextMoves(Submode submode, bool odd, BYTE byte, std::int32_t cost, PlanState from,
                   bool byteShift = true) {
        ForEachTextMove(submode, odd, byte, [&](const TextMove& move) {
            if (byteShift || move.kind != TextMoveKind::ByteShift) {
                Reach(TextState(move.submode, move.odd), cost + move.cost, from);
            }
        });
    }

private:
    std::int32_t* next_;
    std::uint8_t* trail_;
};

// The cheapest of the states [first, first + count) and its cost, with `extra` added to the
// cost of the odd text states (their pending value completed).
struct Cheapest {
    PlanState state = 0;
    std::int32_t cost = kUnreached;
};
Cheapest CheapestOf(const std::int32_t* cost, std::int32_t first, std::int32_t count,
                    std::int32_t oddExtra = 0) {
    Cheapest best;
    for (std::int32_t s = first; s < first + count; ++s) {
        const auto state = static_cast<PlanState>(s);
        const std::int32_t c = cost[s] + (IsTextState(state) && IsOdd(state) ? oddExtra : 0);
        if (c < best.cost) best = {state, c};
    }
    return best;
}

}  // namespace

std::int32_t QuillonState::PlanCompaction() {
    std::int32_t cost[kPlanStates];
    std::int32_t next[kPlanStates];
    std::fill_n(cost, kPlanStates, kUnreached);
    // Every PDF417 symbol starts in text compaction, Alpha. A MicroPDF417 symbol starts in
    // byte compaction: the search starts from text all the same, but its first text move costs
    // the latch to text more, and a first byte is written in byte compaction (901 b), never
    // shifted to from text it had to latch to.
    cost[TextState(Submode::Alpha, false)] = 0;
    const std::int32_t textEntry = 2 * TextEntryLength();

    for (std::int32_t i = 0; i < DataLength; ++i) {
        const BYTE byte = DataText[i];
        Step step(next, CodewordBuffer.CompactionTrail[i]);
        const bool start = i == 0 && textEntry != 0;

        // From text: any text move, or a latch to byte or numeric compaction once the pending
        // value is completed.
        for (std::int32_t s = 0; s < kTextStates; ++s) {
            if (cost[s] >= kUnreached) continue;
            const auto state = static_cast<PlanState>(s);
            step.TextMoves(SubmodeOf(state), IsOdd(state), byte, cost[s] + (start ? textEntry : 0),
                           state, !start);
        }
        const Cheapest text = CheapestOf(cost, 0, kTextStates, 1);
        const Cheapest bytes = CheapestOf(cost, kTextStates, kByteStates);
        const Cheapest digits = CheapestOf(cost, kTextStates + kByteStates, kNumericStates);

        // Going on in a byte or numeric segment.
        for (std::int32_t k = 0; k < kByteStates; ++k) {
            const std::int32_t c = cost[ByteState(k)];
            if (c < kUnreached) step.Reach(ByteState(k + 1), c + ByteCost(k), ByteState(k));
        }
        if (IsDigit(byte)) {
            for (std::int32_t k = 0; k < kNumericStates; ++k) {
                const std::int32_t c = cost[NumericState(k)];
                if (c < kUnreached) {
                    step.Reach(NumericState(k + 1), c + DigitCost(k), NumericState(k));
                }
            }
        }

        // Latches between the modes. Every state of byte or numeric compaction latches to text
        // (900, Alpha) alike, so only the cheapest of them can be the best way to do it.
        const Cheapest outside = bytes.cost <= digits.cost ? bytes : digits;
        if (outside.cost < kUnreached) {
            step.TextMoves(Submode::Alpha, false, byte, outside.cost + 2, outside.state);
        }
        const Cheapest toBytes = text.cost <= digits.cost ? text : digits;
        if (toBytes.cost < kUnreached) {
            step.Reach(ByteState(1), toBytes.cost + kLatchAndFirst, toBytes.state);
        }
        const Cheapest toDigits = text.cost <= bytes.cost ? text : bytes;
        if (IsDigit(byte) && toDigits.cost < kUnreached) {
            step.Reach(NumericState(1), toDigits.cost + kLatchAndFirst, toDigits.state);
        }
        std::copy_n(next, kPlanStates, cost);
    }

    // The end: a pending text value is completed.
    const Cheapest end = CheapestOf(cost, 0, kPlanStates, 1);

    // Back from the end, writing the way into the path column as it is read.
    PlanState state = end.state;
    for (std::int32_t i = DataLength - 1; i >= 0; --i) {
        std::uint8_t* row = CodewordBuffer.CompactionTrail[i];
        const std::int32_t column = TrailColumn(state);
        PlanState before;
        if (column >= 0) {
            before = row[column];
        } else if (IsByteState(state)) {
            before = ByteState(state - kTextStates + kByteStates - 1);
        } else {
            before = NumericState(state - kTextStates - kByteStates + kNumericStates - 1);
        }
        row[kPathColumn] = state;
        state = before;
    }
    return end.cost;
}
