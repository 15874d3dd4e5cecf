// Reading the drawn picture back: the platform copies the bitmap into a 1- or 4-bit DIB, and
// the DIB is unpacked into one plane per colour component, top row first.
#include <cstring>

#include "component/QuillonState.h"

namespace {

int StrideOf(std::int32_t width, int bits) {
    return static_cast<int>(((static_cast<std::int64_t>(width) * bits + 31) & ~std::int64_t{31}) /
                            8);
}

// For every value of a DIB byte, the plane bytes of the pixels it holds: an 8-bit lookup in
// place of a shift, mask and table read per pixel.
struct ByteExpansion {
    BYTE red[256][8];
    BYTE green[256][8];
    BYTE blue[256][8];
};

void BuildExpansion(const RGBQUAD* table, int bits, ByteExpansion& out) {
    const int per_byte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (unsigned v = 0; v < 256; ++v) {
        for (int k = 0; k < per_byte; ++k) {
            const RGBQUAD& entry = table[(v >> (8 - bits * (k + 1))) & mask];
            out.red[v][k] = entry.rgbRed;
            out.green[v][k] = entry.rgbGreen;
            out.blue[v][k] = entry.rgbBlue;
        }
    }
}

}  // namespace

HGLOBAL QuillonState::CaptureBitmap(HBITMAP bitmap) {
    // Pure white and pure black need only 1 bit; any other colour is reduced to the 16-colour
    // table.
    const int bits = (BackColorBits == 1 && BarColorBits == 1) ? 1 : 4;
    const int entries = 1 << bits;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = ImageWidth;
    header.biHeight = ImageHeight;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bits);
    header.biCompression = BI_RGB;
    header.biSizeImage =
        static_cast<DWORD>(StrideOf(ImageWidth, bits)) * static_cast<DWORD>(ImageHeight);

    HDC screen = GetDC(nullptr);
    if (screen == nullptr)
        return nullptr;
    const std::size_t table_bytes = sizeof(RGBQUAD) * entries;
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, sizeof header + table_bytes + header.biSizeImage);
    if (block != nullptr) {
        auto* bytes = reinterpret_cast<BYTE*>(block);
        std::memcpy(bytes, &header, sizeof header);
        const int lines = GetDIBits(screen, bitmap, 0, static_cast<UINT>(ImageHeight),
                                    bytes + sizeof header + table_bytes,
                                    reinterpret_cast<BITMAPINFO*>(bytes), DIB_RGB_COLORS);
        // A picture that could not be read back would be unpacked from whatever the block
        // held; better no picture at all.
        if (lines != ImageHeight)
            block = GlobalFree(block);
    }
    ReleaseDC(nullptr, screen);
    return block;
}

void QuillonState::UnpackPixels(HGLOBAL block) {
    const auto* bytes = reinterpret_cast<const BYTE*>(block);
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes, sizeof header);
    const int bits = header.biBitCount;
    const auto* table = reinterpret_cast<const RGBQUAD*>(bytes + header.biSize);
    const BYTE* rows = bytes + header.biSize + sizeof(RGBQUAD) * (std::size_t{1} << bits);
    const int stride = StrideOf(ImageWidth, bits);
    const int per_byte = 8 / bits;
    const int whole_bytes = ImageWidth / per_byte;
    const int rest = ImageWidth % per_byte;

    ByteExpansion expansion;
    BuildExpansion(table, bits, expansion);
    BYTE* red = RedPlane;
    BYTE* green = GreenPlane;
    BYTE* blue = BluePlane;
    // The DIB stores its bottom row first; the planes start with the top row.
    for (std::int32_t s = 0; s < ImageHeight; ++s) {
        const BYTE* row = rows + static_cast<std::size_t>(ImageHeight - 1 - s) * stride;
        for (int i = 0; i < whole_bytes; ++i) {
            const BYTE v = row[i];
            std::memcpy(red, expansion.red[v], 8 / bits);
            std::memcpy(green, expansion.green[v], 8 / bits);
            std::memcpy(blue, expansion.blue[v], 8 / bits);
            red += per_byte;
            green += per_byte;
            blue += per_byte;
        }
        if (rest > 0) {
            const BYTE v = row[whole_bytes];
            std::memcpy(red, expansion.red[v], rest);
            std::memcpy(green, expansion.green[v], rest);
            std::memcpy(blue, expansion.blue[v], rest);
            red += rest;
            green += rest;
            blue += rest;
        }
    }
}
