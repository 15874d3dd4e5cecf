#include "tests/support/SymbolModules.h"

#include <algorithm>
#include <map>

#include "render/ClusterPatternTable.h"
#include "tests/support/CodewordPatterns.h"

namespace {

constexpr std::uint32_t kStartPattern = 0x1FEA8;
constexpr int kPatternModules = 17;
// Start pattern, two row indicators and the 18-module stop pattern.
constexpr int kRowOverhead = 4 * kPatternModules + 1;

// Pattern to codeword, for each cluster block.
const std::map<std::uint32_t, int>& CodewordOf(int block) {
    static const auto tables = [] {
        std::vector<std::map<std::uint32_t, int>> t(kClusterBlocks);
        for (int b = 0; b < kClusterBlocks; ++b) {
            for (int c = 0; c < kCodewordValues; ++c) {
                t[static_cast<size_t>(b)][ClusterPatternTable[b * kCodewordValues + c]] = c;
            }
        }
        return t;
    }();
    return tables[static_cast<size_t>(block)];
}

}  // namespace

int CodewordOfPattern(int block, std::uint32_t pattern) {
    const auto& table = CodewordOf(block);
    const auto it = table.find(pattern);
    return it == table.end() ? -1 : it->second;
}

namespace {

std::uint32_t PatternAt(const std::vector<bool>& modules, int first) {
    std::uint32_t pattern = 0;
    for (int m = 0; m < kPatternModules; ++m) {
        pattern = pattern << 1 | (modules[static_cast<size_t>(first + m)] ? 1u : 0u);
    }
    return pattern;
}

}  // namespace

std::vector<int> SymbolReading::DataArea() const {
    if (codewords.empty() || codewords[0] > static_cast<int>(codewords.size())) return {};
    return std::vector<int>(codewords.begin(), codewords.begin() + codewords[0]);
}

SymbolReading ReadSymbolModules(const std::vector<std::vector<bool>>& rows) {
    SymbolReading reading;
    std::vector<int> left;
    for (size_t r = 0; r < rows.size(); ++r) {
        const std::vector<bool>& modules = rows[r];
        const int width = static_cast<int>(modules.size());
        if (width < kRowOverhead || (width - kRowOverhead) % kPatternModules != 0 ||
            PatternAt(modules, 0) != kStartPattern) {
            reading.error = "row " + std::to_string(r) + " is no full PDF417 row";
            return reading;
        }
        const int columns = (width - kRowOverhead) / kPatternModules;
        std::vector<int> values;
        for (int k = 0; k < columns + 2; ++k) {
            const int value = CodewordOfPattern(static_cast<int>(r % 3),
                                                PatternAt(modules, kPatternModules * (k + 1)));
            if (value < 0) {
                reading.error = "row " + std::to_string(r) + " pattern " + std::to_string(k) +
                                " is no codeword of its cluster";
                return reading;
            }
            values.push_back(value);
        }
        left.push_back(values.front());
        reading.codewords.insert(reading.codewords.end(), values.begin() + 1, values.end() - 1);
    }
    if (left.size() < 3) {
        reading.error = "fewer than three rows";
        return reading;
    }
    // Rows 0, 1 and 2 carry, modulo 30: (rows − 1) ÷ 3; 3 × level + (rows − 1) mod 3; columns − 1.
    reading.rows = left[0] % 30 * 3 + left[1] % 30 % 3 + 1;
    reading.eccLevel = left[1] % 30 / 3;
    reading.columns = left[2] % 30 + 1;
    if (reading.rows != static_cast<int>(rows.size()) ||
        reading.columns * reading.rows != static_cast<int>(reading.codewords.size())) {
        reading.error = "the row indicators disagree with the symbol's shape";
    }
    return reading;
}

std::vector<std::vector<bool>> ModulesOfPicture(const DecodedPng& picture, int module,
                                                int rowHeight) {
    auto dark = [&](int x, int y) {
        const std::uint32_t rgb = picture.Pixel(x, y);
        return ((rgb >> 16 & 0xFF) + (rgb >> 8 & 0xFF) + (rgb & 0xFF)) < 3 * 128;
    };
    int left = picture.width, right = -1, top = picture.height, bottom = -1;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if (!dark(x, y)) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0 || module <= 0 || rowHeight <= 0) return {};
    const int modules = (right - left + 1) / module;
    const int rowCount = (bottom - top + 1) / rowHeight;
    std::vector<std::vector<bool>> rows(static_cast<size_t>(rowCount));
    for (int r = 0; r < rowCount; ++r) {
        const int y = top + r * rowHeight + rowHeight / 2;
        for (int m = 0; m < modules; ++m)
            rows[static_cast<size_t>(r)].push_back(dark(left + m * module + module / 2, y));
    }
    return rows;
}

SymbolReading ReadSymbolPicture(const DecodedPng& picture, int module, int rowHeight) {
    const std::vector<std::vector<bool>> rows = ModulesOfPicture(picture, module, rowHeight);
    if (rows.empty()) {
        SymbolReading reading;
        reading.error = "no symbol in the picture";
        return reading;
    }
    return ReadSymbolModules(rows);
}
