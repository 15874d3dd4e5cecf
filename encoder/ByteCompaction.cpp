// Byte compaction: the whole data as one byte segment, six bytes to five codewords.
#include "component/state/QuillonState.h"
#include "encoder/Codewords.h"

// Five codewords per six bytes and one per byte left over never outgrow one cell per byte.
static_assert(kMaxDataLength <= kCompactionCells);

std::int32_t QuillonState::AppendByteValues(std::int32_t begin, std::int32_t end,
                                            std::int32_t count) {
    std::uint16_t* values = CodewordBuffer.CompactionValues;
    std::int32_t i = begin;
    // Six bytes are below 2^48 < 900^5, so five base-900 digits always hold them.
    while (end - i >= 6) {
        std::uint64_t v = 0;
        for (std::int32_t b = 0; b < 6; ++b) v = v * 256 + DataText[i + b];
        for (std::int32_t d = 4; d >= 0; --d) {
            values[count + d] = static_cast<std::uint16_t>(v % 900);
            v /= 900;
        }
        count += 5;
        i += 6;
    }
    for (; i < end; ++i) values[count++] = DataText[i];
    return count;
}

void QuillonState::EncodeByteCompaction() {
    PrepareDimensioning();

    std::int32_t j = AppendByteValues(0, DataLength, 0);
    // Two more codewords than the data: the length descriptor and the latch.
    if (!DimensionSymbol(j + 2 + EccCount())) return;

    std::uint16_t* values = CodewordBuffer.CompactionValues;
    const std::int32_t dataEnd = CodewordCount - EccCount();
    while (j < dataEnd - 2) values[j++] = kPadCodeword;

    std::uint16_t* symbol = CodewordBuffer.SymbolCodewords;
    symbol[0] = static_cast<std::uint16_t>(dataEnd);
    symbol[1] = ByteLatchFor(DataLength);
    for (std::int32_t c = 0; c < j; ++c) symbol[2 + c] = values[c];
    ComputeErrorCorrection();
}
