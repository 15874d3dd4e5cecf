// How much of the data one symbol holds, for splitting data over a Macro PDF417 set. The
// codewords a compaction needs never fall as the data grows, so the longest prefix that fits
// is found by bisection, each trial a whole compaction of the prefix.
#include "component/state/QuillonState.h"

std::int32_t QuillonState::FittingDataLength() {
    if (!MacroSettingsAreConsistent()) {
        EncodeData();
        return 0;
    }
    // The trials write over the kept encoding's results.
    EncodingKept = FALSE;
    PrepareData();
    const std::int32_t length = DataLength;
    // Every trial starts from the caller's columns: dimensioning raises them for the trial.
    const std::int32_t columns = Columns;
    auto fits = [&](std::int32_t prefix) {
        Columns = columns;
        DataLength = prefix;
        CompactData();
        return LastFit == SymbolFit::Fits;
    };
    // The whole data first, so that a text Mode that the data needs mixed for falls back
    // before any prefix is tried.
    std::int32_t fitting = 0;
    if (fits(length)) {
        fitting = length;
    } else if (fits(0)) {
        std::int32_t tooLong = length;
        while (tooLong - fitting > 1) {
            const std::int32_t middle = fitting + (tooLong - fitting) / 2;
            (fits(middle) ? fitting : tooLong) = middle;
        }
    }
    fits(length);
    if (HandleTilde) RestoreDataText();
    return fitting;
}
