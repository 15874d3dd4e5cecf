// The palette: the picture's distinct colours in the order they first appear, reading from
// the top-left pixel row by row, and the palette index of every pixel.
//
// The indices come straight from the capture's colour table: each table entry is looked up
// in the palette by its colour the first time a pixel uses it, so the palette and every index
// are those that comparing each pixel's own colour would give, without copying the colours
// of all pixels first.
#include <cstring>

#include "component/QuillonState.h"

bool QuillonState::AllocateIndexBuffer() {
    PngWidth = ImageWidth;
    PngHeight = ImageHeight;
    PixelCount = PngWidth * PngHeight;
    IndexBuffer = static_cast<BYTE*>(CoTaskMemAlloc(static_cast<SIZE_T>(PixelCount)));
    PaletteCount = 0;
    return IndexBuffer != nullptr;
}

void QuillonState::BuildPalette(HGLOBAL block) {
    const auto* bytes = reinterpret_cast<const BYTE*>(block);
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes, sizeof header);
    const auto* table = reinterpret_cast<const RGBQUAD*>(bytes + header.biSize);

    // Palette index of each colour-table entry, found when a pixel first uses the entry.
    BYTE palette_index[256];
    bool placed[256] = {};
    for (std::int32_t p = 0; p < PixelCount; ++p) {
        const BYTE entry = IndexBuffer[p];
        if (!placed[entry]) {
            const RGBQUAD& colour = table[entry];
            int j = 0;
            while (j < PaletteCount &&
                   (PaletteRed[j] != colour.rgbRed || PaletteGreen[j] != colour.rgbGreen ||
                    PaletteBlue[j] != colour.rgbBlue)) {
                ++j;
            }
            if (j == PaletteCount) {
                PaletteRed[j] = colour.rgbRed;
                PaletteGreen[j] = colour.rgbGreen;
                PaletteBlue[j] = colour.rgbBlue;
                ++PaletteCount;
            }
            palette_index[entry] = static_cast<BYTE>(j);
            placed[entry] = true;
        }
        IndexBuffer[p] = palette_index[entry];
    }
    BitDepth = PaletteCount <= 2 ? 1 : PaletteCount <= 4 ? 2 : PaletteCount <= 16 ? 4 : 8;
    PaletteEntries = 1 << BitDepth;
}
