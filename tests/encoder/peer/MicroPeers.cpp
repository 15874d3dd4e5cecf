#include "tests/encoder/peer/MicroPeers.h"

#include <zint.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include <unistd.h>

#include "render/SymbolGeometry.h"

PeerSymbol ZintMicroPdf417(const PeerCase& c) {
    std::unique_ptr<zint_symbol, void (*)(zint_symbol*)> symbol(ZBarcode_Create(), ZBarcode_Delete);
    symbol->symbology = BARCODE_MICROPDF417;
    symbol->input_mode = DATA_MODE;  // the bytes as they are, no ECI
    symbol->option_2 = c.columns;
    PeerSymbol out;
    if (ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(c.bytes.data()),
                        static_cast<int>(c.bytes.size())) >= ZINT_ERROR) {
        out.error = symbol->errtxt;
        return out;
    }
    if (c.columns != 0 && symbol->width != MicroRowModules(c.columns)) {
        out.error = "zint widened the symbol";
        return out;
    }
    for (int r = 0; r < symbol->rows; ++r) {
        out.rows.emplace_back();
        for (int x = 0; x < symbol->width; ++x) {
            out.rows.back().push_back((symbol->encoded_data[r][x >> 3] >> (x & 7)) & 1);
        }
    }
    return out;
}

std::vector<PeerSymbol> BwipjsMicroPdf417(const std::vector<PeerCase>& cases) {
    char input[] = "/tmp/quillon-bwipjs-XXXXXX";
    const int fd = mkstemp(input);
    std::vector<PeerSymbol> out(cases.size());
    if (fd < 0) return out;
    {
        std::ofstream lines(input);
        for (const PeerCase& c : cases) {
            lines << c.columns << ' ';
            for (const unsigned char b : c.bytes) {
                lines << "0123456789abcdef"[b >> 4] << "0123456789abcdef"[b & 15];
            }
            lines << '\n';
        }
    }
    const std::string command =
        "node " QUILLON_PEER_DIR "/bwipjs_micropdf417.js < " + std::string(input);
    FILE* node = popen(command.c_str(), "r");
    std::string text;
    char buffer[1 << 16];
    for (std::size_t n; node != nullptr && (n = fread(buffer, 1, sizeof buffer, node)) > 0;) {
        text.append(buffer, n);
    }
    if (node != nullptr) pclose(node);
    close(fd);
    std::remove(input);

    std::istringstream results(text);
    std::string line;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (!std::getline(results, line)) {
            out[i].error = "no answer from bwip-js";
        } else if (line.rfind("error: ", 0) == 0) {
            out[i].error = line;
        } else {
            std::istringstream rows(line);
            for (std::string row; rows >> row;) {
                out[i].rows.emplace_back();
                for (const char m : row) out[i].rows.back().push_back(m == '1');
            }
        }
    }
    return out;
}
