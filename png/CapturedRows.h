// The captured picture as the palette and the zlib stream read it: the DIB's rows from the
// top of the picture down, and runs of equal rows, which a drawn symbol has many of (a
// background, bars many pixels high). Work done per run rather than per row is what keeps
// large pictures cheap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/Platform.h"

// The picture of a capture block: a bottom-up DIB, as the capture asks for.
struct CapturedRows {
    const RGBQUAD* table;  // 2^bits entries
    int bits;              // per pixel: 1, 4 or 8
    std::int32_t width;
    std::int32_t height;
    std::size_t stride;  // bytes per stored row, padding included
    const BYTE* stored;  // the bottom row, stored first

    explicit CapturedRows(HGLOBAL block) {
        const auto* bytes = reinterpret_cast<const BYTE*>(block);
        BITMAPINFOHEADER header;
        std::memcpy(&header, bytes, sizeof header);
        table = reinterpret_cast<const RGBQUAD*>(bytes + header.biSize);
        bits = header.biBitCount;
        width = header.biWidth;
        height = header.biHeight;
        stride = ((static_cast<std::size_t>(width) * bits + 31) & ~std::size_t{31}) / 8;
        stored = bytes + header.biSize + sizeof(RGBQUAD) * (std::size_t{1} << bits);
    }

    // Row y counted from the top.
    const BYTE* Row(std::int32_t y) const {
        return stored + static_cast<std::size_t>(height - 1 - y) * stride;
    }
    // The bytes of a row that hold pixels; the rest is padding.
    std::size_t PixelBytes() const { return (static_cast<std::size_t>(width) * bits + 7) / 8; }

    // Calls visit(row, count) for each run of `count` equal rows, from the top down, until
    // visit returns false.
    template <typename Visit>
    void ForEachRun(Visit visit) const {
        const std::size_t bytes = PixelBytes();
        std::int32_t y = 0;
        while (y < height) {
            const BYTE* row = Row(y);
            std::int32_t end = y + 1;
            while (end < height && std::memcmp(Row(end), row, bytes) == 0) ++end;
            if (!visit(row, end - y)) return;
            y = end;
        }
    }
};
