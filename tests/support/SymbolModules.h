// Reads a PDF417 symbol's codewords back from its modules, row by row, with the standard's
// codeword patterns: what a scanner sees, whoever drew the symbol (the component's pictures,
// zint's module matrix).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/PngReader.h"

struct SymbolReading {
    std::string error;  // empty when every row reads as a full PDF417 row
    // What the row indicators say.
    int rows = 0;
    int columns = 0;
    int eccLevel = -1;
    std::vector<int> codewords;  // every codeword of the symbol, row by row

    bool ok() const { return error.empty(); }
    // The length descriptor's cells: descriptor, data and pad codewords.
    std::vector<int> DataArea() const;
};

// Each row as its modules from left to right, true for a bar, from the start pattern to the
// end of the stop pattern.
SymbolReading ReadSymbolModules(const std::vector<std::vector<bool>>& rows);

// An upright symbol in a picture: modules `module` pixels wide, rows `rowHeight` pixels high,
// bars darker than the background, nothing else dark.
SymbolReading ReadSymbolPicture(const DecodedPng& picture, int module, int rowHeight);

// Such a symbol's rows as modules, from its first bar to its last (empty when there is none).
std::vector<std::vector<bool>> ModulesOfPicture(const DecodedPng& picture, int module,
                                                int rowHeight);

// The codeword that `pattern` (17 modules, bit 16 the leftmost) stands for in cluster block
// `block` (0, 1, 2: clusters 0, 3, 6), or -1.
int CodewordOfPattern(int block, std::uint32_t pattern);
