// Mixed compaction: runs of text-encodable bytes in text compaction, runs of all other bytes
// in byte compaction, with latches between them. The first pass writes a value list with
// each byte run framed by markers; the second pairs the text values and writes the latches.
#include "component/state/QuillonState.h"
#include "encoder/Codewords.h"
#include "encoder/SymbolWriter.h"

namespace {

// Markers in the value list; read as signed cells, values are never negative.
constexpr std::int16_t kByteRunStart = -1;
constexpr std::int16_t kByteRunEnd = -2;

// The list's worst case is three cells per byte plus one: a text byte gives at most two
// values, and a one-byte run four cells, which alternation with text can repeat.
static_assert(3 * kMaxDataLength + 1 <= kCompactionCells);

std::int16_t Cell(const std::uint16_t* values, std::int32_t k) {
    return static_cast<std::int16_t>(values[k]);
}

}  // namespace

void QuillonState::EncodeMixedCompaction() {
    PrepareDimensioning();
    std::uint16_t* values = CodewordBuffer.CompactionValues;

    // First pass.
    TextSubmodeState submodes;
    std::int32_t n = 0;
    std::int32_t i = 0;
    while (i < DataLength) {
        if (IsTextEncodable(DataText[i])) {
            n = AppendTextValues(DataText[i], submodes, n);
            ++i;
            continue;
        }
        std::int32_t e = i + 1;
        while (e < DataLength && !IsTextEncodable(DataText[e])) ++e;
        values[n++] = static_cast<std::uint16_t>(kByteRunStart);
        values[n++] = (e - i) % 6 == 0 ? 0 : 1;
        n = AppendByteValues(i, e, n);
        values[n++] = static_cast<std::uint16_t>(kByteRunEnd);
        i = e;
        // The 900 that closes the run starts text again in Alpha.
        submodes = TextSubmodeState{};
    }

    // Second pass.
    SymbolWriter out(CodewordBuffer.SymbolCodewords, DataStartCell());
    if (TextEntryLength() != 0 && n > 0 && Cell(values, 0) >= 0) out.Write(kTextLatchCodeword);
    auto copyRun = [&](std::int32_t& k) {
        while (Cell(values, k) >= 0) out.Write(values[k++]);
        ++k;  // the run's end marker
        out.Write(kTextLatchCodeword);
    };
    auto latchFor = [&](std::int32_t flagCell) {
        return values[flagCell] == 0 ? kByteLatchSixCodeword : kByteLatchCodeword;
    };
    std::int32_t k = 0;
    while (k < n) {
        if (Cell(values, k) >= 0) {
            if (k + 1 < n && Cell(values, k + 1) >= 0) {
                out.Write(kTextValueBase * values[k] + values[k + 1]);
                k += 2;
            } else if (k + 1 == n) {
                out.Write(kTextValueBase * values[k] + kTextFillerValue);
                k += 1;
            } else {
                // An odd text value before a run is completed so the latch starts a codeword.
                out.Write(kTextValueBase * values[k] + kTextFillerValue);
                out.Write(latchFor(k + 2));
                k += 3;
                copyRun(k);
            }
        } else {
            out.Write(latchFor(k + 1));
            k += 2;
            copyRun(k);
        }
    }

    const std::int32_t c = out.Count();
    if (!DimensionData(c - DataStartCell() + FrameLength())) return;

    std::uint16_t* symbol = CodewordBuffer.SymbolCodewords;
    for (std::int32_t cell = c; cell < PadEndCell(); ++cell) symbol[cell] = kPadCodeword;
    CompleteSymbol();
}
