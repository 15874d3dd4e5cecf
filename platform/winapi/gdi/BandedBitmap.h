// The memory bitmap, kept as bands: where the Linux build's drawing speed comes from.
//
// A band is a run of rows that show the same scanline, one `Line`. A symbol's rows are one
// scanline many pixels deep and a background leaves most rows alike, so a picture has far
// fewer bands than rows. Painting changes each band's scanline once, splitting a band where
// the rectangle begins or ends inside it (Painting.cpp); reading back packs each band once and
// copies it to the band's other rows (ReadBack.cpp).
//
// A pixel is one byte, an index into the picture's table of the colours painted on it: a
// picture shows a few colours, and a byte a pixel is a quarter of the memory to fill and read
// that the colours themselves would take. A band painted over the whole width in one colour
// keeps that colour alone until something narrower is painted on it, so a background costs
// nothing per pixel.
//
// The table holds 256 colours. A picture painted with more turns plain: a 32-bit pixel word
// for every pixel, without bands, exact whatever is painted; no drawing of the component's
// comes near that.
//
// What it buys, measured against this same stand-in keeping every picture plain
// (quillon_bench and bench/large_picture.sh, medians, on a busy 2-core machine): PNGImage of
// 1000 mixed bytes (446 × 492 pixels) in 53 µs instead of 670 µs, of a 4000 × 4000 picture in
// 0.31 ms instead of 35 ms; `quillon Width=32767 Height=32767` in 0.7 s of processor time and
// 260 MB instead of 10 s and 4.4 GB.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/winapi/gdi/Objects.h"

namespace gdi {

struct Line {
    BYTE* pixels;  // the picture's width of colour indices; not read while uniform
    BYTE colour;   // every pixel's colour index, while uniform
    bool uniform;
    int top;  // the band: rows [top, end)
    int end;
    // The read-back that last packed this line, and where its packed bytes are.
    std::uint64_t packed_in;
    std::size_t packed_at;
};

// Lines and their pixels come in blocks, freed with the bitmap. Bands only ever split, so a
// picture never needs more lines than it has rows.
struct LineBlock {
    LineBlock* next;
};

constexpr int kTableColours = 256;

struct Bitmap : Object {
    int width;
    int height;
    Line** rows;          // the band of each row, top row first; null for the stock bitmap
    Line* unused_lines;   // the rest of the last block, `unused` lines, set up when taken
    BYTE* unused_pixels;  // and their pixels
    std::int64_t unused;
    LineBlock* blocks;      // blocks of lines beyond the first, which lives with the bitmap
    std::int64_t capacity;  // lines in all blocks
    std::uint64_t reads;    // read-backs so far
    // A painting ran out of memory: the picture no longer shows what was painted, so it
    // cannot be read back.
    bool lost;
    DeviceContext* selected_into;
    // The colours the pixels' indices stand for, and the one painted last, which is most
    // often the next one too.
    std::uint32_t colours[kTableColours];
    int colour_count;
    std::uint32_t last_colour;
    alignas(16) BYTE last_index[16];  // its index, 16 times, as a short fill stores it
    // Every pixel's colour, rows top first, once more colours were painted than the table
    // holds; the bands are no longer read then.
    std::uint32_t* plain;
};

// Each line's pixels are followed by this many bytes that are no pixels, so that a short fill
// can load and store 16 bytes whatever its length (Painting.h).
constexpr std::size_t kSlack = 15;

// A new bitmap of width × height pixels (both at least 1), all black: one band of one colour.
// Null when there is no memory for it.
Bitmap* NewBitmap(int width, int height);
// Frees the bitmap and everything it holds.
void FreeBitmap(Bitmap* bitmap);

// A line for a new band, uniform in colour index 0 until set otherwise. Null, and the bitmap
// lost, when there is no memory for it.
Line* TakeLine(Bitmap* bitmap);

// Makes `line` the band of rows [top, end).
inline void SetBand(Bitmap* bitmap, Line* line, int top, int end) {
    line->top = top;
    line->end = end;
    std::fill(bitmap->rows + top, bitmap->rows + end, line);
}

// Turns the picture plain: every pixel's colour, written from the bands. False, and the
// bitmap lost, when there is no memory for it.
bool MakePlain(Bitmap* bitmap);

// The pixel word at (x, y), inside the picture.
inline std::uint32_t PixelAt(const Bitmap& bitmap, std::int64_t x, std::int64_t y) {
    if (bitmap.plain != nullptr) return bitmap.plain[y * bitmap.width + x];
    const Line* line = bitmap.rows[y];
    return bitmap.colours[line->uniform ? line->colour : line->pixels[x]];
}

}  // namespace gdi
