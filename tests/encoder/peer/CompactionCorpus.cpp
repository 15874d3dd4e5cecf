#include "tests/encoder/peer/CompactionCorpus.h"

#include <cmath>
#include <cstdint>

namespace {

class Generator {
public:
    explicit Generator(std::uint64_t seed) : state_(seed) {}
    std::uint32_t Below(std::uint32_t n) {
        state_ = state_ * 6364136223846793005u + 1442695040888963407u;
        return static_cast<std::uint32_t>(state_ >> 33) % n;
    }
    char From(const std::string& set) { return set[Below(static_cast<std::uint32_t>(set.size()))]; }
    std::string Digits(int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += static_cast<char>('0' + Below(10));
        return s;
    }
    std::string Bytes(int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += static_cast<char>(Below(256));
        return s;
    }

private:
    std::uint64_t state_;
};

const std::string kUpper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
const std::string kWords[] = {"the",      "Invoice", "total",    "of",        "PDF417",
                              "shipping", "Dear",    "customer", "reference", "and",
                              "Zürich",   "amount",  "EUR"};

// One piece of the kind, to be repeated up to the length.
std::string Piece(const std::string& kind, Generator& g) {
    if (kind == "digits") return g.Digits(1 + static_cast<int>(g.Below(40)));
    if (kind == "capitals") return std::string(1, g.From(kUpper + "   "));
    if (kind == "prose") {
        std::string word = kWords[g.Below(13)];
        return word + g.From("      ,.;:!?\n");
    }
    if (kind == "ascii") return std::string(1, static_cast<char>(32 + g.Below(95)));
    if (kind == "binary") return g.Bytes(1 + static_cast<int>(g.Below(16)));
    if (kind == "dates and numbers") {
        return g.Digits(4) + "-" + g.Digits(2) + "-" + g.Digits(2) + " " + g.Digits(2) + ":" +
               g.Digits(2) + ", +" + g.Digits(2) + " " + g.Digits(9) + "; ";
    }
    if (kind == "text and digits") {
        return "INV " + g.Digits(10 + static_cast<int>(g.Below(20))) + " QTY " + g.Digits(2) + " " +
               kWords[g.Below(13)] + " ";
    }
    // "text and binary": words with runs of bytes beside them, as in UTF-8 text or a file.
    return kWords[g.Below(13)] + " " + g.Bytes(static_cast<int>(g.Below(8))) + g.From("ab \x80");
}

}  // namespace

std::vector<CorpusEntry> CompactionCorpus(int longest) {
    static const std::string kinds[] = {"digits",          "capitals",       "prose",
                                        "ascii",           "binary",         "dates and numbers",
                                        "text and digits", "text and binary"};
    constexpr int kLengths = 30;
    std::vector<CorpusEntry> corpus;
    std::uint64_t seed = 1;
    for (const std::string& kind : kinds) {
        for (int i = 0; i < kLengths; ++i) {
            // 1 to `longest` bytes, spaced evenly on a logarithmic scale.
            const auto length = static_cast<size_t>(std::lround(std::pow(longest, i / 29.0)));
            Generator g(seed++);
            std::string bytes;
            while (bytes.size() < length) bytes += Piece(kind, g);
            bytes.resize(length);
            corpus.push_back({kind, bytes});
        }
    }
    return corpus;
}
