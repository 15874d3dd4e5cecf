// One-pixel lines with the default pen, painted as spans of the banded bitmap.
#pragma once

#include <cstdint>

#include "platform/winapi/gdi/BandedBitmap.h"

namespace gdi {

// A line from (x0, y0) towards (x1, y1) in picture coordinates, end point excluded, clipped to
// the picture. False when the bitmap ran out of memory.
bool DrawLine(Bitmap* bitmap, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1);

}  // namespace gdi
