// A test-only decoder of PDF417 data codewords: text compaction with its four sub-modes,
// latches and shifts, byte compaction (901 and 924), and the 900 latch back to text. It is
// written from the PDF417 decoding rules, not from the encoder, so that round trips through
// it check the encoder against the standard's meaning of the codewords.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace encoder_test {

struct DecodeResult {
    bool ok = false;
    std::string error;  // why the sequence is not valid PDF417 text and byte data
    std::string bytes;
};

// Decodes the data codewords of a symbol (the cells after the length descriptor, trailing
// pad codewords removed). The sequence starts in text compaction, Alpha sub-mode.
DecodeResult DecodeDataCodewords(const std::vector<int>& codewords);

}  // namespace encoder_test
