// Helpers for the encoder tests: a component state on the heap (it is too large to be a
// comfortable stack object), data put in as raw bytes, and views of the codeword areas.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "component/state/QuillonState.h"

namespace encoder_test {

using Bytes = std::string;  // raw bytes; std::string keeps embedded values 0x80..0xFF
using Codewords = std::vector<int>;

inline std::unique_ptr<QuillonState> NewState() {
    return std::make_unique<QuillonState>();
}

// Puts the bytes into DataText as the Data put would, with their terminating zero.
void SetData(QuillonState& q, const Bytes& bytes);

// DataText up to its first zero byte.
Bytes DataTextOf(const QuillonState& q);

// The finished symbol: SymbolCodewords cells 0 .. CodewordCount - 1.
Codewords SymbolOf(const QuillonState& q);

// Cells 1 .. descriptor - 1: the data codewords with their pad codewords (in MicroPDF417, which
// has no descriptor, every cell before the error correction).
Codewords DataCellsOf(const QuillonState& q);

// Sets the data, runs EncodeData in `mode` and returns the data cells.
Codewords EncodeDataCells(QuillonState& q, const Bytes& bytes, int mode);

// True when `cells` is `expected` followed by nothing but pad codewords 900.
::testing::AssertionResult IsFollowedByPadsOnly(const Codewords& cells, const Codewords& expected);

// The sequence read as c0 x^(N-1) + ... + c(N-1), evaluated modulo 929 at x.
int EvaluateModulo929(const Codewords& sequence, int x);

// Checks that the symbol polynomial vanishes at 3, 3^2, ..., 3^k.
::testing::AssertionResult VanishesAtGeneratorRoots(const Codewords& sequence, int eccCount);

}  // namespace encoder_test
