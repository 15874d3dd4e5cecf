// Reading 17-module codeword patterns as the tests do, without the generator's or the
// renderer's code: bit 16 is the leftmost module, 1 a bar module.
#pragma once

#include <cstdint>
#include <vector>

// Run widths from left to right.
inline std::vector<int> RunWidthsOf(std::uint32_t pattern) {
    std::vector<int> runs;
    int previous = -1;
    for (int bit = 16; bit >= 0; --bit) {
        const int module = (pattern >> bit) & 1;
        if (module == previous) {
            ++runs.back();
        } else {
            runs.push_back(1);
            previous = module;
        }
    }
    return runs;
}

inline bool StartsWithBar(std::uint32_t pattern) {
    return ((pattern >> 16) & 1) == 1;
}
