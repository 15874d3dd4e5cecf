// The captured picture as the palette and the zlib stream read it: its rows from the top of the
// picture down, and runs of equal rows, which a drawn symbol has many of (a background, bars
// many pixels high). Work done per run rather than per row is what keeps large pictures cheap.
//
// The runs are found here, from the DIB alone, although the Linux drawing stand-in kept the
// picture as such runs: on Windows the capture reads the real GDI, which reports none, and the
// PNG writer stays the same on both. Finding them costs 2.5 to 3% of PNGImage's instructions
// for a small black-and-white picture, 8% for a coloured one (the palette reads every run of a
// 4-bit capture) and 9% for 4000 × 4000 pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "component/state/QuillonState.h"
#include "platform/Platform.h"

// Whether the first `bytes` bytes at `a` and `b` are equal. The rows of a small picture, 16 to
// 64 bytes, are compared in the vector registers: a call to memcmp for each row cost more than
// the comparison itself.
inline bool SameBytes(const BYTE* a, const BYTE* b, std::size_t bytes) {
#if defined(__SSE2__)
    if (bytes >= 16 && bytes <= 64) {
        const auto differences = [&](std::size_t at) {
            return _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at)));
        };
        __m128i any = differences(bytes - 16);
        for (std::size_t i = 0; i + 16 < bytes; i += 16) any = _mm_or_si128(any, differences(i));
        return _mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) == 0xFFFF;
    }
#endif
    return std::memcmp(a, b, bytes) == 0;
}

// The picture the palette and the zlib stream read: the capture block of a bitmap drawn on a
// device (a bottom-up DIB, as the capture asks for), or the rows of a picture drawn directly
// (DrawnPicture), whichever the request made.
struct CapturedRows {
    const RGBQUAD* table;  // 2^bits entries
    int bits;              // per pixel: 1, 4 or 8
    std::int32_t width;
    std::int32_t height;
    std::size_t stride;  // bytes per stored row, padding included
    const BYTE* stored;  // the bottom row, stored first; null for a picture drawn directly
    const QuillonState& q;

    explicit CapturedRows(const QuillonState& state) : q(state) {
        if (q.DrawnPicture != nullptr) {
            const DrawnRowsFormat format = q.DrawnPictureFormat();
            table = format.table;
            bits = format.bits;
            width = q.ImageWidth;
            height = q.ImageHeight;
            stride = 0;
            stored = nullptr;
            return;
        }
        const auto* bytes = reinterpret_cast<const BYTE*>(q.CaptureBlock);
        BITMAPINFOHEADER header;
        std::memcpy(&header, bytes, sizeof header);
        table = reinterpret_cast<const RGBQUAD*>(bytes + header.biSize);
        bits = header.biBitCount;
        width = header.biWidth;
        height = header.biHeight;
        stride = ((static_cast<std::size_t>(width) * bits + 31) & ~std::size_t{31}) / 8;
        stored = bytes + header.biSize + sizeof(RGBQUAD) * (std::size_t{1} << bits);
    }

    // The bytes of a row that hold pixels; the rest is padding.
    std::size_t PixelBytes() const { return (static_cast<std::size_t>(width) * bits + 7) / 8; }

    // Calls visit(row, count) for each run of `count` equal rows, from the top down, until
    // visit returns false.
    template <typename Visit>
    void ForEachRun(Visit visit) const {
        if (q.DrawnPicture != nullptr) {
            q.ForEachDrawnRun(RunVisitor(visit));
            return;
        }
        const std::size_t bytes = PixelBytes();
        std::int32_t y = 0;
        while (y < height) {
            const BYTE* row = Row(y);
            std::int32_t end = y + 1;
            while (end < height && SameBytes(Row(end), row, bytes)) ++end;
            if (!visit(row, end - y)) return;
            y = end;
        }
    }

private:
    // Row y of the capture block, counted from the top.
    const BYTE* Row(std::int32_t y) const {
        return stored + static_cast<std::size_t>(height - 1 - y) * stride;
    }
};
