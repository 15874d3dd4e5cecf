// The frame around the picture, drawn last with the drawing context's default pen (one
// pixel, black), over the bars.
#include "component/state/QuillonState.h"

namespace {

void Line(HDC dc, int x0, int y0, int x1, int y1) {
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

}  // namespace

void QuillonState::DrawBorder(bool solid) {
    const std::int32_t x0 = OriginX;
    const std::int32_t y0 = OriginY;
    const std::int32_t w = ImageWidth;
    const std::int32_t h = ImageHeight;
    if (solid) {
        // Each line stops short of its end point, so together they cover every pixel of the
        // outermost rows and columns once.
        Line(DrawDC, x0, y0, x0 + w, y0);
        Line(DrawDC, x0 + w - 1, y0, x0 + w - 1, y0 + h);
        Line(DrawDC, x0 + w, y0 + h - 1, x0, y0 + h - 1);
        Line(DrawDC, x0, y0 + h, x0, y0);
        return;
    }
    // Four-pixel slots, every other one drawn. One toggle runs on from the horizontal slots
    // into the vertical ones, so where the vertical dashes start depends on the width. The
    // last drawn dash of an edge is stretched to just short of the far corner.
    bool drawn = true;
    for (std::int32_t i = 0; i < w / 4; ++i) {
        const std::int32_t s = x0 + 4 * i;
        std::int32_t e = s + 4;
        if (drawn && 4 * i + 8 > w - 1) e = x0 + w - 1;
        if (drawn) {
            Line(DrawDC, s, y0 + 1, e, y0 + 1);
            Line(DrawDC, s, y0 + h - 1, e, y0 + h - 1);
        }
        drawn = !drawn;
    }
    for (std::int32_t i = 0; i < h / 4; ++i) {
        const std::int32_t s = y0 + 4 * i;
        std::int32_t e = s + 4;
        if (drawn && 4 * i + 8 > h - 1) e = y0 + h - 1;
        if (drawn) {
            Line(DrawDC, x0, s, x0, e);
            Line(DrawDC, x0 + w - 1, s, x0 + w - 1, e);
        }
        drawn = !drawn;
    }
}
