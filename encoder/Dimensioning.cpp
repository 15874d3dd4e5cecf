// Symbol dimensioning: the smallest column count from the Columns setting up that keeps the
// symbol within 90 rows, then the Rows minimum and the 928-codeword limit.
#include <algorithm>

#include "component/state/QuillonState.h"
#include "encoder/RecommendedEccLevel.h"

void QuillonState::PrepareDimensioning() {
    // EccCount() follows the level by itself. A Columns of 31 is what a symbol that did not
    // fit leaves behind, and this is where a later request starts again from the default.
    if (Columns < kMinColumns || Columns > kMaxColumns) Columns = kDefaultColumns;
}

bool QuillonState::DimensionSymbol(std::int32_t required) {
    CodewordCount = required;
    std::int32_t rows = 0;
    for (;;) {
        rows = (CodewordCount + Columns - 1) / Columns;
        if (rows < kMinRows) rows = kMinRows;
        if (rows <= kMaxRows) break;
        // The raised column count stays as the caller's setting for later requests.
        ++Columns;
        if (Columns > kMaxColumns) {
            LastFit = SymbolFit::TooManyRows;
            return false;
        }
    }
    ActualRows = rows > Rows ? rows : Rows;
    CodewordCount = Columns * ActualRows;
    if (CodewordCount > kMaxSymbolCodewords) {
        LastFit = SymbolFit::TooManyCodewords;
        return false;
    }
    LastFit = SymbolFit::Fits;
    return true;
}

bool QuillonState::DimensionData(std::int32_t dataCodewords) {
    // Its size fixes a MicroPDF417 symbol's error correction.
    if (IsMicroPdf417()) return DimensionMicroSymbol(dataCodewords);
    // The level never falls below the setting; data that then does not fit is refused as any
    // other.
    if (AutoErrorCorrection) AutoEccLevel = std::max(EccLevel, RecommendedEccLevel(dataCodewords));
    return DimensionSymbol(dataCodewords + EccCount());
}
