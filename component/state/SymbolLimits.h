// The limits of a PDF417 symbol as the component builds one, and of the text it encodes. The
// encoder, the renderer, the accessors and the public contract all take them from here.
#pragma once

#include <cstdint>

// Codewords are the values 0..928, and error correction computes modulo their number.
constexpr std::int32_t kCodewordValues = 929;
constexpr std::int32_t kCodewordModulus = kCodewordValues;

// A symbol holds at most 928 codewords: length descriptor, data, padding and error correction.
constexpr std::int32_t kMaxSymbolCodewords = 928;

// Data columns and rows of a symbol. A Columns setting outside 1..30 when encoding starts
// means the default again.
constexpr std::int32_t kMinColumns = 1;
constexpr std::int32_t kMaxColumns = 30;
constexpr std::int32_t kDefaultColumns = 3;
constexpr std::int32_t kMinRows = 3;
constexpr std::int32_t kMaxRows = 90;

// Error-correction levels 0..8; level L adds 2^(L+1) codewords, 2 to 512.
constexpr std::int32_t kMaxEccLevel = 8;
constexpr std::int32_t kMaxEccCodewords = 2 << kMaxEccLevel;

// The Data text: at most 4999 bytes and a terminating zero.
constexpr int kDataTextSize = 5000;
constexpr int kMaxDataLength = kDataTextSize - 1;
