// Row assembly: every row of the symbol becomes start pattern, left row indicator, the row's
// data codewords, and the right row indicator with the stop pattern (or, truncated, a single
// bar and space), appended to the row as modules, which drawing then paints or packs.
#include "component/state/QuillonState.h"
#include "render/ClusterPatternTable.h"
#include "render/ModuleRow.h"
#include "render/RowPlacement.h"
#include "render/SymbolGeometry.h"

namespace {

// A run-width string as modules: bar first, then alternating, each digit a run that many wide.
struct Runs {
    std::uint32_t modules = 0;
    int count = 0;
    constexpr explicit Runs(const char* widths) {
        for (bool bar = true; *widths != 0; ++widths, bar = !bar) {
            for (int k = 0; k < *widths - '0'; ++k) modules = modules << 1 | (bar ? 1 : 0);
            count += *widths - '0';
        }
    }
};

constexpr std::uint32_t kStartPattern = 0x1FEA8;
constexpr Runs kStop("711311121");
constexpr Runs kTruncatedEnd("11");  // a one-module bar and a one-module space
static_assert(kStop.count == kStopPatternModules && kStop.modules == 0x3FA29);
static_assert(kTruncatedEnd.count == kTruncatedEndModules);

// Each group of three rows adds 30 to the values its row indicators carry.
constexpr std::int32_t kIndicatorGroupStep = 30;

}  // namespace

std::int32_t QuillonState::LeftRowIndicator(std::int32_t r) const {
    const std::int32_t base = kIndicatorGroupStep * (r / 3);
    switch (r % 3) {
        case 0:
            return base + (ActualRows - 1) / 3;
        case 1:
            return base + 3 * SymbolEccLevel() + (ActualRows - 1) % 3;
        default:
            return base + Columns - 1;
    }
}

std::int32_t QuillonState::RightRowIndicator(std::int32_t r) const {
    const std::int32_t base = kIndicatorGroupStep * (r / 3);
    switch (r % 3) {
        case 0:
            return base + Columns - 1;
        case 1:
            return base + (ActualRows - 1) / 3;
        default:
            return base + 3 * SymbolEccLevel() + (ActualRows - 1) % 3;
    }
}

// After a failed encoding the codeword area holds no symbol (and Columns may stand at 31),
// so nothing may be looked up from it; nor may a symbol too large for 32-bit coordinates be
// measured or painted. The shape limits keep every row indicator inside the
// table (at most 29 × 30 + 29) and every codeword read inside what the encoder wrote.
bool QuillonState::SymbolIsDrawable() const {
    if (LastFit != SymbolFit::Fits || !SymbolFitsCoordinates()) return false;
    if (IsMicroPdf417()) {
        // The shape is its size's, whose starting row address patterns row assembly reads.
        if (!IsMicroSize(MicroSize) || Columns != kMicroPdf417Sizes[MicroSize].columns ||
            ActualRows != kMicroPdf417Sizes[MicroSize].rows) {
            return false;
        }
    } else {
        if (ActualRows < 0 || ActualRows > kMaxRows) return false;
        if (Columns < kMinColumns || Columns > kMaxColumns) return false;
        if (SymbolEccLevel() < 0 || SymbolEccLevel() > kMaxEccLevel) return false;
    }
    const std::int32_t cells = ActualRows * Columns;
    for (std::int32_t k = 0; k < cells; ++k) {
        if (CodewordBuffer.SymbolCodewords[k] >= kCodewordValues) return false;
    }
    return true;
}

std::int32_t QuillonState::SymbolRowModules() const {
    if (IsMicroPdf417()) return MicroRowModules(Columns);
    return DrawnRowModules(Columns, TruncateSymbol != FALSE);
}

void QuillonState::AssembleRow(std::int32_t r, ModuleRow& row) const {
    if (IsMicroPdf417()) {
        AssembleMicroRow(r, row);
        return;
    }
    // Rows use clusters 0, 3 and 6 in turn; row r holds codewords r × Columns onward.
    const std::uint32_t* cluster = ClusterPatternTable + (r % 3) * kCodewordValues;
    const std::uint16_t* codeword = CodewordBuffer.SymbolCodewords + r * Columns;
    row.Append(kStartPattern, kPatternModules);
    row.Append(cluster[LeftRowIndicator(r)], kPatternModules);
    for (std::int32_t c = 0; c < Columns; ++c) row.Append(cluster[codeword[c]], kPatternModules);
    if (TruncateSymbol) {
        row.Append(kTruncatedEnd.modules, kTruncatedEnd.count);
    } else {
        row.Append(cluster[RightRowIndicator(r)], kPatternModules);
        row.Append(kStop.modules, kStop.count);
    }
}

void QuillonState::DrawRows() {
    if (!SymbolIsDrawable()) return;
    const std::int32_t along_margin = RowsRunAcross(Orientation) ? MarginLeft : MarginTop;
    if (MeasureOnly) {
        // Every row has the same length: measuring needs the cursors where the walk would
        // leave them, not the walk.
        if (ActualRows > 0) {
            RunCursor = along_margin + ModuleWidth * SymbolRowModules();
            RowCursor += RowHeight * ActualRows;
        }
        return;
    }
    for (std::int32_t r = 0; r < ActualRows; ++r) {
        ModuleRow row;
        AssembleRow(r, row);
        RowPlacement::Of(*this, RowHeight * r, -(RowHeight * (ActualRows - r - 1)))
            .Paint(DrawDC, BarBrush, row, along_margin, ModuleWidth);
        RunCursor = along_margin + ModuleWidth * row.length;
        RowCursor += RowHeight;
    }
}
