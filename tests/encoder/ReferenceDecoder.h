// A test-only decoder of PDF417 data codewords: text compaction with its four sub-modes,
// latches and shifts and the byte shift 913, byte compaction (901 and 924), numeric
// compaction (902), the 900 latch back to text, ECI designators and the Macro PDF417 control
// block. It is written from the PDF417 decoding rules, not from the encoder, so that round
// trips through it check the encoder against the standard's meaning of the codewords.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace encoder_test {

struct DecodeResult {
    bool ok = false;
    std::string error;  // why the sequence is not valid PDF417 data
    std::string bytes;
    std::vector<int> ecis;  // the ECI assignment numbers met, in order
    // The Macro PDF417 control block, when there is one (it must end the sequence).
    int macroIndex = -1;
    std::string macroFileId;  // three digits per codeword
    int macroCount = 0;       // 0 when the optional segment count is not there
    bool macroLast = false;   // the terminator 922
};

// Decodes the data codewords of a symbol (the cells after the length descriptor, with or
// without the pad codewords). The sequence starts in text compaction, Alpha sub-mode.
DecodeResult DecodeDataCodewords(const std::vector<int>& codewords);

}  // namespace encoder_test
