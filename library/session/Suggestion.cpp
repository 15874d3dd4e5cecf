#include "library/session/Suggestion.h"

#include <algorithm>
#include <vector>

#include "platform/common/AsciiCase.h"

namespace {

// Optimal string alignment distance: Levenshtein with transpositions of neighbours.
std::size_t EditDistance(const std::string& a, const std::string& b) {
    const std::size_t n = a.size(), m = b.size();
    std::vector<std::vector<std::size_t>> d(n + 1, std::vector<std::size_t>(m + 1));
    for (std::size_t i = 0; i <= n; ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= m; ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = 1; j <= m; ++j) {
            const std::size_t replace = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + replace});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[n][m];
}

}  // namespace

std::string ClosestName(std::string_view name, std::span<const std::string_view> candidates) {
    constexpr std::size_t kLongestCompared = 64;  // a longer name is no misspelling
    if (name.empty() || name.size() > kLongestCompared) return {};
    const std::string wanted = platform::Lower(name);
    const std::size_t allowed = wanted.size() <= 4 ? 1 : 2;
    std::string best;
    std::size_t best_distance = allowed + 1;
    for (const std::string_view candidate : candidates) {
        const std::size_t distance = EditDistance(wanted, platform::Lower(candidate));
        if (distance < best_distance) {
            best_distance = distance;
            best = candidate;
        }
    }
    return best;
}
