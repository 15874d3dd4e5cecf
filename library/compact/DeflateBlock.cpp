#include "library/compact/DeflateBlock.h"

#include <algorithm>
#include <array>
#include <bit>
#include <span>

#include "library/compact/Huffman.h"

namespace {

constexpr int kEndOfBlock = 256;
constexpr int kCodeLengthSymbols = 19;
constexpr int kLongestCode = 15;
constexpr int kLongestCodeLengthCode = 7;
// The order in which a dynamic block's header gives the code length code's lengths.
constexpr std::array<std::uint8_t, kCodeLengthSymbols> kCodeLengthOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr int FixedLength(int symbol) {
    return symbol < 144 ? 8 : symbol < 256 ? 9 : symbol < 280 ? 7 : 8;
}

// The code lengths of both codes in a row, as the header gives them: runs of a repeated length
// (16), of zeros (17, 18), and single lengths.
struct LengthRun {
    std::uint8_t symbol;
    std::uint8_t extra;  // the run's length less the least the symbol stands for
};

class LengthRuns {
public:
    void Zeros(int run) {
        for (; run >= 11; run -= std::min(run, 138))
            runs_[count_++] = {18, static_cast<std::uint8_t>(std::min(run, 138) - 11)};
        if (run >= 3) {
            runs_[count_++] = {17, static_cast<std::uint8_t>(run - 3)};
            run = 0;
        }
        for (; run > 0; --run) runs_[count_++] = {0, 0};
    }
    void Repeats(std::uint8_t length, int run) {
        runs_[count_++] = {length, 0};
        for (--run; run >= 3; run -= std::min(run, 6))
            runs_[count_++] = {16, static_cast<std::uint8_t>(std::min(run, 6) - 3)};
        for (; run > 0; --run) runs_[count_++] = {length, 0};
    }
    // The lengths of the used symbols of one code, `first` being the place of its symbol 0
    // in the row; `at` is the place after the last length given so far.
    void Code(const std::uint8_t* lengths, const UsedSymbols& used, int first, int* at) {
        for (int i = 0; i < used.count;) {
            const int symbol = used.symbol[i];
            Zeros(first + symbol - *at);
            int j = i + 1;
            while (j < used.count && used.symbol[j] == used.symbol[j - 1] + 1 &&
                   lengths[used.symbol[j]] == lengths[symbol])
                ++j;
            Repeats(lengths[symbol], j - i);
            *at = first + used.symbol[j - 1] + 1;
            i = j;
        }
    }
    int count() const { return count_; }
    const LengthRun& operator[](int i) const { return runs_[i]; }

private:
    std::array<LengthRun, kLiteralLengthSymbols + kDistanceSymbols> runs_;
    int count_ = 0;
};

constexpr int RunExtraBits(int symbol) {
    return symbol == 16 ? 2 : symbol == 17 ? 3 : symbol == 18 ? 7 : 0;
}

// A symbol's code and its length, with room beside them for the extra bits. Only the entries
// of the symbols a block uses are filled.
struct Written {
    std::uint32_t bits;
    int count;
};
struct Codes {
    std::array<Written, kLiteralLengthSymbols> literals;
    std::array<Written, kDistanceSymbols> distances;
};

// The code of each used symbol, from the lengths.
template <std::size_t N>
void Fill(const std::uint8_t* lengths, const UsedSymbols& used, std::array<Written, N>* codes) {
    std::array<std::uint16_t, 288> canonical;
    CanonicalCodes(lengths, used, canonical.data());
    for (int i = 0; i < used.count; ++i) {
        const int s = used.symbol[i];
        if (static_cast<std::size_t>(s) < N) (*codes)[s] = {canonical[s], lengths[s]};
    }
}

// The fixed code's lengths are given for 288 symbols, of which the last two are never used but
// count in the canonical order: the codes of the others follow from all of them.
const Codes& FixedCodes() {
    static const Codes codes = [] {
        UsedSymbols all;
        std::array<std::uint8_t, 288> lengths;
        for (int s = 0; s < 288; ++s) {
            all.symbol[s] = static_cast<std::uint16_t>(s);
            lengths[s] = static_cast<std::uint8_t>(FixedLength(s));
        }
        all.count = 288;
        Codes fixed;
        Fill(lengths.data(), all, &fixed.literals);
        all.count = kDistanceSymbols;
        lengths.fill(5);
        Fill(lengths.data(), all, &fixed.distances);
        return fixed;
    }();
    return codes;
}

void WriteTokens(std::span<const Token> tokens, const Codes& codes, BitWriter* out) {
    for (const Token& t : tokens) {
        if (t.distance == 0) {
            out->Put(codes.literals[t.value].bits, codes.literals[t.value].count);
            continue;
        }
        const Code length = kLengthCodes[t.value];
        const Written l = codes.literals[length.symbol];
        out->Put(l.bits | (std::uint32_t{length.extra} << l.count), l.count + length.extra_bits);
        const Code distance = DistanceCode(t.distance);
        const Written d = codes.distances[distance.symbol];
        out->Put(d.bits | (std::uint32_t{distance.extra} << d.count),
                 d.count + distance.extra_bits);
    }
    out->Put(codes.literals[kEndOfBlock].bits, codes.literals[kEndOfBlock].count);
}

}  // namespace

void TokenBlock::Write(bool last, BitWriter* out) {
    literal_counts_[kEndOfBlock] = 1;
    UsedSymbols literals, distances;
    CollectUsed(literal_counts_.data(), kLiteralLengthSymbols, &literals);
    CollectUsed(distance_counts_.data(), kDistanceSymbols, &distances);
    std::array<std::uint8_t, kLiteralLengthSymbols> literal_lengths;
    std::array<std::uint8_t, kDistanceSymbols> distance_lengths;
    HuffmanLengths(literal_counts_.data(), literals, kLongestCode, literal_lengths.data());
    HuffmanLengths(distance_counts_.data(), distances, kLongestCode, distance_lengths.data());

    // Both codes' bits, and the extra bits that follow length and distance codes alike.
    std::size_t dynamic_bits = 0, fixed_bits = 3, extra_bits = 0;
    for (int i = 0; i < literals.count; ++i) {
        const int s = literals.symbol[i];
        dynamic_bits += std::size_t{literal_counts_[s]} * literal_lengths[s];
        fixed_bits += std::size_t{literal_counts_[s]} * FixedLength(s);
        if (s >= 265 && s < 285) extra_bits += literal_counts_[s] * ((s - 261) / 4);
    }
    for (int i = 0; i < distances.count; ++i) {
        const int s = distances.symbol[i];
        dynamic_bits += std::size_t{distance_counts_[s]} * distance_lengths[s];
        fixed_bits += std::size_t{distance_counts_[s]} * 5;
        if (s >= 4) extra_bits += distance_counts_[s] * (s / 2 - 1);
    }
    const int literal_symbols = literals.symbol[literals.count - 1] + 1;
    const int distance_symbols = distances.symbol[distances.count - 1] + 1;
    LengthRuns runs;
    int at = 0;
    runs.Code(literal_lengths.data(), literals, 0, &at);
    runs.Code(distance_lengths.data(), distances, literal_symbols, &at);
    std::array<std::uint32_t, kCodeLengthSymbols> run_counts{};
    for (int i = 0; i < runs.count(); ++i) ++run_counts[runs[i].symbol];
    UsedSymbols run_symbols;
    CollectUsed(run_counts.data(), kCodeLengthSymbols, &run_symbols);
    std::array<std::uint8_t, kCodeLengthSymbols> run_lengths{};
    HuffmanLengths(run_counts.data(), run_symbols, kLongestCodeLengthCode, run_lengths.data());
    int header_lengths = kCodeLengthSymbols;
    while (header_lengths > 4 && run_lengths[kCodeLengthOrder[header_lengths - 1]] == 0)
        --header_lengths;
    dynamic_bits += 3 + 5 + 5 + 4 + 3 * static_cast<std::size_t>(header_lengths);
    for (int i = 0; i < run_symbols.count; ++i) {
        const int s = run_symbols.symbol[i];
        dynamic_bits += run_counts[s] * (run_lengths[s] + RunExtraBits(s));
    }
    const bool fixed = fixed_bits <= dynamic_bits;
    out->Reserve((std::min(fixed_bits, dynamic_bits) + extra_bits) / 8 + 1);

    if (fixed) {
        out->Put((last ? 1 : 0) | (1 << 1), 3);
        WriteTokens({tokens_.get(), count_}, FixedCodes(), out);
    } else {
        Codes codes;
        Fill(literal_lengths.data(), literals, &codes.literals);
        Fill(distance_lengths.data(), distances, &codes.distances);
        std::array<std::uint16_t, 288> run_codes;
        CanonicalCodes(run_lengths.data(), run_symbols, run_codes.data());
        out->Put((last ? 1 : 0) | (2 << 1), 3);
        out->Put(static_cast<std::uint32_t>(literal_symbols - 257), 5);
        out->Put(static_cast<std::uint32_t>(distance_symbols - 1), 5);
        out->Put(static_cast<std::uint32_t>(header_lengths - 4), 4);
        for (int i = 0; i < header_lengths; ++i) out->Put(run_lengths[kCodeLengthOrder[i]], 3);
        for (int i = 0; i < runs.count(); ++i) {
            const LengthRun run = runs[i];
            out->Put(run_codes[run.symbol], run_lengths[run.symbol]);
            if (RunExtraBits(run.symbol) != 0) out->Put(run.extra, RunExtraBits(run.symbol));
        }
        WriteTokens({tokens_.get(), count_}, codes, out);
    }
    count_ = 0;
    literal_counts_.fill(0);
    distance_counts_.fill(0);
}
