// One row of a symbol as its modules, left to right, 1 for a bar: what row assembly makes of a
// row, and what drawing reads, painting each run of bars as one rectangle or packing the
// modules straight into a picture's scanlines. Keeping rows as modules rather than pixels
// leaves the module width to drawing alone, and lets a row be built a pattern at a time.
#pragma once

#include <bit>
#include <cstdint>

#include "component/state/SymbolLimits.h"
#include "render/SymbolGeometry.h"

struct ModuleRow {
    // The widest row: a full PDF417 row of the most data columns.
    static constexpr std::int32_t kMaxModules = DrawnRowModules(kMaxColumns, false);
    static constexpr std::int32_t kWords = (kMaxModules + 63) / 64;

    // Module m is bit 63 - m % 64 of words[m / 64]: the leftmost module is the highest bit,
    // so that a row reads in the order it is drawn. Bits past `length` are 0.
    std::uint64_t words[kWords] = {};
    std::int32_t length = 0;

    // Appends `count` modules (1 to 32), given as the low bits of `modules`, the most
    // significant bit first: a 17-bit codeword pattern is appended as the table holds it.
    void Append(std::uint32_t modules, int count) {
        const std::uint64_t aligned = static_cast<std::uint64_t>(modules) << (64 - count);
        const std::int32_t word = length >> 6;
        const int used = length & 63;
        words[word] |= aligned >> used;
        if (used + count > 64) words[word + 1] |= aligned << (64 - used);
        length += count;
    }

    // The 64 modules from `first` on, left-aligned in a word.
    std::uint64_t WordAt(std::int32_t first) const {
        const std::int32_t word = first >> 6;
        const int shift = first & 63;
        if (shift == 0) return words[word];
        const std::uint64_t next = word + 1 < kWords ? words[word + 1] : 0;
        return words[word] << shift | next >> (64 - shift);
    }

    // Calls bar(first, modules) for each run of bar modules, left to right.
    template <typename Bar>
    void ForEachBar(Bar bar) const {
        std::int32_t m = 0;
        while (m < length) {
            const int spaces = std::countl_zero(WordAt(m));
            m += spaces;
            if (spaces == 64 || m >= length) continue;
            const std::int32_t start = m;
            int run;
            do {
                run = std::countl_one(WordAt(m));
                m += run;
            } while (run == 64);
            bar(start, m - start);
        }
    }
};
