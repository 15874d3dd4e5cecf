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

int RunsOfLengths(const std::uint8_t* lengths, int count, LengthRun* runs) {
    int made = 0;
    for (int i = 0; i < count;) {
        const std::uint8_t length = lengths[i];
        int run = 1;
        while (i + run < count && lengths[i + run] == length) ++run;
        i += run;
        if (length == 0) {
            for (; run >= 11; run -= std::min(run, 138))
                runs[made++] = {18, static_cast<std::uint8_t>(std::min(run, 138) - 11)};
            if (run >= 3) {
                runs[made++] = {17, static_cast<std::uint8_t>(run - 3)};
                run = 0;
            }
        } else {
            runs[made++] = {length, 0};
            --run;
            for (; run >= 3; run -= std::min(run, 6))
                runs[made++] = {16, static_cast<std::uint8_t>(std::min(run, 6) - 3)};
        }
        for (; run > 0; --run) runs[made++] = {length, 0};
    }
    return made;
}

constexpr int RunExtraBits(int symbol) {
    return symbol == 16 ? 2 : symbol == 17 ? 3 : symbol == 18 ? 7 : 0;
}

struct Codes {
    std::array<std::uint8_t, kLiteralLengthSymbols> literal_lengths{};
    std::array<std::uint16_t, kLiteralLengthSymbols> literal_codes{};
    std::array<std::uint8_t, kDistanceSymbols> distance_lengths{};
    std::array<std::uint16_t, kDistanceSymbols> distance_codes{};
};

// A symbol's code and its length, with room beside them for the extra bits.
struct Written {
    std::uint32_t bits;
    int count;
};

// The fixed code's lengths are given for 288 symbols, of which the last two are never used but
// count in the canonical order: the codes of the others follow from all of them.
const Codes& FixedCodes() {
    static const Codes codes = [] {
        constexpr int kFixedSymbols = 288;
        std::array<std::uint8_t, kFixedSymbols> lengths;
        std::array<std::uint16_t, kFixedSymbols> all;
        for (int s = 0; s < kFixedSymbols; ++s)
            lengths[s] = static_cast<std::uint8_t>(FixedLength(s));
        CanonicalCodes(lengths.data(), kFixedSymbols, all.data());
        Codes fixed;
        std::copy_n(lengths.begin(), kLiteralLengthSymbols, fixed.literal_lengths.begin());
        std::copy_n(all.begin(), kLiteralLengthSymbols, fixed.literal_codes.begin());
        fixed.distance_lengths.fill(5);
        CanonicalCodes(fixed.distance_lengths.data(), kDistanceSymbols,
                       fixed.distance_codes.data());
        return fixed;
    }();
    return codes;
}

void WriteTokens(std::span<const Token> tokens, const Codes& codes, BitWriter* out) {
    std::array<Written, kLiteralLengthSymbols> literals;
    for (int s = 0; s < kLiteralLengthSymbols; ++s)
        literals[s] = {codes.literal_codes[s], codes.literal_lengths[s]};
    std::array<Written, kDistanceSymbols> distances;
    for (int s = 0; s < kDistanceSymbols; ++s)
        distances[s] = {codes.distance_codes[s], codes.distance_lengths[s]};
    for (const Token& t : tokens) {
        if (t.distance == 0) {
            out->Put(literals[t.value].bits, literals[t.value].count);
            continue;
        }
        const Code length = kLengthCodes[t.value];
        const Written l = literals[length.symbol];
        out->Put(l.bits | (std::uint32_t{length.extra} << l.count), l.count + length.extra_bits);
        const Code distance = DistanceCode(t.distance);
        const Written d = distances[distance.symbol];
        out->Put(d.bits | (std::uint32_t{distance.extra} << d.count),
                 d.count + distance.extra_bits);
    }
    out->Put(literals[kEndOfBlock].bits, literals[kEndOfBlock].count);
}

}  // namespace

void TokenBlock::Write(bool last, BitWriter* out) {
    std::array<std::uint32_t, kLiteralLengthSymbols>& literal_counts = literal_counts_;
    std::array<std::uint32_t, kDistanceSymbols>& distance_counts = distance_counts_;
    literal_counts[kEndOfBlock] = 1;
    std::size_t extra_bits = 0;
    for (int s = 265; s < 285; ++s) extra_bits += literal_counts[s] * ((s - 261) / 4);
    for (int s = 4; s < kDistanceSymbols; ++s) extra_bits += distance_counts[s] * (s / 2 - 1);

    Codes dynamic;
    HuffmanLengths(literal_counts.data(), kLiteralLengthSymbols, kLongestCode,
                   dynamic.literal_lengths.data());
    HuffmanLengths(distance_counts.data(), kDistanceSymbols, kLongestCode,
                   dynamic.distance_lengths.data());
    int literal_symbols = kLiteralLengthSymbols;
    while (dynamic.literal_lengths[literal_symbols - 1] == 0) --literal_symbols;
    int distance_symbols = kDistanceSymbols;
    while (dynamic.distance_lengths[distance_symbols - 1] == 0) --distance_symbols;
    std::array<std::uint8_t, kLiteralLengthSymbols + kDistanceSymbols> all_lengths;
    std::copy_n(dynamic.literal_lengths.begin(), literal_symbols, all_lengths.begin());
    std::copy_n(dynamic.distance_lengths.begin(), distance_symbols,
                all_lengths.begin() + literal_symbols);
    std::array<LengthRun, kLiteralLengthSymbols + kDistanceSymbols> runs;
    const int run_count =
        RunsOfLengths(all_lengths.data(), literal_symbols + distance_symbols, runs.data());
    std::array<std::uint32_t, kCodeLengthSymbols> run_counts{};
    for (int i = 0; i < run_count; ++i) ++run_counts[runs[i].symbol];
    std::array<std::uint8_t, kCodeLengthSymbols> run_lengths;
    HuffmanLengths(run_counts.data(), kCodeLengthSymbols, kLongestCodeLengthCode,
                   run_lengths.data());
    int header_lengths = kCodeLengthSymbols;
    while (header_lengths > 4 && run_lengths[kCodeLengthOrder[header_lengths - 1]] == 0)
        --header_lengths;

    std::size_t dynamic_bits = 3 + 5 + 5 + 4 + 3 * static_cast<std::size_t>(header_lengths);
    std::size_t fixed_bits = 3;
    for (int s = 0; s < kCodeLengthSymbols; ++s)
        dynamic_bits += run_counts[s] * (run_lengths[s] + RunExtraBits(s));
    for (int s = 0; s < kLiteralLengthSymbols; ++s) {
        dynamic_bits += literal_counts[s] * dynamic.literal_lengths[s];
        fixed_bits += literal_counts[s] * FixedLength(s);
    }
    for (int s = 0; s < kDistanceSymbols; ++s) {
        dynamic_bits += distance_counts[s] * dynamic.distance_lengths[s];
        fixed_bits += distance_counts[s] * 5;
    }
    const bool fixed = fixed_bits <= dynamic_bits;
    out->Reserve((std::min(fixed_bits, dynamic_bits) + extra_bits) / 8 + 1);

    if (fixed) {
        out->Put((last ? 1 : 0) | (1 << 1), 3);
        WriteTokens({tokens_.get(), count_}, FixedCodes(), out);
    } else {
        CanonicalCodes(dynamic.literal_lengths.data(), kLiteralLengthSymbols,
                       dynamic.literal_codes.data());
        CanonicalCodes(dynamic.distance_lengths.data(), kDistanceSymbols,
                       dynamic.distance_codes.data());
        std::array<std::uint16_t, kCodeLengthSymbols> run_codes;
        CanonicalCodes(run_lengths.data(), kCodeLengthSymbols, run_codes.data());
        out->Put((last ? 1 : 0) | (2 << 1), 3);
        out->Put(static_cast<std::uint32_t>(literal_symbols - 257), 5);
        out->Put(static_cast<std::uint32_t>(distance_symbols - 1), 5);
        out->Put(static_cast<std::uint32_t>(header_lengths - 4), 4);
        for (int i = 0; i < header_lengths; ++i) out->Put(run_lengths[kCodeLengthOrder[i]], 3);
        for (int i = 0; i < run_count; ++i) {
            const LengthRun run = runs[i];
            out->Put(run_codes[run.symbol], run_lengths[run.symbol]);
            if (RunExtraBits(run.symbol) != 0) out->Put(run.extra, RunExtraBits(run.symbol));
        }
        WriteTokens({tokens_.get(), count_}, dynamic, out);
    }
    count_ = 0;
    literal_counts_.fill(0);
    distance_counts_.fill(0);
}
