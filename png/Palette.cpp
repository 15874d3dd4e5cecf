// The palette: the picture's distinct colours in the order they first appear, reading from
// the top-left pixel row by row, and the palette index of every pixel.
//
// The indices come straight from the capture's colour table: each table entry the picture
// uses is looked up in the palette by its colour, in the order of the entries' first pixels,
// so the palette and every index are those that comparing each pixel's own colour would give,
// without copying the colours of all pixels first.
#include <cstring>

#include "component/state/QuillonState.h"

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
    const int table_entries = 1 << header.biBitCount;

    // Which table entries the picture uses, in the order of their first pixel. The search
    // stops as soon as every entry has been met.
    BYTE order[256];
    bool met[256] = {};
    int entries_met = 0;
    for (std::int32_t p = 0; p < PixelCount && entries_met < table_entries; ++p) {
        const BYTE entry = IndexBuffer[p];
        if (!met[entry]) {
            met[entry] = true;
            order[entries_met++] = entry;
        }
    }

    // Each entry's colour is looked up in the palette, or added to it, in that order.
    BYTE palette_index[256];
    for (int e = 0; e < 256; ++e) palette_index[e] = static_cast<BYTE>(e);
    for (int i = 0; i < entries_met; ++i) {
        const RGBQUAD& colour = table[order[i]];
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
        palette_index[order[i]] = static_cast<BYTE>(j);
    }

    // Rewrite the indices. Two common cases need no table look-up per pixel: nothing to
    // change, or every index changed by the same exclusive or (black and white swapped).
    bool same = true;
    bool one_xor = true;
    const BYTE flip = entries_met > 0 ? static_cast<BYTE>(order[0] ^ palette_index[order[0]]) : 0;
    for (int i = 0; i < entries_met; ++i) {
        same &= palette_index[order[i]] == order[i];
        one_xor &= static_cast<BYTE>(order[i] ^ palette_index[order[i]]) == flip;
    }
    BYTE* const indices = IndexBuffer;
    const std::int32_t count = PixelCount;
    if (same) {
        // already palette indices
    } else if (one_xor) {
        const std::uint64_t flips = flip * 0x0101010101010101u;  // eight indices at a time
        std::int32_t p = 0;
        for (; p + 8 <= count; p += 8) {
            std::uint64_t eight;
            std::memcpy(&eight, indices + p, 8);
            eight ^= flips;
            std::memcpy(indices + p, &eight, 8);
        }
        for (; p < count; ++p) indices[p] ^= flip;
    } else {
        for (std::int32_t p = 0; p < count; ++p) indices[p] = palette_index[indices[p]];
    }
    BitDepth = PaletteCount <= 2 ? 1 : PaletteCount <= 4 ? 2 : PaletteCount <= 16 ? 4 : 8;
    PaletteEntries = 1 << BitDepth;
}
