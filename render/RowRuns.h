// One row of the symbol as row assembly walks it: the run cursor, and the row's bars, collected
// along the row and painted together once the row is complete (QuillonState::PaintRun, in
// render/RowPlacement.h). The walk makes no call, and keeps the cursor in a register.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "component/state/QuillonState.h"

// The colour strings rows are drawn with, 'b' for a bar: the start pattern's and the
// codewords', the stop pattern's and the truncated end's.
inline constexpr char kPatternColours[] = "bwbwbwbw";
inline constexpr char kStopColours[] = "bwbwbwbwb";
inline constexpr char kTruncatedColours[] = "bw";

constexpr int BarsIn(const char* colours) {
    int bars = 0;
    for (; *colours != 0; ++colours) bars += *colours == 'b' ? 1 : 0;
    return bars;
}
// The most bars a row has: those of the start pattern, the row indicators and the codewords,
// and of the stop pattern, which has more than the truncated end.
constexpr int kMaxBarsInRow = BarsIn(kPatternColours) * (kMaxColumns + 3) + BarsIn(kStopColours);
static_assert(BarsIn(kTruncatedColours) <= BarsIn(kPatternColours) + BarsIn(kStopColours));

// The modules of each width code: '1' to '8' that many, 'n' one (the narrow bar), 'w' two (the
// wide bar, WideBarWidth); 0 for a code that is no width.
struct WidthCodes {
    std::int8_t modules[256];
    constexpr WidthCodes() : modules() {
        for (int digit = 1; digit <= 8; ++digit) {
            modules['0' + digit] = static_cast<std::int8_t>(digit);
        }
        modules[static_cast<unsigned char>('n')] = 1;
        modules[static_cast<unsigned char>('w')] = 2;
    }
};
inline constexpr WidthCodes kWidthCodes;

struct RowRuns {
    // A bar along the row: where it starts and how wide it is, in pixels from cursor 0.
    struct Bar {
        std::int32_t cursor;
        std::int32_t width;
    };

    // A row whose first run starts at `start`, drawn with the state's module width.
    RowRuns(const QuillonState& q, std::int32_t start) : module(q.ModuleWidth), cursor(start) {}

    // Walks a colour string and a width string together, as far as the shorter goes: each
    // position is one run of the width its code gives (kWidthCodes), kept as a bar when its
    // colour is 'b', and the cursor moves past it. A code that is no width gives a run of
    // none: nothing is drawn and the cursor stays. The strings' lengths are known here, so the
    // walk is unrolled, and a run takes a few instructions without a branch.
    template <std::size_t kColours, std::size_t kWidths>
    __attribute__((always_inline)) void DrawWidthString(const char (&colours)[kColours],
                                                        const char (&widths)[kWidths]) {
        constexpr std::size_t kRuns = std::min(kColours, kWidths) - 1;  // less the ending NUL
#pragma GCC unroll 16
        for (std::size_t i = 0; i < kRuns; ++i) {
            const std::int32_t width =
                kWidthCodes.modules[static_cast<unsigned char>(widths[i])] * module;
            if (colours[i] == 'b') bars[bar_count++] = {cursor, width};
            cursor += width;
        }
    }

    std::int32_t module;  // ModuleWidth
    std::int32_t cursor;  // where the next run starts
    int bar_count = 0;
    Bar bars[kMaxBarsInRow];  // the first bar_count are the row's bars so far
};
