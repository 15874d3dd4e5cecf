// The two MicroPDF417 peers as the tests and benchmarks run them: zint (its library, whose
// matrix is the one `zint -b 84 --dump` prints) and bwip-js (one node process for a whole
// batch, tests/encoder/peer/bwipjs_micropdf417.js). Each gives the symbol's module matrix.
#pragma once

#include <string>
#include <vector>

using ModuleMatrix = std::vector<std::vector<bool>>;

struct PeerSymbol {
    ModuleMatrix rows;  // empty when the peer drew nothing
    std::string error;
};

struct PeerCase {
    std::string bytes;
    int columns = 0;  // 0: the peer chooses
};

// zint's symbol of the bytes as they are. A forced column count that zint widens (it does when
// the data needs more) gives no symbol either.
PeerSymbol ZintMicroPdf417(const PeerCase& c);

// bwip-js's symbols, in the order of the cases.
std::vector<PeerSymbol> BwipjsMicroPdf417(const std::vector<PeerCase>& cases);
