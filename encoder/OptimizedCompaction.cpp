// The compaction choice (OptimizeCompaction): the data written along the cheapest way the
// search of encoder/CompactionPlan.cpp found, stretch by stretch in text, byte or numeric
// compaction, then the symbol completed as every compaction completes it.
#include <algorithm>
#include <limits>

#include "encoder/ByteGroup.h"
#include "encoder/Codewords.h"
#include "encoder/CompactionPlan.h"
#include "encoder/SymbolWriter.h"

namespace {

// Pairs text values into codewords.
class TextValues {
public:
    explicit TextValues(SymbolWriter& out) : out_(out) {}
    void Put(std::uint16_t value) {
        if (pending_) {
            out_.Write(kTextValueBase * first_ + value);
            pending_ = false;
        } else {
            first_ = value;
            pending_ = true;
        }
    }
    // Completes a pending value with the filler, so that a codeword of another kind can follow.
    void Complete() {
        if (pending_) Put(kTextFillerValue);
    }

private:
    SymbolWriter& out_;
    std::uint16_t first_ = 0;
    bool pending_ = false;
};

void WriteTextMove(const TextMove& move, Submode from, BYTE byte, TextValues& text,
                   SymbolWriter& out) {
    switch (move.kind) {
        case TextMoveKind::InPlace:
            break;
        case TextMoveKind::Latch: {
            const TextLatch latch = TextLatchBetween(from, move.submode);
            for (std::int32_t v = 0; v < latch.count; ++v) text.Put(latch.values[v]);
            break;
        }
        case TextMoveKind::Shift:
            text.Put(move.shift);
            break;
        case TextMoveKind::ByteShift:
            text.Complete();
            out.Write(kByteShiftCodeword);
            out.Write(byte);
            return;
    }
    text.Put(move.value);
}

void WriteByteSegment(const BYTE* bytes, std::int32_t count, SymbolWriter& out) {
    out.Write(ByteLatchFor(count));
    std::int32_t i = 0;
    for (; count - i >= kByteGroupBytes; i += kByteGroupBytes) {
        std::uint16_t group[kByteGroupCodewords];
        WriteByteGroup(bytes + i, group);
        for (const std::uint16_t c : group) out.Write(c);
    }
    for (; i < count; ++i) out.Write(bytes[i]);
}

void WriteNumericSegment(const BYTE* digits, std::int32_t count, SymbolWriter& out) {
    out.Write(kNumericLatchCodeword);
    for (std::int32_t i = 0; i < count; i += kMaxNumericGroupDigits) {
        std::uint16_t group[kMaxNumericGroupCodewords];
        const std::int32_t n =
            WriteNumericGroup(digits + i, std::min(count - i, kMaxNumericGroupDigits), group);
        for (std::int32_t c = 0; c < n; ++c) out.Write(group[c]);
    }
}

}  // namespace

void QuillonState::EncodeOptimizedCompaction() {
    PrepareDimensioning();
    PlanCompaction();

    SymbolWriter out(CodewordBuffer.SymbolCodewords, DataStartCell());
    TextValues text(out);
    // A MicroPDF417 symbol starts in byte compaction: text, too, begins with its latch.
    bool inText = TextEntryLength() == 0;
    PlanState state = TextState(Submode::Alpha, false);
    std::int32_t i = 0;
    while (i < DataLength) {
        const PlanState next = CodewordBuffer.CompactionTrail[i][kPathColumn];
        if (!IsTextState(next)) {
            // A whole byte or numeric segment: the states after each of its bytes.
            const bool bytes = IsByteState(next);
            std::int32_t end = i + 1;
            while (end < DataLength) {
                const PlanState after = CodewordBuffer.CompactionTrail[end][kPathColumn];
                if (IsTextState(after) || IsByteState(after) != bytes) break;
                ++end;
            }
            if (inText) text.Complete();
            inText = false;
            (bytes ? WriteByteSegment : WriteNumericSegment)(DataText + i, end - i, out);
            i = end;
            continue;
        }

        PlanState from = state;
        if (!inText) {
            out.Write(kTextLatchCodeword);  // back to text, Alpha
            from = TextState(Submode::Alpha, false);
            inText = true;
        }
        // The search kept the cheapest move from `from` to `next`; find it again.
        const BYTE byte = DataText[i];
        TextMove chosen{};
        std::int32_t cheapest = std::numeric_limits<std::int32_t>::max();
        ForEachTextMove(SubmodeOf(from), IsOdd(from), byte, [&](const TextMove& move) {
            if (TextState(move.submode, move.odd) == next && move.cost < cheapest) {
                cheapest = move.cost;
                chosen = move;
            }
        });
        WriteTextMove(chosen, SubmodeOf(from), byte, text, out);
        state = next;
        ++i;
    }
    if (inText) text.Complete();

    const std::int32_t c = out.Count();
    if (!DimensionData(c - DataStartCell() + FrameLength())) return;

    std::uint16_t* symbol = CodewordBuffer.SymbolCodewords;
    for (std::int32_t cell = c; cell < PadEndCell(); ++cell) symbol[cell] = kPadCodeword;
    CompleteSymbol();
}
