// The compaction choice against zint (a general barcode library, here a peer): each string of
// the corpus encoded by both with the same data columns and error-correction level, and the
// symbols read back from their modules.
#pragma once

#include <string>
#include <vector>

struct EncodedSize {
    bool fits = false;
    int rows = 0;
    int dataCodewords = 0;  // the length descriptor's count without the pad codewords
};

struct ComparedString {
    std::string kind;
    int length = 0;
    int columns = 0;
    int eccLevel = 0;
    EncodedSize ours;
    EncodedSize zint;
    std::string zintError;
};

std::vector<ComparedString> CompareWithZint();

// MicroPDF417's compaction against both peers: each string of a corpus up to the largest
// symbol's capacity, with OptimizeCompaction at a column count of 1 to 4 (forced for all three).
// Data codewords here are every codeword but the error correction and the pad codewords.
struct MicroComparedString {
    std::string kind;
    int length = 0;
    int columns = 0;
    EncodedSize ours, zint, bwipjs;
};

std::vector<MicroComparedString> CompareMicroWithPeers(bool withBwipjs);
