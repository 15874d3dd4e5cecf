// The encoder's entry: the exact bytes to encode, the Mode fallback, and the compaction that
// Mode selects.
#include <cstdint>
#include <cstring>

#include "component/state/QuillonState.h"

namespace {

// Bytes before the first zero, never more than DataText can hold as text: the accessors keep
// the zero inside the buffer, but a scan that trusted that blindly would run off its end.
std::int32_t TextLength(const BYTE* text) {
    const void* zero = std::memchr(text, 0, kMaxDataLength);
    return zero == nullptr ? kMaxDataLength
                           : static_cast<std::int32_t>(static_cast<const BYTE*>(zero) - text);
}

}  // namespace

void QuillonState::EncodeData() {
    // A segment numbered beyond its own set's count would mislead every reader that joins it.
    if (!MacroSettingsAreConsistent()) {
        LastFit = SymbolFit::MacroSegmentOutsideSet;
    } else {
        PrepareData();
        CompactData();
        if (HandleTilde) RestoreDataText();
    }
    KeepEncoding();
}

void QuillonState::PrepareData() {
    RestoreColumnsSetting();
    if (HandleTilde) {
        ExpandTildeEscapes();
    } else {
        DataLength = TextLength(DataText);
    }
}

void QuillonState::CompactData() {
    if (OptimizeCompaction) {
        // Mode is not used, so the fallback below does not touch it either.
        EncodeOptimizedCompaction();
        return;
    }
    if (Mode == 1) {
        for (std::int32_t i = 0; i < DataLength; ++i) {
            if (!IsTextEncodable(DataText[i])) {
                Mode = 2;  // stays: a later Mode get reports the compaction actually used
                break;
            }
        }
    }
    switch (Mode) {
        case 0:
            EncodeByteCompaction();
            break;
        case 1:
            EncodeTextCompaction();
            break;
        default:
            EncodeMixedCompaction();
            break;
    }
}

void QuillonState::ExpandTildeEscapes() {
    const std::int32_t n = TextLength(DataText);
    std::memcpy(DataScratch, DataText, static_cast<std::size_t>(n));
    DataScratch[n] = 0;

    // The expansion never lengthens the text, so it can be written over DataText in place
    // while the untouched copy in DataScratch is read. Nothing terminates the result: every
    // reader takes exactly DataLength bytes, and a '~d000' puts a zero byte inside the data.
    // The bytes before the first tilde are the text's own and stay where they are.
    const void* tilde = std::memchr(DataText, '~', static_cast<std::size_t>(n));
    DataLength = tilde == nullptr
                     ? n
                     : static_cast<std::int32_t>(static_cast<const BYTE*>(tilde) - DataText);
    std::int32_t i = DataLength;
    while (i < n) {
        const bool escape = DataScratch[i] == '~' && HandleTilde && i < n - 4 &&
                            (DataScratch[i + 1] == 'd' || DataScratch[i + 1] == 'D');
        if (!escape) {
            DataText[DataLength++] = DataScratch[i];
            ++i;
            continue;
        }
        // The digits are not checked: any three bytes count, taken as signed values, and
        // whatever falls outside 0..255 becomes 255.
        const std::int32_t d1 = static_cast<std::int8_t>(DataScratch[i + 2]);
        const std::int32_t d2 = static_cast<std::int8_t>(DataScratch[i + 3]);
        const std::int32_t d3 = static_cast<std::int8_t>(DataScratch[i + 4]);
        std::int32_t v = ((d1 - '0') * 10 + (d2 - '0')) * 10 + (d3 - '0');
        if (v < 0 || v > 255) v = 255;
        DataText[DataLength++] = static_cast<BYTE>(v);
        i += 5;
    }
}

void QuillonState::RestoreDataText() {
    const std::int32_t m = TextLength(DataScratch);
    std::memcpy(DataText, DataScratch, static_cast<std::size_t>(m));
    DataText[m] = 0;
}
