// The PDF417 bar/space patterns of codewords 0..928 in clusters 0, 3 and 6: block 0 is
// cluster 0, block 1 cluster 3, block 2 cluster 6, each in codeword order. Each pattern is
// kept as what row assembly draws it with: the widths of its eight runs, 17 modules in all,
// leftmost (a bar) first, as ASCII digits and a terminating NUL. Generated from the list of
// 17-bit patterns in pdf417-cluster-patterns.txt (bit 16 the leftmost module, 1 a bar).
#pragma once

#include <cstdint>

#include "component/state/SymbolLimits.h"

constexpr int kClusterBlocks = 3;

constexpr int kRunWidthsSize = 9;
extern const char ClusterPatternTable[kClusterBlocks * kCodewordValues][kRunWidthsSize];
