// Reading the drawn picture back: the platform copies the bitmap into a 1- or 4-bit DIB, which
// the palette and the zlib stream then read (png/CapturedRows.h).
#include <cstring>

#include "component/state/QuillonState.h"

namespace {

int StrideOf(std::int32_t width, int bits) {
    return static_cast<int>(((static_cast<std::int64_t>(width) * bits + 31) & ~std::int64_t{31}) /
                            8);
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
