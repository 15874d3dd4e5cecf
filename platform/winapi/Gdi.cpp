#include "platform/winapi/Gdi.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/winapi/Memory.h"

namespace {

// Every object starts with this header, so that a handle can be checked for its kind before
// it is used: a handle of the wrong kind fails the call instead of corrupting memory.
constexpr std::uint32_t kObjectTag = 0x47444931;  // "GDI1"

enum class Kind : std::uint32_t { ScreenContext, MemoryContext, Bitmap, Brush };

struct Object {
    std::uint32_t tag;
    Kind kind;
    bool stock;  // never deleted, never counted
};

struct DeviceContext;

// The picture is kept as bands: runs of rows that show the same scanline. A symbol's rows are
// one scanline many pixels deep and a background leaves most rows alike, so a picture has far
// fewer bands than rows. Painting changes each band's scanline once, splitting a band where
// the rectangle begins or ends inside it; reading back packs each band once and copies it to
// the band's other rows.
//
// A pixel is one byte, an index into the picture's table of the colours painted on it: a
// picture shows a few colours, and a byte a pixel is a quarter of the memory to fill and read
// that the colours themselves would take. A band painted over the whole width in one colour
// keeps that colour alone until something narrower is painted on it, so a background costs
// nothing per pixel.
//
// The table holds 256 colours. A picture painted with more turns plain: a 32-bit word
// 0x00RRGGBB (bytes blue, green, red, 0: a 32-bit DIB's layout) for every pixel, without
// bands, exact whatever is painted; no drawing of the component's comes near that.
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

struct Brush : Object {
    std::uint32_t pixel;  // the brush colour as a pixel word
    int selections;       // drawing contexts it is selected into
};

struct DeviceContext : Object {
    Bitmap* bitmap;
    Brush* brush;
    int map_mode;
    SIZE window_extent;
    POINT window_origin;
    POINT position;  // current position of the pen, logical units
};

// The stock objects a new memory context starts with. Shared by all threads and never
// written: stock objects take part in no counting.
constinit Bitmap stock_bitmap = [] {
    Bitmap bitmap{};
    bitmap.tag = kObjectTag;
    bitmap.kind = Kind::Bitmap;
    bitmap.stock = true;
    return bitmap;
}();
Brush stock_white_brush = {{kObjectTag, Kind::Brush, true}, 0x00FFFFFF, 0};

constexpr std::uint32_t kPenPixel = 0x00000000;  // the default pen: solid black, one pixel
// Pixel words have a zero top byte, so this is none of them.
constexpr std::uint32_t kNoPixel = 0xFFFFFFFF;
constexpr int kDefaultDpi = 96;

thread_local int screen_dpi_x = 0;
thread_local int screen_dpi_y = 0;

template <typename T>
T* ObjectOf(const void* handle, Kind kind) {
    if (handle == nullptr) return nullptr;
    auto* object = static_cast<Object*>(const_cast<void*>(handle));
    if (object->tag != kObjectTag || object->kind != kind) return nullptr;
    return static_cast<T*>(object);
}

DeviceContext* ContextOf(HDC hdc) {
    if (hdc == nullptr) return nullptr;
    auto* object = reinterpret_cast<Object*>(hdc);
    if (object->tag != kObjectTag) return nullptr;
    if (object->kind != Kind::ScreenContext && object->kind != Kind::MemoryContext) {
        return nullptr;
    }
    return static_cast<DeviceContext*>(object);
}

DeviceContext* MemoryContextOf(HDC hdc) {
    return ObjectOf<DeviceContext>(reinterpret_cast<void*>(hdc), Kind::MemoryContext);
}

template <typename T>
T* Allocate() {
    void* memory = CoTaskMemAlloc(sizeof(T));
    return memory == nullptr ? nullptr : new (memory) T{};
}

DeviceContext* NewContext(Kind kind) {
    auto* dc = Allocate<DeviceContext>();
    if (dc == nullptr) return nullptr;
    dc->tag = kObjectTag;
    dc->kind = kind;
    dc->stock = false;
    dc->bitmap = &stock_bitmap;
    dc->brush = &stock_white_brush;
    dc->map_mode = MM_TEXT;
    dc->window_extent = {1, 1};
    dc->window_origin = {0, 0};
    dc->position = {0, 0};
    return dc;
}

void FreeContext(DeviceContext* dc) {
    if (dc->bitmap != nullptr && !dc->bitmap->stock) dc->bitmap->selected_into = nullptr;
    if (dc->brush != nullptr && !dc->brush->stock) --dc->brush->selections;
    dc->tag = 0;
    CoTaskMemFree(dc);
}

std::uint32_t PixelOf(COLORREF color) {
    return (static_cast<std::uint32_t>(GetRValue(color)) << 16) |
           (static_cast<std::uint32_t>(GetGValue(color)) << 8) | GetBValue(color);
}

COLORREF ColorOf(std::uint32_t pixel) {
    return RGB(static_cast<BYTE>(pixel >> 16), static_cast<BYTE>(pixel >> 8),
               static_cast<BYTE>(pixel));
}

// Logical to picture coordinates: the window origin is drawn at the top-left pixel. 64 bits,
// so that no logical coordinate and origin can overflow.
std::int64_t DeviceX(const DeviceContext* dc, std::int64_t x) {
    return x - dc->window_origin.x;
}
std::int64_t DeviceY(const DeviceContext* dc, std::int64_t y) {
    return y - dc->window_origin.y;
}

// The parts of a block of memory start on cache lines.
constexpr std::size_t Aligned(std::size_t bytes) {
    return (bytes + 63) & ~std::size_t{63};
}

// Bytes of `count` lines, and of their pixels at `width` pixels a line. Each line's pixels
// are followed by kSlack bytes that are no pixels, so that a short fill can load and store 16
// bytes whatever its length (FillShort).
constexpr std::size_t kSlack = 15;
std::size_t LineBytes(std::int64_t count) {
    return Aligned(static_cast<std::size_t>(count) * sizeof(Line));
}
std::size_t PixelStride(int width) {
    return static_cast<std::size_t>(width) + kSlack;
}
std::size_t PixelBytes(std::int64_t count, int width) {
    return static_cast<std::size_t>(count) * PixelStride(width);
}
constexpr std::size_t kBlockHeader = Aligned(sizeof(LineBlock));
// Lines that come with a new bitmap: as many as the pictures of most symbols have bands.
constexpr std::int64_t kFirstLines = 64;

// Lays out `count` lines and their pixels from `memory`, to be taken next. Each line is set
// up when it is taken: most pictures take a few of the lines a new bitmap comes with.
void AddLines(Bitmap* bitmap, BYTE* memory, std::int64_t count) {
    bitmap->unused_lines = reinterpret_cast<Line*>(memory);
    bitmap->unused_pixels = memory + LineBytes(count);
    bitmap->unused = count;
    bitmap->capacity += count;
}

// A line for a new band. When none is left, a new block as large as all before it, up to the
// picture's height in all. Null, and the bitmap lost, when there is no memory for it.
Line* TakeLine(Bitmap* bitmap) {
    if (bitmap->unused == 0) {
        const std::int64_t count = std::max<std::int64_t>(
            1, std::min<std::int64_t>(bitmap->capacity, bitmap->height - bitmap->capacity));
        void* memory =
            CoTaskMemAlloc(kBlockHeader + LineBytes(count) + PixelBytes(count, bitmap->width));
        if (memory == nullptr) {
            bitmap->lost = true;
            return nullptr;
        }
        auto* block = static_cast<LineBlock*>(memory);
        block->next = bitmap->blocks;
        bitmap->blocks = block;
        AddLines(bitmap, static_cast<BYTE*>(memory) + kBlockHeader, count);
    }
    --bitmap->unused;
    Line* line = bitmap->unused_lines++;
    *line = Line{bitmap->unused_pixels, 0, true, 0, 0, 0, 0};
    bitmap->unused_pixels += PixelStride(bitmap->width);
    return line;
}

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
constexpr FirstBytes kFirstBytes;
#endif

// Fills of up to 16 pixels, the most a bar of a symbol's picture usually is, take one load
// and one store of 16 bytes: the pixels beyond the fill (or the line's slack) are stored as
// they were, and there is no branch on the length.
constexpr int kShortFill = 16;
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

// Makes `line` the band of rows [top, end).
void SetBand(Bitmap* bitmap, Line* line, int top, int end) {
    line->top = top;
    line->end = end;
    std::fill(bitmap->rows + top, bitmap->rows + end, line);
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
// `keep_pixels`.
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

// Paints [left, right) × [top, bottom), already clipped and not empty, band by band. False
// when a line could not be had (the bitmap is then lost, whatever state its bands are in).
// Kept out of line, so that the common case below stays a few instructions.
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

// The picture turned plain: every pixel's colour, written from the bands. False, and the
// bitmap lost, when there is no memory for it.
bool MakePlain(Bitmap* bitmap) {
    const std::size_t width = static_cast<std::size_t>(bitmap->width);
    auto* plain = static_cast<std::uint32_t*>(
        CoTaskMemAlloc(width * static_cast<std::size_t>(bitmap->height) * sizeof(std::uint32_t)));
    if (plain == nullptr) {
        bitmap->lost = true;
        return false;
    }
    for (int y = 0; y < bitmap->height; ++y) {
        const Line* line = bitmap->rows[y];
        std::uint32_t* row = plain + static_cast<std::size_t>(y) * width;
        for (std::size_t x = 0; x < width; ++x) {
            row[x] = bitmap->colours[line->uniform ? line->colour : line->pixels[x]];
        }
    }
    bitmap->plain = plain;
    bitmap->last_colour = kNoPixel;  // every painting now goes to PaintPlain
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

// Paints [left, right) × [top, bottom), already clipped and not empty. False when the bitmap
// ran out of memory.
__attribute__((noinline)) bool Paint(Bitmap* bitmap, int left, int top, int right, int bottom,
                                     std::uint32_t pixel) {
    const int index = IndexOf(bitmap, pixel);
    if (index < 0) return PaintPlain(bitmap, left, top, right, bottom, pixel);
    return PaintBands(bitmap, left, top, right, bottom, static_cast<BYTE>(index));
}

// Most paintings are short bars in the colour painted last, each over exactly the band that
// its row of the symbol became with the row's first bar. They go straight to the band's pixels,
// in a few instructions and without a call. True when the painting was one of them.
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

bool PlotPixel(Bitmap* bitmap, std::int64_t x, std::int64_t y) {
    return FillSpan(bitmap, x, y, x + 1, y + 1, kPenPixel);
}

// A line from (x0, y0) towards (x1, y1), end point excluded. Straight lines are one span; a
// slanted one steps along its longer axis and rounds the other coordinate to the nearest
// pixel, visiting only the steps whose major coordinate lies inside the picture. False when
// the bitmap ran out of memory.
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

// ---- Reading back ----

// The standard 16-colour table, in the order of its indices.
constexpr RGBQUAD kVgaColors[16] = {
    {0x00, 0x00, 0x00, 0}, {0x00, 0x00, 0x80, 0}, {0x00, 0x80, 0x00, 0}, {0x00, 0x80, 0x80, 0},
    {0x80, 0x00, 0x00, 0}, {0x80, 0x00, 0x80, 0}, {0x80, 0x80, 0x00, 0}, {0x80, 0x80, 0x80, 0},
    {0xC0, 0xC0, 0xC0, 0}, {0x00, 0x00, 0xFF, 0}, {0x00, 0xFF, 0x00, 0}, {0x00, 0xFF, 0xFF, 0},
    {0xFF, 0x00, 0x00, 0}, {0xFF, 0x00, 0xFF, 0}, {0xFF, 0xFF, 0x00, 0}, {0xFF, 0xFF, 0xFF, 0},
};
constexpr RGBQUAD kMonochromeColors[2] = {{0x00, 0x00, 0x00, 0}, {0xFF, 0xFF, 0xFF, 0}};

int SquaredDistance(std::uint32_t pixel, const RGBQUAD& entry) {
    const int dr = static_cast<int>((pixel >> 16) & 0xFF) - entry.rgbRed;
    const int dg = static_cast<int>((pixel >> 8) & 0xFF) - entry.rgbGreen;
    const int db = static_cast<int>(pixel & 0xFF) - entry.rgbBlue;
    return dr * dr + dg * dg + db * db;
}

// Index of the table entry nearest to the pixel; the first of equally near entries wins.
BYTE NearestEntry(std::uint32_t pixel, const RGBQUAD* table, int entries) {
    int best = 0;
    int best_distance = SquaredDistance(pixel, table[0]);
    for (int i = 1; i < entries; ++i) {
        const int distance = SquaredDistance(pixel, table[i]);
        if (distance < best_distance) {
            best = i;
            best_distance = distance;
        }
    }
    return static_cast<BYTE>(best);
}

// Bit k of the result is bit 7 − k of the index: pixel 0 goes to the most significant bit.
struct BitReversal {
    BYTE table[256];
    constexpr BitReversal() : table() {
        for (int v = 0; v < 256; ++v) {
            int r = 0;
            for (int k = 0; k < 8; ++k) r |= ((v >> k) & 1) << (7 - k);
            table[v] = static_cast<BYTE>(r);
        }
    }
};
constexpr BitReversal kBitReversal;

// What one read-back makes of the picture's colour indices: the entry of the DIB's colour
// table that each becomes (1 or 4 bits), or the colour itself (32 bits).
class ReadBack {
public:
    ReadBack(const Bitmap& bitmap, int bits)
        : bits_(bits), colours_(bitmap.colours), count_(bitmap.colour_count) {
        if (bits == 32) return;
        const RGBQUAD* table = bits == 1 ? kMonochromeColors : kVgaColors;
        for (int i = 0; i < count_; ++i) entry_[i] = NearestEntry(colours_[i], table, 1 << bits);
#if defined(__SSE2__)
        if (count_ <= kFewColours) PrepareVectors();
#endif
    }

    // One line of colour indices, padded with zero bytes to `stride`.
    void PackLine(const BYTE* pixels, int width, BYTE* out, std::size_t stride) const {
        BYTE* const row_end = out + stride;
        if (bits_ == 32) {
            for (int x = 0; x < width; ++x) std::memcpy(out + 4 * x, &colours_[pixels[x]], 4);
            return;
        }
        int x = 0;
        if (bits_ == 1) {
            out = PackOneBit(pixels, width, out, &x);
            if (x < width) {
                unsigned byte = 0;
                for (int k = x; k < width; ++k) byte |= entry_[pixels[k]] << (7 - (k - x));
                *out++ = static_cast<BYTE>(byte);
            }
        } else {
            out = PackFourBits(pixels, width, out, &x);
            if (x < width) *out++ = static_cast<BYTE>(entry_[pixels[x]] << 4);
        }
        while (out < row_end) *out++ = 0;
    }

    // A line of one colour index: every pixel the same bits, the row's padding 0.
    void PackUniform(BYTE colour, int width, BYTE* out, std::size_t stride) const {
        if (bits_ == 32) {
            for (int x = 0; x < width; ++x) std::memcpy(out + 4 * x, &colours_[colour], 4);
            return;
        }
        const unsigned entry = entry_[colour];
        const BYTE pattern = static_cast<BYTE>(bits_ == 1 ? entry * 0xFF : entry * 0x11);
        const std::size_t whole_bytes = static_cast<std::size_t>(width) * bits_ / 8;
        const int rest = static_cast<int>(static_cast<std::size_t>(width) * bits_ % 8);
        std::memset(out, pattern, whole_bytes);
        std::size_t used = whole_bytes;
        if (rest > 0) out[used++] = static_cast<BYTE>(pattern & (0xFF << (8 - rest)));
        std::memset(out + used, 0, stride - used);
    }

private:
    // Whole bytes of 8 pixels from x = 0; sets *done to the pixels packed. Where the vector
    // unit is known to be there and the picture has at most 4 colours, as a symbol's has, 16
    // pixels at a time are compared with the two indices that stand for them (PrepareVectors).
    BYTE* PackOneBit(const BYTE* pixels, int width, BYTE* out, int* done) const {
        int x = 0;
#if defined(__SSE2__)
        if (count_ <= kFewColours) {
            for (; x + 16 <= width; x += 16) {
                const __m128i sixteen =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + x));
                const unsigned matches = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
                    _mm_cmpeq_epi8(sixteen, match_[0]), _mm_cmpeq_epi8(sixteen, match_[1]))));
                const unsigned ones = matches ^ flip_;
                *out++ = kBitReversal.table[ones & 0xFF];
                *out++ = kBitReversal.table[ones >> 8];
            }
        }
#endif
        for (; x + 8 <= width; x += 8) {
            unsigned byte = 0;
            for (int k = 0; k < 8; ++k) byte = (byte << 1) | entry_[pixels[x + k]];
            *out++ = static_cast<BYTE>(byte);
        }
        *done = x;
        return out;
    }

    // Whole bytes of 2 pixels from x = 0, as PackOneBit; 16 pixels at a time become the
    // entries' nibbles, then pairs of them a byte.
    BYTE* PackFourBits(const BYTE* pixels, int width, BYTE* out, int* done) const {
        int x = 0;
#if defined(__SSE2__)
        if (count_ <= kFewColours) {
            const __m128i low_nibble_of_pair = _mm_set1_epi16(0x00F0);
            for (; x + 16 <= width; x += 16) {
                const __m128i sixteen =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + x));
                __m128i nibbles = _mm_setzero_si128();
                for (int i = 0; i < kFewColours; ++i) {
                    nibbles = _mm_or_si128(
                        nibbles, _mm_and_si128(_mm_cmpeq_epi8(sixteen, index_[i]), nibble_[i]));
                }
                // Each 16-bit lane holds an even pixel's nibble in its low byte and the next
                // pixel's in its high byte; the byte they make is even << 4 | odd.
                const __m128i pairs =
                    _mm_or_si128(_mm_and_si128(_mm_slli_epi16(nibbles, 4), low_nibble_of_pair),
                                 _mm_srli_epi16(nibbles, 8));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(pairs, pairs));
                out += 8;
            }
        }
#endif
        for (; x + 2 <= width; x += 2) {
            *out++ = static_cast<BYTE>((entry_[pixels[x]] << 4) | entry_[pixels[x + 1]]);
        }
        *done = x;
        return out;
    }

#if defined(__SSE2__)
    // The vectors the packing compares with, for at most kFewColours colours. At 4 bits, each
    // index and its entry (indices from count_ on stand for no pixel). At 1 bit, of the
    // indices that become 1 and those that become 0, whichever are fewer (at most 2): their
    // matches are the 1 bits, or the 0 bits with flip_ set.
    void PrepareVectors() {
        for (int i = 0; i < kFewColours; ++i) {
            index_[i] = _mm_set1_epi8(static_cast<char>(i < count_ ? i : kNoIndex));
            nibble_[i] = _mm_set1_epi8(static_cast<char>(i < count_ ? entry_[i] : 0));
        }
        BYTE ones[kFewColours], zeros[kFewColours];
        int one_count = 0, zero_count = 0;
        for (int i = 0; i < count_; ++i) {
            if (entry_[i] != 0) {
                ones[one_count++] = static_cast<BYTE>(i);
            } else {
                zeros[zero_count++] = static_cast<BYTE>(i);
            }
        }
        const bool by_ones = one_count <= zero_count;
        const BYTE* matched = by_ones ? ones : zeros;
        const int matched_count = by_ones ? one_count : zero_count;
        flip_ = by_ones ? 0 : 0xFFFF;
        for (int k = 0; k < 2; ++k) {
            match_[k] = _mm_set1_epi8(static_cast<char>(k < matched_count ? matched[k] : kNoIndex));
        }
    }

#endif

    static constexpr int kFewColours = 4;
    int bits_;
    const std::uint32_t* colours_;
    int count_;
    BYTE entry_[kTableColours] = {};
#if defined(__SSE2__)
    static constexpr BYTE kNoIndex = 0xFF;  // no pixel's index with few colours
    __m128i index_[kFewColours];
    __m128i nibble_[kFewColours];
    __m128i match_[2];
    unsigned flip_ = 0;
#endif
};

// Copies the row of `stride` bytes at `first` into the `copies` rows after it, doubling the
// copied rows at each step: a band of many rows takes few copies.
void ReplicateRow(BYTE* first, std::size_t stride, int copies) {
#if defined(__SSE2__)
    // The rows of a narrow picture are held in a few vector registers and stored once a row:
    // a call for each short copy cost more than the copy.
    if (stride >= 16 && stride <= 64) {
        __m128i pieces[4];
        const std::size_t last = stride - 16;
        for (std::size_t i = 0; i < last; i += 16) {
            pieces[i / 16] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + i));
        }
        const __m128i end = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + last));
        for (int c = 1; c <= copies; ++c) {
            BYTE* row = first + static_cast<std::size_t>(c) * stride;
            for (std::size_t i = 0; i < last; i += 16) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), pieces[i / 16]);
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + last), end);
        }
        return;
    }
#endif
    std::size_t done = 1;  // rows that hold the row
    const std::size_t total = static_cast<std::size_t>(copies) + 1;
    while (done < total) {
        const std::size_t now = std::min(done, total - done);
        std::memcpy(first + done * stride, first, now * stride);
        done += now;
    }
}

// A row of a plain picture: each pixel's nearest entry, found once for each run of equal
// pixels.
void PackPlainRow(const std::uint32_t* pixels, int width, int bits, BYTE* out, std::size_t stride) {
    if (bits == 32) {
        std::memcpy(out, pixels, static_cast<std::size_t>(width) * 4);
        return;
    }
    const RGBQUAD* table = bits == 1 ? kMonochromeColors : kVgaColors;
    std::memset(out, 0, stride);
    std::uint32_t last = pixels[0];
    unsigned entry = NearestEntry(last, table, 1 << bits);
    for (int x = 0; x < width; ++x) {
        if (pixels[x] != last) {
            last = pixels[x];
            entry = NearestEntry(last, table, 1 << bits);
        }
        const std::size_t bit = static_cast<std::size_t>(x) * bits;
        out[bit / 8] = static_cast<BYTE>(out[bit / 8] | entry << (8 - bits - bit % 8));
    }
}

}  // namespace

HDC GetDC(HWND hwnd) {
    if (hwnd != nullptr) return nullptr;
    return reinterpret_cast<HDC>(NewContext(Kind::ScreenContext));
}

int ReleaseDC(HWND hwnd, HDC hdc) {
    if (hwnd != nullptr) return 0;
    auto* dc = ObjectOf<DeviceContext>(reinterpret_cast<void*>(hdc), Kind::ScreenContext);
    if (dc == nullptr) return 0;
    FreeContext(dc);
    return 1;
}

int GetDeviceCaps(HDC hdc, int index) {
    if (ContextOf(hdc) == nullptr) return 0;
    switch (index) {
        case LOGPIXELSX:
            return screen_dpi_x > 0 ? screen_dpi_x : kDefaultDpi;
        case LOGPIXELSY:
            return screen_dpi_y > 0 ? screen_dpi_y : kDefaultDpi;
        default:
            return 0;
    }
}

void PlatformSetScreenResolution(int dpi_x, int dpi_y) {
    screen_dpi_x = dpi_x > 0 ? dpi_x : 0;
    screen_dpi_y = dpi_y > 0 ? dpi_y : 0;
}

HDC CreateCompatibleDC(HDC hdc) {
    if (hdc != nullptr && ContextOf(hdc) == nullptr) return nullptr;
    return reinterpret_cast<HDC>(NewContext(Kind::MemoryContext));
}

BOOL DeleteDC(HDC hdc) {
    DeviceContext* dc = MemoryContextOf(hdc);
    if (dc == nullptr) return FALSE;
    FreeContext(dc);
    return TRUE;
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
    if (ContextOf(hdc) == nullptr || cx < 1 || cy < 1) return nullptr;
    // One block: the bitmap, its rows, and the first lines, enough for most pictures.
    const std::int64_t first_lines = std::min<std::int64_t>(cy, kFirstLines);
    const std::size_t header = Aligned(sizeof(Bitmap));
    const std::size_t rows = Aligned(static_cast<std::size_t>(cy) * sizeof(Line*));
    void* memory =
        CoTaskMemAlloc(header + rows + LineBytes(first_lines) + PixelBytes(first_lines, cx));
    if (memory == nullptr) return nullptr;
    auto* bitmap = new (memory) Bitmap{};
    bitmap->tag = kObjectTag;
    bitmap->kind = Kind::Bitmap;
    bitmap->stock = false;
    bitmap->width = cx;
    bitmap->height = cy;
    bitmap->rows = reinterpret_cast<Line**>(static_cast<BYTE*>(memory) + header);
    AddLines(bitmap, static_cast<BYTE*>(memory) + header + rows, first_lines);
    // A new bitmap is black: one band of one colour, the first of the table.
    bitmap->colours[0] = 0x000000;
    bitmap->colour_count = 1;
    bitmap->last_colour = 0x000000;  // index 0, as last_index already says
    Line* black = TakeLine(bitmap);
    black->colour = 0;
    SetBand(bitmap, black, 0, cy);
    return reinterpret_cast<HBITMAP>(bitmap);
}

HBRUSH CreateSolidBrush(COLORREF color) {
    auto* brush = Allocate<Brush>();
    if (brush == nullptr) return nullptr;
    brush->tag = kObjectTag;
    brush->kind = Kind::Brush;
    brush->stock = false;
    brush->pixel = PixelOf(color);
    brush->selections = 0;
    return reinterpret_cast<HBRUSH>(brush);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
    DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr || h == nullptr) return nullptr;
    if (auto* bitmap = ObjectOf<Bitmap>(h, Kind::Bitmap)) {
        // Only a memory context holds a picture, and a picture is in one context at a time.
        if (dc->kind != Kind::MemoryContext) return nullptr;
        if (!bitmap->stock && bitmap->selected_into != nullptr && bitmap->selected_into != dc) {
            return nullptr;
        }
        Bitmap* previous = dc->bitmap;
        if (!previous->stock) previous->selected_into = nullptr;
        if (!bitmap->stock) bitmap->selected_into = dc;
        dc->bitmap = bitmap;
        return reinterpret_cast<HGDIOBJ>(previous);
    }
    if (auto* brush = ObjectOf<Brush>(h, Kind::Brush)) {
        Brush* previous = dc->brush;
        if (!previous->stock) --previous->selections;
        if (!brush->stock) ++brush->selections;
        dc->brush = brush;
        return reinterpret_cast<HGDIOBJ>(previous);
    }
    return nullptr;
}

BOOL DeleteObject(HGDIOBJ ho) {
    if (auto* bitmap = ObjectOf<Bitmap>(ho, Kind::Bitmap)) {
        if (bitmap->stock) return TRUE;
        if (bitmap->selected_into != nullptr) return FALSE;
        for (LineBlock* block = bitmap->blocks; block != nullptr;) {
            LineBlock* next = block->next;
            CoTaskMemFree(block);
            block = next;
        }
        CoTaskMemFree(bitmap->plain);
        bitmap->tag = 0;
        CoTaskMemFree(bitmap);
        return TRUE;
    }
    if (auto* brush = ObjectOf<Brush>(ho, Kind::Brush)) {
        if (brush->stock) return TRUE;
        if (brush->selections > 0) return FALSE;
        brush->tag = 0;
        CoTaskMemFree(brush);
        return TRUE;
    }
    return FALSE;
}

int SetMapMode(HDC hdc, int mode) {
    DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr || mode != MM_TEXT) return 0;
    const int previous = dc->map_mode;
    dc->map_mode = mode;
    return previous;
}

BOOL SetWindowExtEx(HDC hdc, int x, int y, LPSIZE lpsz) {
    DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr) return FALSE;
    if (lpsz != nullptr) *lpsz = dc->window_extent;
    dc->window_extent = {x, y};
    return TRUE;
}

BOOL SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr) return FALSE;
    if (lppt != nullptr) *lppt = dc->window_origin;
    dc->window_origin = {x, y};
    return TRUE;
}

int FillRect(HDC hdc, const RECT* lprc, HBRUSH hbr) {
    // Each argument fails the call as soon as it is found wrong: with the checks joined in
    // one test at the end, the compiled code tested the context twice, on every bar drawn.
    DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr || lprc == nullptr) return 0;
    const Brush* brush = ObjectOf<Brush>(reinterpret_cast<void*>(hbr), Kind::Brush);
    if (brush == nullptr) return 0;
    // A context without a picture of its own has the stock bitmap, 0 × 0 pixels: every
    // rectangle is clipped away.
    Bitmap* bitmap = dc->bitmap;
    if (bitmap->lost ||
        !FillSpan(bitmap, DeviceX(dc, lprc->left), DeviceY(dc, lprc->top), DeviceX(dc, lprc->right),
                  DeviceY(dc, lprc->bottom), brush->pixel)) {
        return 0;
    }
    return 1;
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
    DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr) return FALSE;
    if (lppt != nullptr) *lppt = dc->position;
    dc->position = {x, y};
    return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
    DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr) return FALSE;
    Bitmap* bitmap = dc->bitmap;
    const bool drawn =
        bitmap->rows == nullptr ||
        (!bitmap->lost && DrawLine(bitmap, DeviceX(dc, dc->position.x), DeviceY(dc, dc->position.y),
                                   DeviceX(dc, x), DeviceY(dc, y)));
    dc->position = {x, y};
    return drawn ? TRUE : FALSE;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    const DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr) return CLR_INVALID;
    Bitmap* bitmap = dc->bitmap;
    const std::int64_t dx = DeviceX(dc, x);
    const std::int64_t dy = DeviceY(dc, y);
    if (bitmap->lost || dx < 0 || dy < 0 || dx >= bitmap->width || dy >= bitmap->height) {
        return CLR_INVALID;
    }
    if (bitmap->plain != nullptr) {
        return ColorOf(bitmap->plain[dy * bitmap->width + dx]);
    }
    const Line* line = bitmap->rows[dy];
    return ColorOf(bitmap->colours[line->uniform ? line->colour : line->pixels[dx]]);
}

int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi,
              UINT usage) {
    Bitmap* bitmap = ObjectOf<Bitmap>(reinterpret_cast<void*>(hbm), Kind::Bitmap);
    if (ContextOf(hdc) == nullptr || bitmap == nullptr || bitmap->stock || lpvBits == nullptr ||
        lpbmi == nullptr || usage != DIB_RGB_COLORS) {
        return 0;
    }
    const BITMAPINFOHEADER& header = lpbmi->bmiHeader;
    const int bits = header.biBitCount;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 ||
        header.biCompression != BI_RGB || (bits != 1 && bits != 4 && bits != 32)) {
        return 0;
    }
    const bool bottom_up = header.biHeight > 0;
    const std::int64_t dib_height = bottom_up ? header.biHeight : -std::int64_t{header.biHeight};
    if (header.biWidth != bitmap->width || dib_height != bitmap->height ||
        start >= static_cast<UINT>(bitmap->height)) {
        return 0;
    }
    if (bitmap->lost) return 0;
    const int lines = static_cast<int>(std::min<std::int64_t>(cLines, bitmap->height - start));

    const RGBQUAD* table = bits == 1 ? kMonochromeColors : kVgaColors;
    const int entries = bits == 32 ? 0 : 1 << bits;
    auto* colors = reinterpret_cast<RGBQUAD*>(reinterpret_cast<BYTE*>(lpbmi) + header.biSize);
    for (int i = 0; i < entries; ++i) colors[i] = table[i];

    const std::size_t stride =
        ((static_cast<std::size_t>(bitmap->width) * bits + 31) & ~std::size_t{31}) / 8;
    auto* const base = static_cast<BYTE*>(lpvBits);
    if (bitmap->plain != nullptr) {
        for (int j = 0; j < lines; ++j) {
            const std::int64_t line_number = static_cast<std::int64_t>(start) + j;
            const std::int64_t y = bottom_up ? bitmap->height - 1 - line_number : line_number;
            PackPlainRow(bitmap->plain + y * bitmap->width, bitmap->width, bits,
                         base + static_cast<std::size_t>(j) * stride, stride);
        }
        return lines;
    }
    const ReadBack read_back(*bitmap, bits);
    // Each distinct line is packed once, into the first of the rows of its band that the
    // read-back meets in a row (the band's rows are next to each other in the DIB, in either
    // order), which are then copied from it; a band met again later copies from where its line
    // was packed.
    const std::uint64_t read = ++bitmap->reads;
    for (int j = 0; j < lines;) {
        BYTE* const out = base + static_cast<std::size_t>(j) * stride;
        const std::int64_t line_number = static_cast<std::int64_t>(start) + j;
        const std::int64_t y = bottom_up ? bitmap->height - 1 - line_number : line_number;
        Line* line = bitmap->rows[y];
        const int in_band = static_cast<int>(bottom_up ? y - line->top + 1 : line->end - y);
        const int rows = std::min(in_band, lines - j);
        if (line->packed_in == read) {
            std::memcpy(out, base + line->packed_at, stride);
        } else if (line->uniform) {
            read_back.PackUniform(line->colour, bitmap->width, out, stride);
        } else {
            read_back.PackLine(line->pixels, bitmap->width, out, stride);
        }
        ReplicateRow(out, stride, rows - 1);
        line->packed_in = read;
        line->packed_at = static_cast<std::size_t>(out - base);
        j += rows;
    }
    return lines;
}

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    if ((uFlags & ~GMEM_ZEROINIT) != GMEM_FIXED) return nullptr;  // movable memory: not here
    void* block = CoTaskMemAlloc(dwBytes);
    if (block != nullptr && (uFlags & GMEM_ZEROINIT) != 0) std::memset(block, 0, dwBytes);
    return reinterpret_cast<HGLOBAL>(block);
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
    CoTaskMemFree(reinterpret_cast<void*>(hMem));
    return nullptr;
}
