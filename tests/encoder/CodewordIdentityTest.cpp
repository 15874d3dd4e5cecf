// The codeword sequences are a contract, as the pictures are: for every row of
// data/codeword-identity.tsv the encoder must give the same symbol (fit, Mode after the
// request, shape, and an FNV-1a hash of every codeword) as the encoder at commit 8fc5387 gave,
// before ECI, numeric compaction, the compaction choice, the automatic error-correction level
// and Macro PDF417 were added. Those settings are left at their defaults here, so a row that
// changes means that adding them changed what callers of the first interface get. The table
// is written, once, with QUILLON_CODEWORD_IDENTITY_WRITE=FILE; it is not a snapshot to
// refresh.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/encoder/EncoderTestSupport.h"

namespace encoder_test {
namespace {

// A fixed generator, so that a row names the same bytes on every platform.
std::uint64_t Next(std::uint64_t& state) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return state >> 33;
}

// Data=kind:length:seed. The kinds cover what each compaction treats differently: digits,
// capitals, text of every sub-mode, printable ASCII, any byte but zero, alternating runs of
// text and other bytes, and tilde escapes of any byte (read with HandleTilde on).
Bytes Generate(const std::string& kind, int length, std::uint64_t seed) {
    static const std::string kText =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 ,.:;!?-/()@#\r\n\t";
    Bytes out;
    std::uint64_t state = seed;
    bool textRun = true;
    int runLeft = 0;
    while (static_cast<int>(out.size()) < length) {
        const std::uint64_t r = Next(state);
        if (kind == "digits") {
            out += static_cast<char>('0' + r % 10);
        } else if (kind == "upper") {
            out += static_cast<char>('A' + r % 26);
        } else if (kind == "text") {
            out += kText[r % kText.size()];
        } else if (kind == "ascii") {
            out += static_cast<char>(32 + r % 95);
        } else if (kind == "bytes") {
            out += static_cast<char>(1 + r % 255);
        } else if (kind == "runs") {
            if (runLeft == 0) {
                textRun = !textRun;
                runLeft = 1 + static_cast<int>(r % 13);
                continue;
            }
            out += textRun ? kText[r % kText.size()] : static_cast<char>(0x80 + r % 128);
            --runLeft;
        } else if (kind == "tilde") {
            const unsigned byte = r % 256;
            char escape[6];
            std::snprintf(escape, sizeof escape, "~d%03u", byte);
            out += escape;
        } else {
            ADD_FAILURE() << "unknown data kind " << kind;
            break;
        }
    }
    out.resize(static_cast<size_t>(length));
    return out;
}

struct Row {
    std::string kind;
    int length = 0;
    std::uint64_t seed = 0;
    int mode = 0, ecc = 2, columns = 3, rows = 0;
    bool tilde = false;

    std::string Settings() const {
        std::ostringstream s;
        s << "Data=" << kind << ':' << length << ':' << seed << " Mode=" << mode
          << " EccLevel=" << ecc << " Columns=" << columns << " Rows=" << rows
          << " HandleTilde=" << tilde;
        return s.str();
    }

    static Row Parse(const std::string& text) {
        Row r;
        std::istringstream in(text);
        std::string item;
        while (in >> item) {
            const auto eq = item.find('=');
            const std::string name = item.substr(0, eq), value = item.substr(eq + 1);
            if (name == "Data") {
                const auto a = value.find(':'), b = value.rfind(':');
                r.kind = value.substr(0, a);
                r.length = std::stoi(value.substr(a + 1, b - a - 1));
                r.seed = std::stoull(value.substr(b + 1));
            } else if (name == "Mode") {
                r.mode = std::stoi(value);
            } else if (name == "EccLevel") {
                r.ecc = std::stoi(value);
            } else if (name == "Columns") {
                r.columns = std::stoi(value);
            } else if (name == "Rows") {
                r.rows = std::stoi(value);
            } else if (name == "HandleTilde") {
                r.tilde = value == "1";
            }
        }
        return r;
    }
};

// The rows: every kind at lengths around the group sizes of each compaction and up to what no
// symbol holds, in every mode, with the error-correction level, columns and rows cycling
// through their ranges (a Columns of 31 is what a symbol that did not fit leaves).
std::vector<Row> AllRows() {
    static const char* kKinds[] = {"digits", "upper", "text", "ascii", "bytes", "runs", "tilde"};
    static const int kLengths[] = {0,  1,  2,  5,   6,   7,   12,  13,   29,   43,  44,
                                   45, 89, 90, 100, 251, 600, 999, 1200, 1850, 2710};
    std::vector<Row> rows;
    int n = 0;
    for (const char* kind : kKinds) {
        for (const int length : kLengths) {
            for (int mode = 0; mode < 3; ++mode, ++n) {
                Row r;
                r.kind = kind;
                r.length = length;
                r.seed = static_cast<std::uint64_t>(n) * 7919u + 17u;
                r.mode = mode;
                r.ecc = n % 9;
                if (length > 900 && r.ecc > 4) r.ecc -= 4;  // so that long data mostly fits
                r.columns = n % 11 == 0 ? 31 : 1 + (n * 7) % 30;
                r.rows = n % 4 == 0 ? 2 + n % 29 : 0;
                r.tilde = std::string(kind) == "tilde" || n % 5 == 0;
                rows.push_back(r);
            }
        }
    }
    return rows;
}

std::string Outcome(const Row& r, void (*options)(QuillonState&) = nullptr) {
    auto q = NewState();
    if (options != nullptr) options(*q);
    SetData(*q, Generate(r.kind, r.length, r.seed));
    q->Mode = r.mode;
    q->EccLevel = r.ecc;
    q->Columns = r.columns;
    q->Rows = r.rows;
    q->HandleTilde = r.tilde ? TRUE : FALSE;
    q->EncodeData();
    std::ostringstream out;
    out << "fit " << static_cast<int>(q->LastFit) << " mode " << q->Mode << " shape " << q->Columns
        << 'x' << q->ActualRows << " count " << q->CodewordCount;
    if (q->LastFit == SymbolFit::Fits) {
        std::uint64_t h = 0xCBF29CE484222325u;
        for (const int c : SymbolOf(*q)) {
            h = (h ^ static_cast<std::uint64_t>(c & 0xFF)) * 0x100000001B3u;
            h = (h ^ static_cast<std::uint64_t>(c >> 8)) * 0x100000001B3u;
        }
        char hex[20];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
        out << " hash " << hex;
    }
    return out.str();
}

TEST(CodewordIdentity, EveryRowEncodesAsItDidBeforeTheExtensions) {
    if (const char* path = std::getenv("QUILLON_CODEWORD_IDENTITY_WRITE")) {
        std::ofstream out(path);
        for (const Row& r : AllRows()) out << r.Settings() << '\t' << Outcome(r) << '\n';
        GTEST_SKIP() << "wrote " << path;
    }
    std::ifstream in(QUILLON_CODEWORD_IDENTITY_TABLE);
    ASSERT_TRUE(in) << QUILLON_CODEWORD_IDENTITY_TABLE;
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        const Row r = Row::Parse(line.substr(0, tab));
        EXPECT_EQ(Outcome(r), line.substr(tab + 1)) << r.Settings();
        // Option values that only mean something together with another: a segment count and
        // file ID without a segment index, a chosen level without AutoErrorCorrection.
        EXPECT_EQ(Outcome(r,
                          [](QuillonState& q) {
                              q.MacroSegmentCount = 5;
                              ParseMacroFileId("123456", q.MacroFileId);
                              q.AutoEccLevel = 7;
                          }),
                  line.substr(tab + 1))
            << r.Settings() << " with inert options";
        ++checked;
    }
    EXPECT_EQ(checked, static_cast<int>(AllRows().size()));
}

}  // namespace
}  // namespace encoder_test
