// The MicroPDF417 size: one of the standard's 34, chosen for the data within what MicroColumns
// and MicroRows allow, never another.
//
// Of the sizes allowed that hold the data, the smallest: the one of the fewest modules, a row's
// modules times the rows. Rows are all of one height, so at any module width and row height
// this is the smallest label, which is what a MicroPDF417 symbol is chosen for. It also gives
// the rules for one setting alone: with the columns set, the fewest rows; with the rows set,
// the fewest columns. No two sizes have the same area; were there, the one of fewer columns,
// earlier in the table, would be kept.
#include "component/state/QuillonState.h"
#include "render/SymbolGeometry.h"

namespace {

std::int32_t Modules(const MicroPdf417Size& size) {
    return MicroRowModules(size.columns) * size.rows;
}

}  // namespace

bool QuillonState::DimensionMicroSymbol(std::int32_t dataCodewords) {
    // Left for the message when nothing fits, as PDF417 leaves what its data needs.
    CodewordCount = dataCodewords;
    MicroSize = kNoMicroSize;
    bool allowed = false;
    for (std::int32_t s = 0; s < kMicroPdf417SizeCount; ++s) {
        const MicroPdf417Size& size = kMicroPdf417Sizes[s];
        if (!IsMicroSizeAllowed(size, MicroColumns, MicroRows)) continue;
        allowed = true;
        if (MicroDataCapacity(size) < dataCodewords) continue;
        if (MicroSize == kNoMicroSize || Modules(size) < Modules(kMicroPdf417Sizes[MicroSize])) {
            MicroSize = s;
        }
    }
    if (MicroSize == kNoMicroSize) {
        LastFit = allowed ? SymbolFit::MicroSizeTooSmall : SymbolFit::NoSuchMicroSize;
        return false;
    }
    const MicroPdf417Size& size = kMicroPdf417Sizes[MicroSize];
    SavedColumns = Columns;
    Columns = size.columns;
    ActualRows = size.rows;
    CodewordCount = size.columns * size.rows;
    LastFit = SymbolFit::Fits;
    return true;
}

// Columns is PDF417's setting and also the shape drawing and measuring read; a MicroPDF417
// symbol's columns stand in it only until the next encoding. A Columns that differs from them
// then was set since, and stays (one set to the same number cannot be told apart, and gives way
// to the setting before it).
void QuillonState::RestoreColumnsSetting() {
    if (IsMicroSize(MicroSize) && Columns == kMicroPdf417Sizes[MicroSize].columns) {
        Columns = SavedColumns;
    }
    MicroSize = kNoMicroSize;
}
