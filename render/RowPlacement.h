// Where a row's bars land in the picture, and the run painter that paints them there: each bar
// one filled rectangle, turned into place by Orientation; spaces are left to the background.
#pragma once

#include "component/state/QuillonState.h"
#include "render/ModuleRow.h"

// Where the bars of one row land: the row's extent across the rows, and along it the picture
// coordinate that the run cursor counts from, up or down. Worked out once a row from the
// state's origin, margins, depth and Orientation.
struct RowPlacement {
    bool along_x;         // rows run across the picture (Orientation 0 or 2)
    bool counts_down;     // the cursor runs against the picture's coordinates (1 and 2)
    std::int32_t origin;  // the picture coordinate of cursor 0
    std::int32_t first;   // the row's extent across: [first, last)
    std::int32_t last;

    // `rowOffset` is the row's distance from the first row, `rowOffsetFromLast` (at most 0)
    // from the band's end to the last row.
    static RowPlacement Of(const QuillonState& q, std::int32_t rowOffset,
                           std::int32_t rowOffsetFromLast) {
        const std::int32_t a = rowOffset;
        const std::int32_t b = rowOffsetFromLast;
        const std::int32_t depth = q.SymbolDepth;
        if (q.Orientation == 0) {  // first row at the top, rows read left to right
            return {true, false, q.OriginX, q.OriginY + q.MarginTop + a,
                    q.OriginY + q.MarginTop + depth + b};
        }
        if (q.Orientation == 1) {  // first row at the left, rows read bottom to top
            return {false, true, q.OriginY + q.ImageHeight, q.OriginX + q.MarginLeft + a,
                    q.OriginX + q.MarginLeft + depth + b};
        }
        if (q.Orientation == 2) {  // first row at the bottom, rows read right to left
            return {true, true, q.OriginX + q.ImageWidth, q.OriginY + q.MarginTop - b,
                    q.OriginY + q.MarginTop + depth - a};
        }
        // first row at the right, rows read top to bottom
        return {false, false, q.OriginY, q.OriginX + q.MarginLeft - b,
                q.OriginX + q.MarginLeft + depth - a};
    }

    // The picture coordinates a bar `width` long at `cursor` starts and ends at along the row.
    std::int32_t Start(std::int32_t cursor, std::int32_t width) const {
        return counts_down ? origin - cursor - width : origin + cursor;
    }
    std::int32_t End(std::int32_t cursor, std::int32_t width) const {
        return counts_down ? origin - cursor : origin + cursor + width;
    }

    // The rectangle of a bar `width` long at `cursor`.
    RECT Bar(std::int32_t cursor, std::int32_t width) const {
        const std::int32_t start = Start(cursor, width);
        const std::int32_t end = End(cursor, width);
        return along_x ? RECT{start, first, end, last} : RECT{first, start, last, end};
    }

    // Paints the bars of `row`, a FillRect each, its first module at `cursor` and each module
    // `module` pixels long. The rectangle's sides across the row are the row's own, set once;
    // only the two along it change from bar to bar.
    void Paint(HDC dc, HBRUSH brush, const ModuleRow& row, std::int32_t cursor,
               std::int32_t module) const {
        RECT rect = Bar(0, 0);
        LONG& start = along_x ? rect.left : rect.top;
        LONG& end = along_x ? rect.right : rect.bottom;
        row.ForEachBar([&](std::int32_t first, std::int32_t modules) {
            start = Start(cursor + module * first, module * modules);
            end = End(cursor + module * first, module * modules);
            FillRect(dc, &rect, brush);
        });
    }
};
