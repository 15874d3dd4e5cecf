// Row assembly: every row of the symbol becomes start pattern, left row indicator, the row's
// data codewords, and the right row indicator with the stop pattern (or, truncated, a single
// bar and space), walked run by run into the row's bars, which the run painter then paints.
#include <bit>
#include <cstring>

#include "component/state/QuillonState.h"
#include "render/ClusterPatternTable.h"
#include "render/RowPlacement.h"
#include "render/RowRuns.h"
#include "render/SymbolGeometry.h"

namespace {

constexpr std::uint32_t kStartPattern = 0x1FEA8;
constexpr char kStopWidths[] = "711311121";
constexpr char kTruncatedWidths[] = "11";
// Each colour string goes with a width string as long (row assembly draws them as pairs), and
// the endings are as long as the geometry counts them.
static_assert(sizeof kStopColours == sizeof kStopWidths);
static_assert(sizeof kTruncatedColours == sizeof kTruncatedWidths);
static_assert(sizeof kPatternColours == kRunWidthsSize);

constexpr std::int32_t ModulesIn(const char* widths) {
    std::int32_t modules = 0;
    for (; *widths != 0; ++widths) modules += *widths - '0';
    return modules;
}
static_assert(ModulesIn(kStopWidths) == kStopPatternModules);
static_assert(ModulesIn(kTruncatedWidths) == kTruncatedEndModules);

// Each group of three rows adds 30 to the values its row indicators carry.
constexpr std::int32_t kIndicatorGroupStep = 30;

}  // namespace

void QuillonState::PatternToRunWidths(std::uint32_t pattern) {
    // Runs are found from the rightmost module leftward, a whole run at a step (the count of
    // trailing modules of one colour), and stored from the end of the string backward so
    // that it reads left to right.
    char reversed[17];
    int runs = 0;
    std::uint32_t modules = pattern & 0x1FFFF;
    int remaining = 17;
    while (remaining > 0) {
        const std::uint32_t same = (modules & 1) != 0 ? ~modules : modules;
        int run = same == 0 ? remaining : std::countr_zero(same);
        if (run > remaining) run = remaining;
        reversed[runs++] = static_cast<char>('0' + run);
        modules >>= run;
        remaining -= run;
    }
    for (int i = 0; i < runs; ++i) RunWidths[i] = reversed[runs - 1 - i];
    RunWidths[runs] = 0;
}

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
    if (ActualRows < 0 || ActualRows > kMaxRows) return false;
    if (Columns < kMinColumns || Columns > kMaxColumns) return false;
    if (SymbolEccLevel() < 0 || SymbolEccLevel() > kMaxEccLevel) return false;
    const std::int32_t cells = ActualRows * Columns;
    for (std::int32_t k = 0; k < cells; ++k) {
        if (CodewordBuffer.SymbolCodewords[k] >= kCodewordValues) return false;
    }
    return true;
}

void QuillonState::DrawRows() {
    if (!SymbolIsDrawable()) return;
    const std::int32_t along_margin = RowsRunAcross(Orientation) ? MarginLeft : MarginTop;
    if (MeasureOnly) {
        // Every pattern is 17 modules and the endings are fixed, so every row has the same
        // length: measuring needs the cursors where the walk would leave them, not the walk.
        if (ActualRows > 0) {
            RunCursor =
                along_margin + ModuleWidth * DrawnRowModules(Columns, TruncateSymbol != FALSE);
            RowCursor += RowHeight * ActualRows;
        }
        return;
    }
    // The start pattern's widths are the same in every row; the codewords' come from the
    // table of their patterns' widths.
    PatternToRunWidths(kStartPattern);
    char start_widths[kRunWidthsSize];
    std::memcpy(start_widths, RunWidths, sizeof start_widths);
    const std::uint16_t* codeword = CodewordBuffer.SymbolCodewords;
    for (std::int32_t r = 0; r < ActualRows; ++r) {
        const auto* cluster = ClusterPatternTable + (r % 3) * kCodewordValues;
        RowRuns row(*this, along_margin);
        row.DrawWidthString(kPatternColours, start_widths);
        row.DrawWidthString(kPatternColours, cluster[LeftRowIndicator(r)]);
        for (std::int32_t c = 0; c < Columns; ++c) {
            row.DrawWidthString(kPatternColours, cluster[*codeword++]);
        }
        if (TruncateSymbol) {
            row.DrawWidthString(kTruncatedColours, kTruncatedWidths);
        } else {
            row.DrawWidthString(kPatternColours, cluster[RightRowIndicator(r)]);
            row.DrawWidthString(kStopColours, kStopWidths);
        }
        PaintRun(row, RowHeight * r, -(RowHeight * (ActualRows - r - 1)));
        RunCursor = row.cursor;
        RowCursor += RowHeight;
    }
}
