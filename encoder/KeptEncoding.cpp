// The last encoding, kept for the next request: a page typically measures the symbol and then
// draws it, and a host sizes the picture by measuring, so most requests follow one on the same
// settings. The kept results are those EncodeData left in the state; they stand while every
// setting it reads, and Data, are what it encoded.
#include <cstring>

#include "component/state/QuillonState.h"

namespace {

// The Data text with its terminating zero: its bytes up to the first zero, at most the buffer.
std::size_t TextBytes(const BYTE* text) {
    const void* zero = std::memchr(text, 0, kDataTextSize);
    return zero == nullptr ? kDataTextSize
                           : static_cast<std::size_t>(static_cast<const BYTE*>(zero) - text) + 1;
}

}  // namespace

EncodingSettings QuillonState::CurrentEncodingSettings() const {
    EncodingSettings s;
    s.HandleTilde = HandleTilde;
    s.Mode = Mode;
    s.EccLevel = EccLevel;
    s.Columns = Columns;
    s.Rows = Rows;
    s.OptimizeCompaction = OptimizeCompaction;
    s.AutoErrorCorrection = AutoErrorCorrection;
    s.Eci = Eci;
    s.MacroSegmentIndex = MacroSegmentIndex;
    s.MacroSegmentCount = MacroSegmentCount;
    s.MacroFileId = MacroFileId;
    s.Symbology = Symbology;
    s.MicroColumns = MicroColumns;
    s.MicroRows = MicroRows;
    return s;
}

void QuillonState::EncodeUnlessKept() {
    if (KeepEncodings && EncodingKept && CurrentEncodingSettings() == KeptSettings) {
        const std::size_t bytes = TextBytes(DataText);
        if (std::memcmp(DataText, KeptDataText, bytes) == 0) return;
    }
    EncodeData();
}

// Called by EncodeData as it ends, with the settings as it left them.
void QuillonState::KeepEncoding() {
    KeptSettings = CurrentEncodingSettings();
    std::memcpy(KeptDataText, DataText, TextBytes(DataText));
    EncodingKept = TRUE;
}
