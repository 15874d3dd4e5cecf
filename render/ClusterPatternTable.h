// The PDF417 bar/space patterns of codewords 0..928 in clusters 0, 3 and 6: block 0 is
// cluster 0, block 1 cluster 3, block 2 cluster 6, each in codeword order. An entry is a
// 17-module pattern, bit 16 the leftmost module and bit 0 the rightmost, 1 a bar module.
//
// Beside it, the same entries as the strings of run widths that row assembly draws them
// with, so that drawing a codeword looks its widths up instead of reading them off the bits.
#pragma once

#include <cstdint>

#include "component/state/SymbolLimits.h"

constexpr int kClusterBlocks = 3;

extern const std::uint32_t ClusterPatternTable[kClusterBlocks * kCodewordValues];

// Eight run widths, leftmost first, as ASCII digits, and a terminating NUL: what
// PatternToRunWidths makes of the entry of the same index in ClusterPatternTable.
constexpr int kRunWidthsSize = 9;
extern const char ClusterRunWidths[kClusterBlocks * kCodewordValues][kRunWidthsSize];
