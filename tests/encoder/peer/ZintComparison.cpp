#include "tests/encoder/peer/ZintComparison.h"

#include <zint.h>

#include <memory>

#include "component/state/QuillonState.h"
#include "tests/encoder/peer/CompactionCorpus.h"
#include "tests/encoder/peer/MicroPeers.h"
#include "tests/support/MicroSymbolModules.h"
#include "tests/support/SymbolModules.h"
#include "tests/support/TildeEscapes.h"

namespace {

// Data codewords without the trailing pad codewords 900 (neither encoder ends its data with a
// latch, so every 900 at the end of the data area is padding).
int WithoutPads(const std::vector<int>& dataArea) {
    auto n = static_cast<int>(dataArea.size());
    while (n > 1 && dataArea[static_cast<size_t>(n - 1)] == 900) --n;
    return n;
}

// A state holding the bytes (zero bytes and tildes as escapes, every other byte as it is), to
// be encoded with OptimizeCompaction; null when the escaped text is too long for Data.
std::unique_ptr<QuillonState> OptimizingState(const std::string& bytes) {
    auto q = std::make_unique<QuillonState>();
    std::string text;
    for (const char c : bytes)
        text += c == 0 || c == '~' ? TildeEscaped({&c, 1}) : std::string(1, c);
    if (text.size() > static_cast<size_t>(kMaxDataLength)) return nullptr;
    for (size_t i = 0; i < text.size(); ++i) q->DataText[i] = static_cast<BYTE>(text[i]);
    q->DataText[text.size()] = 0;
    q->HandleTilde = TRUE;
    q->OptimizeCompaction = TRUE;
    return q;
}

EncodedSize Ours(const std::string& bytes, int columns, int level) {
    auto q = OptimizingState(bytes);
    if (q == nullptr) return {};
    q->Columns = columns;
    q->EccLevel = level;
    q->EncodeData();
    // A symbol whose columns dimensioning had to raise is not the same shape as zint's.
    if (q->LastFit != SymbolFit::Fits || q->Columns != columns) return {};
    const std::uint16_t* cells = q->CodewordBuffer.SymbolCodewords;
    return {true, q->ActualRows, WithoutPads(std::vector<int>(cells, cells + cells[0]))};
}

EncodedSize Zint(const std::string& bytes, int columns, int level, std::string& error) {
    std::unique_ptr<zint_symbol, void (*)(zint_symbol*)> symbol(ZBarcode_Create(), ZBarcode_Delete);
    symbol->symbology = BARCODE_PDF417;
    symbol->input_mode = DATA_MODE;  // the bytes as they are, no ECI
    symbol->option_1 = level;
    symbol->option_2 = columns;
    const int status =
        ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(bytes.data()),
                        static_cast<int>(bytes.size()));
    if (status >= ZINT_ERROR) {
        error = symbol->errtxt;
        return {};
    }
    // The module matrix, a bit per module, least significant first.
    std::vector<std::vector<bool>> rows(static_cast<size_t>(symbol->rows));
    for (int r = 0; r < symbol->rows; ++r) {
        for (int x = 0; x < symbol->width; ++x) {
            rows[static_cast<size_t>(r)].push_back((symbol->encoded_data[r][x >> 3] >> (x & 7)) &
                                                   1);
        }
    }
    const SymbolReading reading = ReadSymbolModules(rows);
    if (!reading.ok() || reading.columns != columns || reading.eccLevel != level) {
        error = "zint's symbol did not read back: " + reading.error;
        return {};
    }
    return {true, symbol->rows, WithoutPads(reading.DataArea())};
}

}  // namespace

std::vector<ComparedString> CompareWithZint() {
    std::vector<ComparedString> compared;
    int n = 0;
    for (const CorpusEntry& entry : CompactionCorpus()) {
        ComparedString c;
        c.kind = entry.kind;
        c.length = static_cast<int>(entry.bytes.size());
        // Columns and levels vary; long data gets the widest symbols so that more of it fits.
        c.columns = c.length > 400 ? 30 - n % 5 : 2 + n * 7 % 28;
        c.eccLevel = n % 5;
        ++n;
        c.ours = Ours(entry.bytes, c.columns, c.eccLevel);
        c.zint = Zint(entry.bytes, c.columns, c.eccLevel, c.zintError);
        compared.push_back(c);
    }
    return compared;
}

namespace {

EncodedSize MicroOurs(const std::string& bytes, int columns) {
    auto q = OptimizingState(bytes);
    if (q == nullptr) return {};
    q->Symbology = kSymbologyMicroPdf417;
    q->MicroColumns = columns;
    q->EncodeData();
    if (q->LastFit != SymbolFit::Fits) return {};
    const std::uint16_t* cells = q->CodewordBuffer.SymbolCodewords;
    return {true, q->ActualRows,
            WithoutPads(std::vector<int>(cells, cells + q->CodewordCount - q->EccCount()))};
}

// A peer's symbol, when it has the columns asked for.
EncodedSize MicroPeer(const PeerSymbol& symbol, int columns) {
    const MicroReading reading = ReadMicroModules(symbol.rows);
    if (symbol.rows.empty() || !reading.ok() || reading.columns != columns) return {};
    return {true, reading.rows, WithoutPads(reading.DataCodewords())};
}

}  // namespace

std::vector<MicroComparedString> CompareMicroWithPeers(bool withBwipjs) {
    // The largest symbol holds 126 data codewords: some 370 digits, fewer of anything else.
    constexpr int kLongest = 370;
    std::vector<MicroComparedString> compared;
    std::vector<PeerCase> cases;
    for (const CorpusEntry& entry : CompactionCorpus(kLongest)) {
        MicroComparedString c;
        c.kind = entry.kind;
        c.length = static_cast<int>(entry.bytes.size());
        // Every column count, but for longer data only those that can hold it.
        const int n = static_cast<int>(compared.size());
        c.columns = c.length <= 16 ? 1 + n % 4 : c.length <= 50 ? 2 + n % 3 : 3 + n % 2;
        c.ours = MicroOurs(entry.bytes, c.columns);
        c.zint = MicroPeer(ZintMicroPdf417({entry.bytes, c.columns}), c.columns);
        cases.push_back({entry.bytes, c.columns});
        compared.push_back(c);
    }
    if (withBwipjs) {
        const std::vector<PeerSymbol> bwipjs = BwipjsMicroPdf417(cases);
        for (std::size_t i = 0; i < compared.size(); ++i)
            compared[i].bwipjs = MicroPeer(bwipjs[i], compared[i].columns);
    }
    return compared;
}
