// Byte compaction: the whole data as one byte segment, six bytes to five codewords.
#include "component/state/QuillonState.h"
#include "encoder/ByteGroup.h"
#include "encoder/Codewords.h"

// Five codewords per six bytes and one per byte left over never outgrow one cell per byte.
static_assert(kMaxDataLength <= kCompactionCells);

std::int32_t QuillonState::AppendByteValues(std::int32_t begin, std::int32_t end,
                                            std::int32_t count) {
    std::uint16_t* values = CodewordBuffer.CompactionValues;
    std::int32_t i = begin;
    while (end - i >= kByteGroupBytes) {
        WriteByteGroup(DataText + i, values + count);
        count += kByteGroupCodewords;
        i += kByteGroupBytes;
    }
    for (; i < end; ++i) values[count++] = DataText[i];
    return count;
}

void QuillonState::EncodeByteCompaction() {
    PrepareDimensioning();

    std::int32_t j = AppendByteValues(0, DataLength, 0);
    // One more codeword than the data and the frame: the latch.
    if (!DimensionData(1 + j + FrameLength())) return;

    // The latch, then the data and pad codewords up to the pad end.
    std::uint16_t* values = CodewordBuffer.CompactionValues;
    const std::int32_t latchCell = DataStartCell();
    while (latchCell + 1 + j < PadEndCell()) values[j++] = kPadCodeword;

    std::uint16_t* symbol = CodewordBuffer.SymbolCodewords;
    symbol[latchCell] = ByteLatchFor(DataLength);
    for (std::int32_t c = 0; c < j; ++c) symbol[latchCell + 1 + c] = values[c];
    CompleteSymbol();
}
