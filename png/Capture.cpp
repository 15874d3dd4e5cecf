// Reading the drawn picture back: the platform copies the bitmap into a 1- or 4-bit DIB, and
// the DIB is unpacked into one plane per colour component, top row first.
#include <cstring>

#include "component/state/QuillonState.h"

namespace {

int StrideOf(std::int32_t width, int bits) {
    return static_cast<int>(((static_cast<std::int64_t>(width) * bits + 31) & ~std::int64_t{31}) /
                            8);
}

// For every value of a 1-bit DIB byte, its eight pixels as bytes: one 8-byte copy in place of
// eight shifts and masks.
struct OneBitExpansion {
    BYTE pixels[256][8];
    constexpr OneBitExpansion() : pixels() {
        for (int v = 0; v < 256; ++v) {
            for (int k = 0; k < 8; ++k) pixels[v][k] = static_cast<BYTE>((v >> (7 - k)) & 1);
        }
    }
};
constexpr OneBitExpansion kOneBit;

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
    if (screen == nullptr) return nullptr;
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
        if (lines != ImageHeight) block = GlobalFree(block);
    }
    ReleaseDC(nullptr, screen);
    return block;
}

void QuillonState::UnpackPixels(HGLOBAL block) {
    const auto* bytes = reinterpret_cast<const BYTE*>(block);
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes, sizeof header);
    const int bits = header.biBitCount;
    const BYTE* rows = bytes + header.biSize + sizeof(RGBQUAD) * (std::size_t{1} << bits);
    const int stride = StrideOf(ImageWidth, bits);
    const std::int32_t width = ImageWidth;

    BYTE* out = IndexBuffer;
    const BYTE* previous_row = nullptr;
    // The DIB stores its bottom row first; the indices start with the top row. Each row holds
    // exactly `width` pixels: the padding of the DIB row is skipped.
    for (std::int32_t s = 0; s < ImageHeight; ++s, out += width) {
        const BYTE* row = rows + static_cast<std::size_t>(ImageHeight - 1 - s) * stride;
        // A row like the one above unpacks like it (pictures repeat rows many times).
        const bool repeated = previous_row != nullptr &&
                              std::memcmp(row, previous_row, static_cast<std::size_t>(stride)) == 0;
        previous_row = row;
        if (repeated) {
            std::memcpy(out, out - width, static_cast<std::size_t>(width));
        } else if (bits == 8) {
            std::memcpy(out, row, static_cast<std::size_t>(width));
        } else if (bits == 4) {
            std::int32_t x = 0;
            for (; x + 2 <= width; x += 2) {
                out[x] = static_cast<BYTE>(row[x / 2] >> 4);
                out[x + 1] = static_cast<BYTE>(row[x / 2] & 0x0F);
            }
            if (x < width) out[x] = static_cast<BYTE>(row[x / 2] >> 4);
        } else {
            std::int32_t x = 0;
            for (; x + 8 <= width; x += 8) std::memcpy(out + x, kOneBit.pixels[row[x / 8]], 8);
            if (x < width) {
                std::memcpy(out + x, kOneBit.pixels[row[x / 8]],
                            static_cast<std::size_t>(width - x));
            }
        }
    }
}
