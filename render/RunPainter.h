// The run painter: one bar becomes one filled rectangle, turned into place by Orientation;
// spaces are left to the background.
//
// Inline, for row assembly: it hands over every run of the symbol, and a call per run cost
// as much as the run's own work.
#pragma once

#include "component/state/QuillonState.h"

inline void QuillonState::PaintRun(std::int32_t width, std::int32_t rowOffset,
                                   std::int32_t rowOffsetFromLast, bool isBar) {
    if (isBar && !MeasureOnly) {
        const std::int32_t c = RunCursor;
        const std::int32_t a = rowOffset;
        const std::int32_t b = rowOffsetFromLast;  // at most 0: from the band's end to the last row
        const std::int32_t depth = SymbolDepth;
        RECT rect;
        if (Orientation == 0) {  // first row at the top, rows read left to right
            rect = {OriginX + c, OriginY + MarginTop + a, OriginX + c + width,
                    OriginY + MarginTop + depth + b};
        } else if (Orientation == 1) {  // first row at the left, rows read bottom to top
            rect = {OriginX + MarginLeft + a, OriginY + ImageHeight - c - width,
                    OriginX + MarginLeft + depth + b, OriginY + ImageHeight - c};
        } else if (Orientation == 2) {  // first row at the bottom, rows read right to left
            rect = {OriginX + ImageWidth - c - width, OriginY + MarginTop - b,
                    OriginX + ImageWidth - c, OriginY + MarginTop + depth - a};
        } else {  // first row at the right, rows read top to bottom
            rect = {OriginX + MarginLeft - b, OriginY + c, OriginX + MarginLeft + depth - a,
                    OriginY + c + width};
        }
        FillRect(DrawDC, &rect, BarBrush);
    }
    RunCursor += width;
}
