#include "platform/winapi/gdi/BandedBitmap.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/winapi/Memory.h"

namespace gdi {
namespace {

// The parts of a block of memory start on cache lines.
constexpr std::size_t Aligned(std::size_t bytes) {
    return (bytes + 63) & ~std::size_t{63};
}

// Bytes of `count` lines, and of their pixels at `width` pixels a line, slack included.
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

}  // namespace

// When none is left, a new block as large as all before it, up to the picture's height in all.
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

Bitmap* NewBitmap(int width, int height) {
    // One block: the bitmap, its rows, and the first lines, enough for most pictures.
    const std::int64_t first_lines = std::min<std::int64_t>(height, kFirstLines);
    const std::size_t header = Aligned(sizeof(Bitmap));
    const std::size_t rows = Aligned(static_cast<std::size_t>(height) * sizeof(Line*));
    void* memory =
        CoTaskMemAlloc(header + rows + LineBytes(first_lines) + PixelBytes(first_lines, width));
    if (memory == nullptr) return nullptr;
    auto* bitmap = new (memory) Bitmap{};
    bitmap->tag = kObjectTag;
    bitmap->kind = Kind::Bitmap;
    bitmap->stock = false;
    bitmap->width = width;
    bitmap->height = height;
    bitmap->rows = reinterpret_cast<Line**>(static_cast<BYTE*>(memory) + header);
    AddLines(bitmap, static_cast<BYTE*>(memory) + header + rows, first_lines);
    // Black: one band of one colour, the first of the table.
    bitmap->colours[0] = 0x000000;
    bitmap->colour_count = 1;
    bitmap->last_colour = 0x000000;  // index 0, as last_index already says
    Line* black = TakeLine(bitmap);
    black->colour = 0;
    SetBand(bitmap, black, 0, height);
    return bitmap;
}

void FreeBitmap(Bitmap* bitmap) {
    for (LineBlock* block = bitmap->blocks; block != nullptr;) {
        LineBlock* next = block->next;
        CoTaskMemFree(block);
        block = next;
    }
    CoTaskMemFree(bitmap->plain);
    bitmap->tag = 0;
    CoTaskMemFree(bitmap);
}

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
    bitmap->last_colour = kNoPixel;  // every painting now goes to the plain picture
    return true;
}

}  // namespace gdi
