// The palette: the picture's distinct colours in the order they first appear, reading from
// the top-left pixel row by row, and the palette index of every pixel.
#include "component/QuillonState.h"

bool QuillonState::AllocateIndexBuffer() {
    PngWidth = ImageWidth;
    PngHeight = ImageHeight;
    PixelCount = PngWidth * PngHeight;
    IndexBuffer = static_cast<BYTE*>(CoTaskMemAlloc(static_cast<SIZE_T>(PixelCount)));
    PaletteCount = 0;
    return IndexBuffer != nullptr;
}

void QuillonState::BuildPalette() {
    // The capture leaves at most 16 colours in long runs, so the last colour found is
    // remembered and the linear search runs about once per run.
    int last = -1;
    BYTE last_red = 0, last_green = 0, last_blue = 0;
    for (std::int32_t p = 0; p < PixelCount; ++p) {
        const BYTE r = RedPlane[p], g = GreenPlane[p], b = BluePlane[p];
        if (last < 0 || r != last_red || g != last_green || b != last_blue) {
            int j = 0;
            while (j < PaletteCount &&
                   (PaletteRed[j] != r || PaletteGreen[j] != g || PaletteBlue[j] != b)) {
                ++j;
            }
            if (j == PaletteCount) {
                // More than 256 colours cannot come from a 1- or 4-bit capture; should they
                // ever, the last entry stands for the rest instead of writing past the palette.
                if (PaletteCount < 256) {
                    PaletteRed[j] = r;
                    PaletteGreen[j] = g;
                    PaletteBlue[j] = b;
                    ++PaletteCount;
                } else {
                    j = 255;
                }
            }
            last = j;
            last_red = r;
            last_green = g;
            last_blue = b;
        }
        IndexBuffer[p] = static_cast<BYTE>(last);
    }
    BitDepth = PaletteCount <= 2 ? 1 : PaletteCount <= 4 ? 2 : PaletteCount <= 16 ? 4 : 8;
    PaletteEntries = 1 << BitDepth;
}
