#include "platform/winapi/gdi/Painting.h"

namespace gdi {
namespace {

// The index of a colour in the picture's table, added to it when it is new; -1 when the
// table is full or the picture plain.
__attribute__((noinline)) int FindColour(Bitmap* bitmap, std::uint32_t pixel) {
    if (bitmap->plain != nullptr) return -1;
    int index = 0;
    while (index < bitmap->colour_count && bitmap->colours[index] != pixel) ++index;
    if (index == bitmap->colour_count) {
        if (index == kTableColours) return -1;
        bitmap->colours[bitmap->colour_count++] = pixel;
    }
    bitmap->last_colour = pixel;
    std::memset(bitmap->last_index, index, sizeof bitmap->last_index);
    return index;
}

__attribute__((always_inline)) inline int IndexOf(Bitmap* bitmap, std::uint32_t pixel) {
    return pixel == bitmap->last_colour ? bitmap->last_index[0] : FindColour(bitmap, pixel);
}

// A new band for rows [top, end) showing what `from` shows; its pixels are copied only when
// `keep_pixels`.
Line* CopyBand(Bitmap* bitmap, const Line* from, int top, int end, bool keep_pixels) {
    Line* line = TakeLine(bitmap);
    if (line == nullptr) return nullptr;
    line->uniform = from->uniform;
    line->colour = from->colour;
    if (keep_pixels && !from->uniform) {
        std::memcpy(line->pixels, from->pixels, static_cast<std::size_t>(bitmap->width));
    }
    SetBand(bitmap, line, top, end);
    return line;
}

// Splits rows [top, end) of `band` off into a band of their own and returns it; the rows
// above and below keep what they show. Whichever of those is larger keeps the band's line, so
// that as few rows as possible change line. The new band's pixels are copied only when
// `keep_pixels`. Null when there is no memory for a line.
Line* SplitBand(Bitmap* bitmap, Line* band, int top, int end, bool keep_pixels) {
    const int above = top - band->top;
    const int below = band->end - end;
    if (above > 0 && below > 0) {
        const bool keep_above = above >= below;
        if (keep_above ? CopyBand(bitmap, band, end, band->end, true) == nullptr
                       : CopyBand(bitmap, band, band->top, top, true) == nullptr) {
            return nullptr;
        }
        if (keep_above) {
            band->end = top;
        } else {
            band->top = end;
        }
    } else if (above > 0) {
        band->end = top;
    } else {
        band->top = end;
    }
    return CopyBand(bitmap, band, top, end, keep_pixels);
}

// `count` (at least 1) pixels of one colour index.
inline void FillIndices(BYTE* out, int count, BYTE index) {
    if (count <= kShortFill) {
        alignas(16) BYTE index16[16];
        std::memset(index16, index, sizeof index16);
        FillShort(out, count, index16);
    } else {
        std::memset(out, index, static_cast<std::size_t>(count));
    }
}

// Paints band by band. False when a line could not be had (the bitmap is then lost, whatever
// state its bands are in).
__attribute__((noinline)) bool PaintBands(Bitmap* bitmap, int left, int top, int right, int bottom,
                                          BYTE index) {
    const bool whole_width = left == 0 && right == bitmap->width;
    for (int y = top; y < bottom;) {
        Line* band = bitmap->rows[y];
        const int stop = std::min(band->end, bottom);
        if (!(band->uniform && band->colour == index)) {
            if (band->top < y || stop < band->end) {
                band = SplitBand(bitmap, band, y, stop, !whole_width);
                if (band == nullptr) return false;
            }
            if (whole_width) {
                band->uniform = true;
                band->colour = index;
            } else {
                if (band->uniform) {
                    FillIndices(band->pixels, bitmap->width, band->colour);
                    band->uniform = false;
                }
                FillIndices(band->pixels + left, right - left, index);
            }
        }
        y = stop;
    }
    return true;
}

// A painting in a colour the table has no room for, or on a plain picture.
__attribute__((noinline)) bool PaintPlain(Bitmap* bitmap, int left, int top, int right, int bottom,
                                          std::uint32_t pixel) {
    if (bitmap->plain == nullptr && !MakePlain(bitmap)) return false;
    const std::size_t width = static_cast<std::size_t>(bitmap->width);
    for (int y = top; y < bottom; ++y) {
        std::uint32_t* row = bitmap->plain + static_cast<std::size_t>(y) * width;
        std::fill(row + left, row + right, pixel);
    }
    return true;
}

}  // namespace

// Kept out of line, so that the common case in FillSpan stays a few instructions.
__attribute__((noinline)) bool Paint(Bitmap* bitmap, int left, int top, int right, int bottom,
                                     std::uint32_t pixel) {
    const int index = IndexOf(bitmap, pixel);
    if (index < 0) return PaintPlain(bitmap, left, top, right, bottom, pixel);
    return PaintBands(bitmap, left, top, right, bottom, static_cast<BYTE>(index));
}

}  // namespace gdi
