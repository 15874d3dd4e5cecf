// Row assembly: every row of the symbol becomes start pattern, left row indicator, the row's
// data codewords, and the right row indicator with the stop pattern (or, truncated, a single
// bar and space), each handed run by run to the run painter.
#include <bit>
#include <cstring>

#include "component/state/QuillonState.h"
#include "render/ClusterPatternTable.h"
#include "render/RunPainter.h"

namespace {

constexpr std::uint32_t kStartPattern = 0x1FEA8;
constexpr char kPatternColours[] = "bwbwbwbw";
constexpr char kStopColours[] = "bwbwbwbwb";
constexpr char kStopWidths[] = "711311121";
constexpr char kTruncatedColours[] = "bw";
constexpr char kTruncatedWidths[] = "11";
// Each colour string goes with a width string as long (row assembly draws them as pairs).
static_assert(sizeof kStopColours == sizeof kStopWidths);
static_assert(sizeof kTruncatedColours == sizeof kTruncatedWidths);
static_assert(sizeof kPatternColours == kRunWidthsSize);

constexpr int BarsIn(const char* colours) {
    int bars = 0;
    for (; *colours != 0; ++colours) bars += *colours == 'b' ? 1 : 0;
    return bars;
}
// The most bars a row has: those of the start pattern, the row indicators and the codewords,
// and of the stop pattern, which has more than the truncated end.
constexpr int kMaxBarsInRow = BarsIn(kPatternColours) * (kMaxColumns + 3) + BarsIn(kStopColours);
static_assert(BarsIn(kTruncatedColours) <= BarsIn(kPatternColours) + BarsIn(kStopColours));

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

namespace {

// One position of a width string: the run its width code stands for goes to the run painter,
// a bar when the colour is 'b'. A code that is no width draws nothing and the cursor stays.
__attribute__((always_inline)) inline void DrawRun(QuillonState& q, char colour, char code,
                                                   std::int32_t rowOffset,
                                                   std::int32_t rowOffsetFromLast) {
    std::int32_t width = 0;
    if (code >= '1' && code <= '8') {
        width = (code - '0') * q.ModuleWidth;
    } else if (code == 'n') {
        width = q.ModuleWidth;
    } else if (code == 'w') {
        width = q.WideBarWidth;
    } else {
        return;
    }
    q.PaintRun(width, rowOffset, rowOffsetFromLast, colour == 'b');
}

}  // namespace

void QuillonState::DrawWidthString(const char* colours, const char* widths, std::int32_t rowOffset,
                                   std::int32_t rowOffsetFromLast) {
    for (int i = 0; colours[i] != 0 && widths[i] != 0; ++i) {
        DrawRun(*this, colours[i], widths[i], rowOffset, rowOffsetFromLast);
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
    const std::int32_t along_margin =
        (Orientation == 0 || Orientation == 2) ? MarginLeft : MarginTop;
    if (MeasureOnly) {
        // Every pattern is 17 modules and the endings are fixed, so every row has the same
        // length: measuring needs the cursors where the walk would leave them, not the walk.
        if (ActualRows > 0) {
            RunCursor = along_margin + ModuleWidth * (17 * Columns + (TruncateSymbol ? 36 : 69));
            RowCursor += RowHeight * ActualRows;
        }
        return;
    }
    // The start pattern's widths are the same in every row; the codewords' come from the
    // table made from their patterns.
    PatternToRunWidths(kStartPattern);
    char start_widths[kRunWidthsSize];
    std::memcpy(start_widths, RunWidths, sizeof start_widths);
    const std::uint16_t* codeword = CodewordBuffer.SymbolCodewords;
    for (std::int32_t r = 0; r < ActualRows; ++r) {
        const std::int32_t row_offset = RowHeight * r;
        const std::int32_t row_offset_from_last = -(RowHeight * (ActualRows - r - 1));
        const auto* cluster = ClusterRunWidths + (r % 3) * kCodewordValues;
        // The run painter's work, in two steps: the row's bars are collected as spans along
        // the row, in a walk without calls that keeps the cursor and widths in registers, then
        // painted one FillRect each from the row's placement (see RowPlacement).
        const std::int32_t module = ModuleWidth;
        std::int32_t cursor = along_margin;
        RowPlacement::Span bars[kMaxBarsInRow];
        int bar_count = 0;
        // DrawWidthString(colours, widths, ...) for strings whose lengths are known here, and
        // mostly their contents, without the walk's tests for the ends of the strings; every
        // width in them is a digit (the table's are checked by its test), so without the tests
        // for the other width codes too.
        const auto draw_runs = [&]<std::size_t kSize>(
            const char(&colours)[kSize], const char* widths) __attribute__((always_inline)) {
#pragma GCC unroll 16
            for (std::size_t i = 0; i + 1 < kSize; ++i) {
                const std::int32_t width = (widths[i] - '0') * module;
                if (colours[i] == 'b') bars[bar_count++] = {cursor, width};
                cursor += width;
            }
        };
        const auto draw_pattern = [&](const char* widths) __attribute__((always_inline)) {
            std::memcpy(RunWidths, widths, kRunWidthsSize);
            draw_runs(kPatternColours, widths);
        };

        draw_pattern(start_widths);
        draw_pattern(cluster[LeftRowIndicator(r)]);
        for (std::int32_t c = 0; c < Columns; ++c) draw_pattern(cluster[*codeword++]);
        if (TruncateSymbol) {
            draw_runs(kTruncatedColours, kTruncatedWidths);
        } else {
            draw_pattern(cluster[RightRowIndicator(r)]);
            draw_runs(kStopColours, kStopWidths);
        }
        RowPlacement::Of(*this, row_offset, row_offset_from_last)
            .Paint(DrawDC, BarBrush, bars, bar_count);
        RunCursor = cursor;
        RowCursor += RowHeight;
    }
}
