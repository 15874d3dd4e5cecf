// Text compaction: the whole data as text values, two to a codeword. Text is the mode every
// PDF417 symbol starts in, so no latch precedes the data there; a MicroPDF417 symbol starts in
// byte compaction, and its data with the latch to text.
#include "component/state/QuillonState.h"
#include "encoder/Codewords.h"

// Each byte gives at most two values (a shift or latch and the character), plus one filler.
static_assert(2 * kMaxDataLength + 1 <= kCompactionCells);

void QuillonState::EncodeTextCompaction() {
    PrepareDimensioning();

    TextSubmodeState submodes;
    std::int32_t k = 0;
    for (std::int32_t i = 0; i < DataLength; ++i) k = AppendTextValues(DataText[i], submodes, k);
    std::uint16_t* values = CodewordBuffer.CompactionValues;
    if (k % 2 != 0) values[k++] = kTextFillerValue;

    if (!DimensionData(TextEntryLength() + k / 2 + FrameLength())) return;

    // A pair 30, 0 pairs up into the pad codeword 900. After a successful dimensioning the
    // symbol holds at most 928 codewords, so these pairs stay far inside the work area.
    std::uint16_t* symbol = CodewordBuffer.SymbolCodewords;
    if (TextEntryLength() != 0) symbol[DataStartCell()] = kTextLatchCodeword;
    const std::int32_t start = DataStartCell() + TextEntryLength();
    while (start + k / 2 < PadEndCell()) {
        values[k++] = kTextValueBase;
        values[k++] = 0;
    }

    for (std::int32_t p = 0; p < k / 2; ++p) {
        symbol[start + p] =
            static_cast<std::uint16_t>(kTextValueBase * values[2 * p] + values[2 * p + 1]);
    }
    CompleteSymbol();
}
