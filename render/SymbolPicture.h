// The picture PNGImage returns, made straight from the symbol's module rows rather than painted
// on a device and read back: pixel rows packed as the capture packs them, visited as runs of
// equal rows. A symbol's picture has few distinct rows (a background row, one per row of the
// symbol, or one per module along it when the symbol is turned, and those the border changes),
// so each is packed once, and the whole picture never exists in memory.
//
// It is, pixel for pixel, what painting the same symbol on a device context and reading it back
// gives (RenderSymbol, CaptureBitmap): the background, each bar a filled rectangle turned into
// place by Orientation, the frame drawn over them with the default pen, each colour its nearest
// entry of the capture's table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "component/state/DrawnRows.h"
#include "component/state/QuillonState.h"
#include "render/ModuleRow.h"

// Made by QuillonState::DrawPicture, which the PNG writer then reads through
// ForEachDrawnRun.
class SymbolPicture {
public:
    // The picture of the symbol as placing it left the state (QuillonState::PlaceSymbol).
    explicit SymbolPicture(const QuillonState& q);
    // Takes the working rows; false when they cannot be had.
    bool Allocate();
    DrawnRowsFormat Format() const { return {table_, bits_}; }
    void ForEachRun(RunVisitor visit) const;

private:
    // A stretch of picture rows [begin, end) that hold the same pixels: `content` tells which
    // part of the symbol crosses them (kBackground for none), the frame aside.
    struct Stretch {
        std::int64_t end;
        std::int64_t content;
    };
    static constexpr std::int64_t kBackground = -1;

    Stretch ContentAt(std::int64_t y) const;
    std::int64_t FrameChangeAfter(std::int64_t y) const;
    void PackContent(std::int64_t content, BYTE* row) const;
    void DrawFrame(std::int64_t y, BYTE* row) const;
    bool DashCoversSide(std::int64_t y) const;
    void Fill(BYTE* row, std::int64_t left, std::int64_t right, int entry) const;

    const QuillonState& q_;
    const RGBQUAD* table_;
    int bits_;
    std::int32_t width_;
    std::int32_t height_;
    bool across_;               // the symbol's rows run across the picture (Orientation 0 or 2)
    bool drawable_;             // there is a symbol to draw
    std::int64_t along_start_;  // where module 0 of every row starts along the rows, in pixels
    int along_step_;            // +1 when the rows run with the picture's coordinates, else -1
    int back_, bar_, pen_;      // the capture's entries of the three colours
    std::size_t row_bytes_;
    // Turned symbols: which of the symbol's rows have a bar at each module along them, a bit a
    // row, kColumnWords words a module.
    static constexpr int kColumnWords = (kMaxRows + 63) / 64;
    // The working rows, from the platform's task memory like the request's other buffers.
    struct TaskMemory {
        void operator()(void* block) const { CoTaskMemFree(block); }
    };
    std::unique_ptr<std::uint64_t[], TaskMemory> columns_;
    // A row's bars, a bit a pixel (render/PixelMask.h), with a word to spare for the last
    // modules spread past the picture's edge.
    std::unique_ptr<std::uint64_t[], TaskMemory> mask_;
    std::size_t mask_words_;
    std::unique_ptr<BYTE[], TaskMemory> content_row_;
    std::unique_ptr<BYTE[], TaskMemory> out_row_;
};
