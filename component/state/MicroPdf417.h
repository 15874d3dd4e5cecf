// MicroPDF417's sizes (the generated table, component/state/MicroPdf417SizeTable.h) and what
// the encoder, the renderer and the error messages ask of them.
#pragma once

#include <cstdint>
#include <iterator>

#include "component/state/MicroPdf417SizeTable.h"
#include "component/state/SymbolOptions.h"

constexpr std::int32_t kMicroPdf417SizeCount = std::size(kMicroPdf417Sizes);
constexpr std::int32_t kNoMicroSize = -1;

constexpr bool IsMicroSize(std::int32_t size) {
    return size >= 0 && size < kMicroPdf417SizeCount;
}

// Every codeword but the error correction: the ECI designator, the data, the pad codewords and
// the Macro control block.
constexpr std::int32_t MicroDataCapacity(const MicroPdf417Size& size) {
    return size.columns * size.rows - size.eccCodewords;
}

// Whether MicroColumns and MicroRows settings allow the size: each one either chooses or is the
// size's.
constexpr bool IsMicroSizeAllowed(const MicroPdf417Size& size, std::int32_t columns,
                                  std::int32_t rows) {
    return (columns == kMicroColumnsChosen || columns == size.columns) &&
           (rows == kMicroRowsChosen || rows == size.rows);
}

// The row counts a MicroRows setting may name are those of the sizes, and only those.
constexpr bool IsMicroRowCount(std::int32_t rows) {
    for (const std::int32_t r : kMicroRowCounts) {
        if (r == rows) return true;
    }
    return false;
}
static_assert([] {
    for (const MicroPdf417Size& size : kMicroPdf417Sizes) {
        if (!IsMicroRowCount(size.rows) || size.columns < 1 || size.columns > kMaxMicroColumns) {
            return false;
        }
    }
    for (const std::int32_t rows : kMicroRowCounts) {
        bool found = false;
        for (const MicroPdf417Size& size : kMicroPdf417Sizes) found = found || size.rows == rows;
        if (!found) return false;
    }
    return true;
}());

// The most error-correction codewords of any size, which the coefficient table covers.
constexpr std::int32_t kMaxMicroEccCodewords = [] {
    std::int32_t most = 0;
    for (const MicroPdf417Size& size : kMicroPdf417Sizes) {
        most = size.eccCodewords > most ? size.eccCodewords : most;
    }
    return most;
}();
