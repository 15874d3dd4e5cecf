#include "platform/winapi/Gdi.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
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

// Pixels are 32-bit words 0x00RRGGBB, top row first: the memory layout of a 32-bit top-down
// DIB (bytes blue, green, red, 0).
struct Bitmap : Object {
    int width;
    int height;
    std::uint32_t* pixels;
    DeviceContext* selected_into;
    // A new bitmap is black. The pixels are cleared only when first needed, and not at all
    // when the first drawing covers the whole picture, as the background of every picture
    // does: that saves a pass over every pixel.
    bool cleared;
};

void Clear(Bitmap* bitmap) {
    if (bitmap->cleared || bitmap->pixels == nullptr) return;
    std::memset(bitmap->pixels, 0,
                static_cast<std::size_t>(bitmap->width) * static_cast<std::size_t>(bitmap->height) *
                    sizeof *bitmap->pixels);
    bitmap->cleared = true;
}

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
Bitmap stock_bitmap = {{kObjectTag, Kind::Bitmap, true}, 0, 0, nullptr, nullptr, true};
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

// Two pixels a store.
void FillPixels(std::uint32_t* out, std::size_t count, std::uint32_t pixel) {
    const std::uint64_t pair = pixel | (std::uint64_t{pixel} << 32);
    std::size_t i = 0;
    for (; i + 2 <= count; i += 2) std::memcpy(out + i, &pair, sizeof pair);
    if (i < count) out[i] = pixel;
}

void FillSpan(Bitmap* bitmap, std::int64_t left, std::int64_t top, std::int64_t right,
              std::int64_t bottom, std::uint32_t pixel) {
    left = std::max<std::int64_t>(left, 0);
    top = std::max<std::int64_t>(top, 0);
    right = std::min<std::int64_t>(right, bitmap->width);
    bottom = std::min<std::int64_t>(bottom, bitmap->height);
    if (left >= right || top >= bottom) return;
    if (left == 0 && top == 0 && right == bitmap->width && bottom == bitmap->height) {
        bitmap->cleared = true;  // every pixel is about to be written
    } else {
        Clear(bitmap);
    }
    const std::size_t count = static_cast<std::size_t>(right - left);
    const std::size_t width = static_cast<std::size_t>(bitmap->width);
    std::uint32_t* first = bitmap->pixels + static_cast<std::size_t>(top) * width + left;
    FillPixels(first, count, pixel);
    // The other rows copy the first: one library copy per row instead of a store per pixel.
    std::uint32_t* row = first + width;
    for (std::int64_t y = top + 1; y < bottom; ++y, row += width) {
        if (count >= 16) {
            std::memcpy(row, first, count * sizeof *row);
        } else {
            FillPixels(row, count, pixel);
        }
    }
}

void PlotPixel(Bitmap* bitmap, std::int64_t x, std::int64_t y) {
    if (x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) return;
    bitmap->pixels[static_cast<std::size_t>(y) * bitmap->width + x] = kPenPixel;
}

// A line from (x0, y0) towards (x1, y1), end point excluded. Straight lines are one span; a
// slanted one steps along its longer axis and rounds the other coordinate to the nearest
// pixel, visiting only the steps whose major coordinate lies inside the picture.
void DrawLine(Bitmap* bitmap, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
    if (x0 == x1 && y0 == y1) return;
    if (y0 == y1) {
        if (x1 > x0)
            FillSpan(bitmap, x0, y0, x1, y0 + 1, kPenPixel);
        else
            FillSpan(bitmap, x1 + 1, y0, x0 + 1, y0 + 1, kPenPixel);
        return;
    }
    if (x0 == x1) {
        if (y1 > y0)
            FillSpan(bitmap, x0, y0, x0 + 1, y1, kPenPixel);
        else
            FillSpan(bitmap, x0, y1 + 1, x0 + 1, y0 + 1, kPenPixel);
        return;
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
        if (x_major)
            PlotPixel(bitmap, major, minor);
        else
            PlotPixel(bitmap, minor, major);
    }
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
#endif

// 1 bit a pixel, 8 pixels a byte. Where the vector unit is known to be there, 8 pixels are
// compared with the two remembered colours at once.
BYTE* PackOneBitBytes(const std::uint32_t* pixels, int width, ColorMatcher& matcher, BYTE* out,
                      int* done) {
    int x = 0;
#if defined(__SSE2__)
    for (; x + 8 <= width; x += 8) {
        const ColorMatcher::Pair pair = matcher.Remembered();
        const unsigned is_a = EqualMask(pixels + x, _mm_set1_epi32(static_cast<int>(pair.a)));
        const unsigned is_b = EqualMask(pixels + x, _mm_set1_epi32(static_cast<int>(pair.b)));
        if ((is_a | is_b) != 0xFF) {
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
        for (; x + 2 <= width; x += 2) *out++ = static_cast<BYTE>(matcher.Pack(pixels + x, 2, 4));
    }
    if (x < width) {
        const int rest = width - x;
        *out++ =
            static_cast<BYTE>(matcher.Pack(pixels + x, rest, bits) << (bits * (per_byte - rest)));
    }
    while (out < row_end) *out++ = 0;  // the row's padding
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
    const std::size_t pixel_count = static_cast<std::size_t>(cx) * static_cast<std::size_t>(cy);
    const std::size_t header = (sizeof(Bitmap) + 15) & ~std::size_t{15};
    if (pixel_count > (std::numeric_limits<std::size_t>::max() - header) / 4) return nullptr;
    void* memory = CoTaskMemAlloc(header + pixel_count * 4);
    if (memory == nullptr) return nullptr;
    auto* bitmap = new (memory) Bitmap{};
    bitmap->tag = kObjectTag;
    bitmap->kind = Kind::Bitmap;
    bitmap->stock = false;
    bitmap->width = cx;
    bitmap->height = cy;
    bitmap->pixels = reinterpret_cast<std::uint32_t*>(static_cast<BYTE*>(memory) + header);
    bitmap->selected_into = nullptr;
    bitmap->cleared = false;
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
    if (dc->bitmap->pixels != nullptr) {
        FillSpan(dc->bitmap, DeviceX(dc, lprc->left), DeviceY(dc, lprc->top),
                 DeviceX(dc, lprc->right), DeviceY(dc, lprc->bottom), brush->pixel);
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
    if (dc->bitmap->pixels != nullptr) {
        Clear(dc->bitmap);
        DrawLine(dc->bitmap, DeviceX(dc, dc->position.x), DeviceY(dc, dc->position.y),
                 DeviceX(dc, x), DeviceY(dc, y));
    }
    dc->position = {x, y};
    return TRUE;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    const DeviceContext* dc = ContextOf(hdc);
    if (dc == nullptr) return CLR_INVALID;
    Bitmap* bitmap = dc->bitmap;
    const std::int64_t dx = DeviceX(dc, x);
    const std::int64_t dy = DeviceY(dc, y);
    if (dx < 0 || dy < 0 || dx >= bitmap->width || dy >= bitmap->height) return CLR_INVALID;
    Clear(bitmap);
    return ColorOf(bitmap->pixels[static_cast<std::size_t>(dy) * bitmap->width + dx]);
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
    const int lines = static_cast<int>(std::min<std::int64_t>(cLines, bitmap->height - start));
    Clear(bitmap);

    const RGBQUAD* table = bits == 1 ? kMonochromeColors : kVgaColors;
    const int entries = bits == 32 ? 0 : 1 << bits;
    auto* colors = reinterpret_cast<RGBQUAD*>(reinterpret_cast<BYTE*>(lpbmi) + header.biSize);
    for (int i = 0; i < entries; ++i) colors[i] = table[i];

    const std::size_t stride =
        ((static_cast<std::size_t>(bitmap->width) * bits + 31) & ~std::size_t{31}) / 8;
    ColorMatcher matcher(table, entries);
    auto* out = static_cast<BYTE*>(lpvBits);
    const std::size_t row_bytes = static_cast<std::size_t>(bitmap->width) * 4;
    const std::uint32_t* previous = nullptr;
    for (int j = 0; j < lines; ++j, out += stride) {
        const std::int64_t line = static_cast<std::int64_t>(start) + j;
        const std::int64_t row = bottom_up ? bitmap->height - 1 - line : line;
        const std::uint32_t* pixels =
            bitmap->pixels + static_cast<std::size_t>(row) * bitmap->width;
        // Pictures repeat rows (a background, bars many pixels high): a row equal to the one
        // before packs the same, and comparing is much cheaper than packing.
        if (previous != nullptr && std::memcmp(pixels, previous, row_bytes) == 0) {
            std::memcpy(out, out - stride, stride);
        } else {
            PackRow(pixels, bitmap->width, bits, matcher, out, stride);
        }
        previous = pixels;
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
