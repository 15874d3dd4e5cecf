// The codeword patterns the render tests read, as listed in the file the table is generated
// from.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/CodewordPatterns.h"

// The patterns of render/pdf417-cluster-patterns.txt, which the table is generated from:
// cluster 0, 3 and 6, each in codeword order.
inline const std::vector<std::uint32_t>& PatternList() {
    static const std::vector<std::uint32_t> patterns = [] {
        std::vector<std::uint32_t> list;
        std::ifstream file(QUILLON_CLUSTER_PATTERN_LIST);
        for (std::string line; std::getline(file, line);) {
            if (line.empty() || line[0] == '#') continue;
            list.push_back(static_cast<std::uint32_t>(std::stoul(line, nullptr, 16)));
        }
        return list;
    }();
    return patterns;
}
