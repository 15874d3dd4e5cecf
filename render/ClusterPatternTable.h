// The PDF417 bar/space patterns of codewords 0..928 in clusters 0, 3 and 6: block 0 is
// cluster 0, block 1 cluster 3, block 2 cluster 6, each in codeword order. Each pattern is its
// 17 modules, bit 16 the leftmost and 1 a bar, as row assembly appends it to a row. Generated
// from the list of patterns in pdf417-cluster-patterns.txt.
#pragma once

#include <cstdint>

#include "component/state/SymbolLimits.h"

constexpr int kClusterBlocks = 3;

extern const std::uint32_t ClusterPatternTable[kClusterBlocks * kCodewordValues];
