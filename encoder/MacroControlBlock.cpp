// The Macro PDF417 control block, which makes the symbol one segment of a set that a reader
// joins: the segment index, the set's file ID, the optional segment count and, on the last
// segment of a counted set, the terminator. It ends the data, after the pad codewords, where
// a reader stops reading data.
#include "component/state/QuillonState.h"
#include "encoder/Codewords.h"
#include "encoder/NumericCompaction.h"

namespace {

// The index and the count are written as five digits in numeric compaction (so "1" and five
// digits, below 900^2: two codewords).
constexpr std::int32_t kMacroNumberDigits = 5;
constexpr std::int32_t kMacroNumberCodewords = NumericGroupLength(kMacroNumberDigits);

std::int32_t WriteMacroNumber(std::int32_t value, std::uint16_t* out) {
    BYTE digits[kMacroNumberDigits];
    for (std::int32_t d = kMacroNumberDigits - 1; d >= 0; --d, value /= 10) {
        digits[d] = static_cast<BYTE>('0' + value % 10);
    }
    return WriteNumericGroup(digits, kMacroNumberDigits, out);
}

}  // namespace

bool QuillonState::MacroSettingsAreConsistent() const {
    return MacroSegmentIndex == kNoMacroSegment || MacroSegmentCount == kNoMacroSegmentCount ||
           MacroSegmentIndex < MacroSegmentCount;
}

std::int32_t QuillonState::MacroControlBlockLength() const {
    if (MacroSegmentIndex == kNoMacroSegment) return 0;
    std::int32_t length = 1 + kMacroNumberCodewords + MacroFileId.Count;
    if (MacroSegmentCount != kNoMacroSegmentCount) {
        length += 2 + kMacroNumberCodewords;
        if (MacroSegmentIndex == MacroSegmentCount - 1) length += 1;
    }
    return length;
}

void QuillonState::WriteMacroControlBlock(std::int32_t firstCell) {
    if (MacroSegmentIndex == kNoMacroSegment) return;
    std::uint16_t* cell = CodewordBuffer.SymbolCodewords + firstCell;
    *cell++ = kMacroControlBlockCodeword;
    cell += WriteMacroNumber(MacroSegmentIndex, cell);
    for (std::int32_t g = 0; g < MacroFileId.Count; ++g) *cell++ = MacroFileId.Values[g];
    if (MacroSegmentCount != kNoMacroSegmentCount) {
        *cell++ = kMacroOptionalFieldCodeword;
        *cell++ = kMacroSegmentCountField;
        cell += WriteMacroNumber(MacroSegmentCount, cell);
        if (MacroSegmentIndex == MacroSegmentCount - 1) *cell++ = kMacroTerminatorCodeword;
    }
}
