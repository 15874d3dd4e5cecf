// Painting rectangles into the banded bitmap. The common case, a short bar in the colour
// painted last over exactly the band its row of the symbol became, is inline here and takes a
// few instructions without a call; everything else goes to Paint (Painting.cpp).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/winapi/gdi/BandedBitmap.h"

namespace gdi {

#if defined(__SSE2__)
// For n = 0..16, 16 bytes of which the first n are all ones: which bytes a fill of n covers.
struct FirstBytes {
    alignas(16) BYTE masks[17][16];
    constexpr FirstBytes() : masks() {
        for (int n = 0; n <= 16; ++n) {
            for (int k = 0; k < n; ++k) masks[n][k] = 0xFF;
        }
    }
};
inline constexpr FirstBytes kFirstBytes;
#endif

// Fills of up to 16 pixels, the most a bar of a symbol's picture usually is, take one load
// and one store of 16 bytes: the pixels beyond the fill (or the line's slack) are stored as
// they were, and there is no branch on the length.
constexpr int kShortFill = 16;
static_assert(kSlack + 1 >= kShortFill, "a short fill may store 15 bytes beyond a line");

// `index16` is the colour index 16 times.
__attribute__((always_inline)) inline void FillShort(BYTE* out, int count, const BYTE* index16) {
#if defined(__SSE2__)
    const __m128i inside =
        _mm_load_si128(reinterpret_cast<const __m128i*>(kFirstBytes.masks[count]));
    const __m128i colour = _mm_load_si128(reinterpret_cast<const __m128i*>(index16));
    const __m128i was = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_or_si128(_mm_and_si128(inside, colour), _mm_andnot_si128(inside, was)));
#else
    std::memset(out, index16[0], static_cast<std::size_t>(count));
#endif
}

// Paints [left, right) × [top, bottom), already clipped and not empty. False when the bitmap
// ran out of memory.
bool Paint(Bitmap* bitmap, int left, int top, int right, int bottom, std::uint32_t pixel);

// Most paintings are short bars in the colour painted last, each over exactly the band that
// its row of the symbol became with the row's first bar. They go straight to the band's pixels.
// True when the painting was one of them.
__attribute__((always_inline)) inline bool PaintedAsShortBar(Bitmap* bitmap, int left, int top,
                                                             int right, int bottom,
                                                             std::uint32_t pixel) {
    if (pixel != bitmap->last_colour || right - left > kShortFill) return false;
    Line* band = bitmap->rows[top];
    if (band->top != top || band->end != bottom || band->uniform) return false;
    FillShort(band->pixels + left, right - left, bitmap->last_index);
    return true;
}

// Clips the rectangle to the picture and paints what is left. False when the bitmap ran out
// of memory.
__attribute__((always_inline)) inline bool FillSpan(Bitmap* bitmap, std::int64_t left,
                                                    std::int64_t top, std::int64_t right,
                                                    std::int64_t bottom, std::uint32_t pixel) {
    left = std::max<std::int64_t>(left, 0);
    top = std::max<std::int64_t>(top, 0);
    right = std::min<std::int64_t>(right, bitmap->width);
    bottom = std::min<std::int64_t>(bottom, bitmap->height);
    if (left >= right || top >= bottom) return true;
    const int l = static_cast<int>(left), t = static_cast<int>(top);
    const int r = static_cast<int>(right), b = static_cast<int>(bottom);
    return PaintedAsShortBar(bitmap, l, t, r, b, pixel) || Paint(bitmap, l, t, r, b, pixel);
}

}  // namespace gdi
