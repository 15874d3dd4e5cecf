// Writes codewords into SymbolCodewords one after another. A compaction can produce more
// codewords than any symbol holds, and more than the area has cells: the writer keeps counting
// so that dimensioning sees the true size and refuses it, but stores only what fits the area.
#pragma once

#include <cstdint>

#include "component/state/QuillonState.h"

class SymbolWriter {
public:
    SymbolWriter(std::uint16_t* symbol, std::int32_t firstCell)
        : symbol_(symbol), count_(firstCell) {}
    void Write(std::int32_t codeword) {
        if (count_ < kSymbolCells) symbol_[count_] = static_cast<std::uint16_t>(codeword);
        ++count_;
    }
    // Cells used, from cell 0.
    std::int32_t Count() const { return count_; }

private:
    std::uint16_t* symbol_;
    std::int32_t count_;
};
