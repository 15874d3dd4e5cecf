// Deflate for the scanlines of a barcode picture: rows of a filter byte and the pixels, most of
// them repeating the row above (a symbol row is many pixel rows), the others made of the same
// start and stop patterns, quiet zone and runs of one colour, and of the codewords' bars.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The deflate data (no zlib header or checksum) of `rows` rows of `row_bytes` bytes each,
// appended to *out.
void DeflateRows(const std::uint8_t* scanlines, std::size_t row_bytes, std::size_t rows,
                 std::string* out);
