#include "platform/winapi/gdi/Lines.h"

#include "platform/winapi/gdi/Painting.h"

namespace gdi {
namespace {

constexpr std::uint32_t kPenPixel = 0x00000000;  // the default pen: solid black, one pixel

bool PlotPixel(Bitmap* bitmap, std::int64_t x, std::int64_t y) {
    return FillSpan(bitmap, x, y, x + 1, y + 1, kPenPixel);
}

}  // namespace

// Straight lines are one span; a slanted one steps along its longer axis and rounds the other
// coordinate to the nearest pixel, visiting only the steps whose major coordinate lies inside
// the picture.
bool DrawLine(Bitmap* bitmap, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
    if (x0 == x1 && y0 == y1) return true;
    if (y0 == y1) {
        return x1 > x0 ? FillSpan(bitmap, x0, y0, x1, y0 + 1, kPenPixel)
                       : FillSpan(bitmap, x1 + 1, y0, x0 + 1, y0 + 1, kPenPixel);
    }
    if (x0 == x1) {
        return y1 > y0 ? FillSpan(bitmap, x0, y0, x0 + 1, y1, kPenPixel)
                       : FillSpan(bitmap, x0, y1 + 1, x0 + 1, y0 + 1, kPenPixel);
    }
    const std::int64_t dx = x1 - x0;
    const std::int64_t dy = y1 - y0;
    const bool x_major = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    const std::int64_t major_start = x_major ? x0 : y0;
    const std::int64_t major_delta = x_major ? dx : dy;
    const std::int64_t minor_start = x_major ? y0 : x0;
    const std::int64_t minor_delta = x_major ? dy : dx;
    const std::int64_t major_extent = x_major ? bitmap->width : bitmap->height;
    const std::int64_t steps = major_delta < 0 ? -major_delta : major_delta;
    const std::int64_t direction = major_delta < 0 ? -1 : 1;
    // Steps i with major_start + direction * i inside [0, major_extent).
    std::int64_t first = 0;
    std::int64_t last = steps - 1;
    if (direction > 0) {
        first = std::max<std::int64_t>(first, -major_start);
        last = std::min<std::int64_t>(last, major_extent - 1 - major_start);
    } else {
        first = std::max<std::int64_t>(first, major_start - (major_extent - 1));
        last = std::min<std::int64_t>(last, major_start);
    }
    for (std::int64_t i = first; i <= last; ++i) {
        // Nearest pixel to minor_start + minor_delta * i / steps, halves rounded up.
        const std::int64_t numerator = 2 * minor_delta * i + steps;
        std::int64_t offset = numerator / (2 * steps);
        if (numerator % (2 * steps) != 0 && numerator < 0) --offset;  // floor division
        const std::int64_t major = major_start + direction * i;
        const std::int64_t minor = minor_start + offset;
        if (!(x_major ? PlotPixel(bitmap, major, minor) : PlotPixel(bitmap, minor, major))) {
            return false;
        }
    }
    return true;
}

}  // namespace gdi
