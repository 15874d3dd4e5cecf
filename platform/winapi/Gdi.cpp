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
// Pixels are 32-bit words 0x00RRGGBB (bytes blue, green, red, 0: a 32-bit DIB's layout). A
// band painted over the whole width in one colour keeps that colour alone until something
// narrower is painted on it, so a background costs nothing per pixel.
struct Line {
    std::uint32_t* pixels;  // the picture's width of pixels; not read while uniform
    std::uint32_t colour;   // every pixel's colour, while uniform
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

struct Bitmap : Object {
    int width;
    int height;
    Line** rows;         // the band of each row, top row first; null for the stock bitmap
    Line* unused_lines;  // the rest of the last block, `unused` lines
    std::int64_t unused;
    LineBlock* blocks;      // blocks of lines beyond the first, which lives with the bitmap
    std::int64_t capacity;  // lines in all blocks
    std::uint64_t reads;    // read-backs so far
    // A painting ran out of memory for a line: the picture no longer shows what was painted,
    // so it cannot be read back.
    bool lost;
    DeviceContext* selected_into;
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
Bitmap stock_bitmap = {
    {kObjectTag, Kind::Bitmap, true}, 0, 0, nullptr, nullptr, 0, nullptr, 0, 0, false, nullptr};
Brush stock_white_brush = {{kObjectTag, Kind::Brush, true}, 0x00FFFFFF, 0};

constexpr std::uint32_t kPenPixel = 0x00000000;  // the default pen: solid black, one pixel
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

// Bytes of `count` lines, and of their pixels at `width` pixels a line.
std::size_t LineBytes(std::int64_t count) {
    return Aligned(static_cast<std::size_t>(count) * sizeof(Line));
}
std::size_t PixelBytes(std::int64_t count, int width) {
    return static_cast<std::size_t>(count) * static_cast<std::size_t>(width) *
           sizeof(std::uint32_t);
}
constexpr std::size_t kBlockHeader = Aligned(sizeof(LineBlock));
// Lines that come with a new bitmap: as many as the pictures of most symbols have bands.
constexpr std::int64_t kFirstLines = 64;

// Lays out `count` lines and their pixels from `memory`, to be taken next.
void AddLines(Bitmap* bitmap, BYTE* memory, std::int64_t count) {
    auto* lines = reinterpret_cast<Line*>(memory);
    auto* pixels = reinterpret_cast<std::uint32_t*>(memory + LineBytes(count));
    for (std::int64_t i = 0; i < count; ++i)
        lines[i] = Line{pixels + i * bitmap->width, 0, true, 0, 0, 0, 0};
    bitmap->unused_lines = lines;
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
    return bitmap->unused_lines++;
}

// Four pixels a store where the vector unit is known to be there: bars are a few pixels wide,
// and the compiler does not vectorise a loop of unknown, often short, length.
inline void FillPixels(std::uint32_t* out, int count, std::uint32_t pixel) {
#if defined(__SSE2__)
    if (count >= 4) {
        // The last four pixels are stored again where they overlap: no loop for the rest.
        const __m128i four = _mm_set1_epi32(static_cast<int>(pixel));
        for (int i = 0; i + 4 < count; i += 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), four);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + count - 4), four);
        return;
    }
#endif
    for (int i = 0; i < count; ++i) out[i] = pixel;
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
        std::memcpy(line->pixels, from->pixels, PixelBytes(1, bitmap->width));
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
                                          std::uint32_t colour) {
    const bool whole_width = left == 0 && right == bitmap->width;
    for (int y = top; y < bottom;) {
        Line* band = bitmap->rows[y];
        const int stop = std::min(band->end, bottom);
        if (!(band->uniform && band->colour == colour)) {
            if (band->top < y || stop < band->end) {
                band = SplitBand(bitmap, band, y, stop, !whole_width);
                if (band == nullptr) return false;
            }
            if (whole_width) {
                band->uniform = true;
                band->colour = colour;
            } else {
                if (band->uniform) {
                    FillPixels(band->pixels, bitmap->width, band->colour);
                    band->uniform = false;
                }
                FillPixels(band->pixels + left, right - left, colour);
            }
        }
        y = stop;
    }
    return true;
}

// Most paintings are bars, each over exactly the band that its row of the symbol became
// with the row's first bar: they go straight to the band's pixels.
inline bool Paint(Bitmap* bitmap, int left, int top, int right, int bottom, std::uint32_t colour) {
    Line* band = bitmap->rows[top];
    if (band->top == top && band->end == bottom && !band->uniform && right - left < bitmap->width) {
        FillPixels(band->pixels + left, right - left, colour);
        return true;
    }
    return PaintBands(bitmap, left, top, right, bottom, colour);
}

// Clips the rectangle to the picture and paints what is left. False when the bitmap ran out
// of memory.
inline bool FillSpan(Bitmap* bitmap, std::int64_t left, std::int64_t top, std::int64_t right,
                     std::int64_t bottom, std::uint32_t pixel) {
    left = std::max<std::int64_t>(left, 0);
    top = std::max<std::int64_t>(top, 0);
    right = std::min<std::int64_t>(right, bitmap->width);
    bottom = std::min<std::int64_t>(bottom, bitmap->height);
    if (left >= right || top >= bottom) return true;
    return Paint(bitmap, static_cast<int>(left), static_cast<int>(top), static_cast<int>(right),
                 static_cast<int>(bottom), pixel);
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
unsigned NearestEntry(std::uint32_t pixel, const RGBQUAD* table, int entries) {
    unsigned best = 0;
    int best_distance = SquaredDistance(pixel, table[0]);
    for (int i = 1; i < entries; ++i) {
        const int distance = SquaredDistance(pixel, table[i]);
        if (distance < best_distance) {
            best = static_cast<unsigned>(i);
            best_distance = distance;
        }
    }
    return best;
}

// Matches pixels to table entries, remembering the last two colours met: a picture is made
// of runs of few colours (a background and bars), so the search runs about once per new
// colour instead of once per pixel, and telling the two remembered colours apart needs no
// branch.
class ColorMatcher {
public:
    ColorMatcher(const RGBQUAD* table, int entries) : table_(table), entries_(entries) {}

    unsigned IndexOf(std::uint32_t pixel) {
        const bool is_a = pixel == a_;
        if (!is_a && pixel != b_) Remember(pixel);
        return pixel == a_ ? index_a_ : index_b_;
    }

    // The bits of `count` pixels (count × bits ≤ 8), first pixel highest. The common case,
    // every pixel one of the two remembered colours, is computed without a branch per pixel.
    unsigned Pack(const std::uint32_t* pixels, int count, int bits) {
        unsigned byte = 0;
        bool known = true;
        for (int k = 0; k < count; ++k) {
            const bool is_a = pixels[k] == a_;
            known &= is_a | (pixels[k] == b_);
            byte = (byte << bits) | (is_a ? index_a_ : index_b_);
        }
        if (known) return byte;
        byte = 0;
        for (int k = 0; k < count; ++k) byte = (byte << bits) | IndexOf(pixels[k]);
        return byte;
    }

    struct Pair {
        std::uint32_t a, b;
        unsigned index_a, index_b;
    };
    Pair Remembered() const { return {a_, b_, index_a_, index_b_}; }

private:
    void Remember(std::uint32_t pixel) {
        b_ = a_;
        index_b_ = index_a_;
        a_ = pixel;
        index_a_ = NearestEntry(pixel, table_, entries_);
    }

    const RGBQUAD* table_;
    int entries_;
    // No pixel word has a nonzero top byte, so these match nothing until replaced.
    std::uint32_t a_ = 0xFFFFFFFF;
    std::uint32_t b_ = 0xFFFFFFFF;
    unsigned index_a_ = 0;
    unsigned index_b_ = 0;
};

#if defined(__SSE2__)
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

// Which of 8 pixels equal `colour`: bit k for pixel k.
inline unsigned EqualMask(const std::uint32_t* pixels, __m128i colour) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 4));
    const unsigned low_mask =
        static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(low, colour))));
    const unsigned high_mask =
        static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(high, colour))));
    return low_mask | (high_mask << 4);
}

// Whether 8 pixels are all one of the two remembered colours; if so, which are colour a (bit
// k for pixel k) and what the two colours are.
inline bool EightOfTwoColours(const std::uint32_t* pixels, const ColorMatcher& matcher,
                              ColorMatcher::Pair* pair, unsigned* is_a) {
    *pair = matcher.Remembered();
    *is_a = EqualMask(pixels, _mm_set1_epi32(static_cast<int>(pair->a)));
    const unsigned is_b = EqualMask(pixels, _mm_set1_epi32(static_cast<int>(pair->b)));
    return (*is_a | is_b) == 0xFF;
}
#endif

// 1 bit a pixel, 8 pixels a byte. Where the vector unit is known to be there, 8 pixels are
// compared with the two remembered colours at once.
BYTE* PackOneBitBytes(const std::uint32_t* pixels, int width, ColorMatcher& matcher, BYTE* out,
                      int* done) {
    int x = 0;
#if defined(__SSE2__)
    for (; x + 8 <= width; x += 8) {
        ColorMatcher::Pair pair;
        unsigned is_a;
        if (!EightOfTwoColours(pixels + x, matcher, &pair, &is_a)) {
            *out++ = static_cast<BYTE>(matcher.Pack(pixels + x, 8, 1));
            continue;
        }
        // A pixel that is not colour a is colour b.
        const unsigned ones =
            (pair.index_a != 0 ? is_a : 0) | (pair.index_b != 0 ? ~is_a & 0xFF : 0);
        *out++ = kBitReversal.table[ones];
    }
#else
    for (; x + 8 <= width; x += 8) *out++ = static_cast<BYTE>(matcher.Pack(pixels + x, 8, 1));
#endif
    *done = x;
    return out;
}

#if defined(__SSE2__)
// For each set of 8 pixels (bit k for pixel k), a 32-bit word with the nibbles of those pixels
// set, laid out as the four bytes they are stored in: pixel 0 in the high half of the first.
struct NibbleSpread {
    std::uint32_t table[256];
    constexpr NibbleSpread() : table() {
        for (int m = 0; m < 256; ++m) {
            for (int k = 0; k < 8; ++k) {
                if (((m >> k) & 1) != 0) table[m] |= 0xFu << (8 * (k / 2) + (k % 2 == 0 ? 4 : 0));
            }
        }
    }
};
constexpr NibbleSpread kNibbleSpread;
#endif

// 4 bits a pixel, 2 pixels a byte. Where the vector unit is known to be there, 8 pixels are
// compared with the two remembered colours at once and become four bytes.
BYTE* PackFourBitBytes(const std::uint32_t* pixels, int width, ColorMatcher& matcher, BYTE* out,
                       int* done) {
    int x = 0;
#if defined(__SSE2__)
    for (; x + 8 <= width; x += 8) {
        ColorMatcher::Pair pair;
        unsigned is_a;
        if (!EightOfTwoColours(pixels + x, matcher, &pair, &is_a)) {
            for (int k = 0; k < 8; k += 2) {
                *out++ = static_cast<BYTE>(matcher.Pack(pixels + x + k, 2, 4));
            }
            continue;
        }
        // A pixel that is not colour a is colour b.
        const std::uint32_t nibbles =
            (pair.index_b * 0x11111111u) ^
            ((pair.index_a ^ pair.index_b) * 0x11111111u & kNibbleSpread.table[is_a]);
        std::memcpy(out, &nibbles, 4);
        out += 4;
    }
#endif
    for (; x + 2 <= width; x += 2) *out++ = static_cast<BYTE>(matcher.Pack(pixels + x, 2, 4));
    *done = x;
    return out;
}

void PackRow(const std::uint32_t* pixels, int width, int bits, ColorMatcher& matcher, BYTE* out,
             std::size_t stride) {
    if (bits == 32) {
        std::memcpy(out, pixels, static_cast<std::size_t>(width) * 4);
        return;
    }
    BYTE* const row_end = out + stride;
    const int per_byte = 8 / bits;
    int x = 0;
    if (bits == 1) {
        out = PackOneBitBytes(pixels, width, matcher, out, &x);
    } else {
        out = PackFourBitBytes(pixels, width, matcher, out, &x);
    }
    if (x < width) {
        const int rest = width - x;
        *out++ =
            static_cast<BYTE>(matcher.Pack(pixels + x, rest, bits) << (bits * (per_byte - rest)));
    }
    while (out < row_end) *out++ = 0;  // the row's padding
}

// A line of one colour: every pixel the same bits, the row's padding 0.
void PackUniform(std::uint32_t colour, int width, int bits, ColorMatcher& matcher, BYTE* out,
                 std::size_t stride) {
    if (bits == 32) {
        for (int x = 0; x < width; ++x) std::memcpy(out + 4 * x, &colour, 4);
        return;
    }
    const unsigned index = matcher.IndexOf(colour);
    const BYTE pattern = static_cast<BYTE>(bits == 1 ? index * 0xFF : index * 0x11);
    const std::size_t whole_bytes = static_cast<std::size_t>(width) * bits / 8;
    const int rest = static_cast<int>(static_cast<std::size_t>(width) * bits % 8);
    std::memset(out, pattern, whole_bytes);
    std::size_t used = whole_bytes;
    if (rest > 0) out[used++] = static_cast<BYTE>(pattern & (0xFF << (8 - rest)));
    std::memset(out + used, 0, stride - used);
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
    // A new bitmap is black: one band of one colour.
    Line* black = TakeLine(bitmap);
    black->colour = 0x000000;
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
    DeviceContext* dc = ContextOf(hdc);
    const Brush* brush = ObjectOf<Brush>(reinterpret_cast<void*>(hbr), Kind::Brush);
    if (dc == nullptr || lprc == nullptr || brush == nullptr) return 0;
    Bitmap* bitmap = dc->bitmap;
    if (bitmap->rows == nullptr) return 1;  // no picture to draw into
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
    const Line* line = bitmap->rows[dy];
    return ColorOf(line->uniform ? line->colour : line->pixels[dx]);
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
    ColorMatcher matcher(table, entries);
    auto* const base = static_cast<BYTE*>(lpvBits);
    // Each distinct line is packed once; the other rows showing it copy its bytes from the
    // last row that took them, the one before in a band.
    const std::uint64_t read = ++bitmap->reads;
    for (int j = 0; j < lines; ++j) {
        BYTE* const out = base + static_cast<std::size_t>(j) * stride;
        const std::int64_t line_number = static_cast<std::int64_t>(start) + j;
        Line* line = bitmap->rows[bottom_up ? bitmap->height - 1 - line_number : line_number];
        if (line->packed_in == read) {
            std::memcpy(out, base + line->packed_at, stride);
        } else if (line->uniform) {
            PackUniform(line->colour, bitmap->width, bits, matcher, out, stride);
        } else {
            PackRow(line->pixels, bitmap->width, bits, matcher, out, stride);
        }
        line->packed_in = read;
        line->packed_at = static_cast<std::size_t>(out - base);
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
