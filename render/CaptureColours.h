// The colours a capture can hold: a picture read back at 1 bit a pixel holds black and white,
// at 4 bits the standard 16 colours, and every drawn colour becomes its nearest entry by the
// squared distance of red, green and blue, the first of equally near entries winning. Pure
// black and pure white pictures are read at 1 bit, any other at 4 (CaptureBitmap).
#pragma once

#include <cstdint>

#include "platform/Platform.h"

inline constexpr RGBQUAD kMonochromeTable[2] = {{0x00, 0x00, 0x00, 0}, {0xFF, 0xFF, 0xFF, 0}};
inline constexpr RGBQUAD kStandardColourTable[16] = {
    {0x00, 0x00, 0x00, 0}, {0x00, 0x00, 0x80, 0}, {0x00, 0x80, 0x00, 0}, {0x00, 0x80, 0x80, 0},
    {0x80, 0x00, 0x00, 0}, {0x80, 0x00, 0x80, 0}, {0x80, 0x80, 0x00, 0}, {0x80, 0x80, 0x80, 0},
    {0xC0, 0xC0, 0xC0, 0}, {0x00, 0x00, 0xFF, 0}, {0x00, 0xFF, 0x00, 0}, {0x00, 0xFF, 0xFF, 0},
    {0xFF, 0x00, 0x00, 0}, {0xFF, 0x00, 0xFF, 0}, {0xFF, 0xFF, 0x00, 0}, {0xFF, 0xFF, 0xFF, 0},
};

// The entry of a capture of `bits` (1 or 4) a pixel that `colour` (0x00BBGGRR; the high byte
// does not count) becomes.
constexpr int NearestCaptureEntry(COLORREF colour, int bits) {
    const RGBQUAD* table = bits == 1 ? kMonochromeTable : kStandardColourTable;
    const int red = static_cast<int>(colour & 0xFF);
    const int green = static_cast<int>((colour >> 8) & 0xFF);
    const int blue = static_cast<int>((colour >> 16) & 0xFF);
    int best = 0, best_distance = 0;
    for (int i = 0; i < (1 << bits); ++i) {
        const int dr = red - table[i].rgbRed, dg = green - table[i].rgbGreen,
                  db = blue - table[i].rgbBlue;
        const int distance = dr * dr + dg * dg + db * db;
        if (i == 0 || distance < best_distance) {
            best = i;
            best_distance = distance;
        }
    }
    return best;
}
