#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <vector>

#include "render/ClusterPatternTable.h"
#include "tests/render/PatternRuns.h"

namespace {

struct Sample {
    int block;
    int codeword;
    std::uint32_t pattern;
    std::vector<int> widths;
};

class ClusterPatternSamples : public testing::TestWithParam<Sample> {};

TEST_P(ClusterPatternSamples, MatchTheStandard) {
    const Sample& s = GetParam();
    const std::uint32_t entry = ClusterPatternTable[s.block * kCodewordValues + s.codeword];
    EXPECT_EQ(entry, s.pattern);
    EXPECT_EQ(RunWidthsOf(entry), s.widths);
}

INSTANTIATE_TEST_SUITE_P(Table, ClusterPatternSamples,
                         testing::Values(Sample{0, 0, 0x1D5C0, {3, 1, 1, 1, 1, 1, 3, 6}},
                                         Sample{1, 0, 0x1F560, {5, 1, 1, 1, 1, 1, 2, 5}},
                                         Sample{2, 0, 0x1ABE0, {2, 1, 1, 1, 1, 1, 5, 5}},
                                         Sample{0, 1, 0x1EAF0, {4, 1, 1, 1, 1, 1, 4, 4}},
                                         Sample{0, 928, 0x1BEF4, {2, 1, 5, 1, 4, 1, 1, 2}}));

TEST(ClusterPatternTable, EveryEntryIsACodewordOfItsBlocksCluster) {
    const int clusters[kClusterBlocks] = {0, 3, 6};
    for (int block = 0; block < kClusterBlocks; ++block) {
        for (int codeword = 0; codeword < kCodewordValues; ++codeword) {
            const std::uint32_t entry = ClusterPatternTable[block * kCodewordValues + codeword];
            SCOPED_TRACE(testing::Message() << "block " << block << " codeword " << codeword);
            ASSERT_EQ(entry >> 17, 0u);
            const std::vector<int> runs = RunWidthsOf(entry);
            ASSERT_TRUE(StartsWithBar(entry));
            ASSERT_EQ(runs.size(), 8u);  // four bars, four spaces, so the last run is a space
            int total = 0;
            for (int w : runs) {
                EXPECT_GE(w, 1);
                EXPECT_LE(w, 6);
                total += w;
            }
            EXPECT_EQ(total, 17);
            EXPECT_EQ((runs[0] - runs[2] + runs[4] - runs[6] + 9) % 9, clusters[block]);
        }
    }
}

TEST(ClusterPatternTable, NoPatternStandsForTwoCodewords) {
    const std::set<std::uint32_t> distinct(std::begin(ClusterPatternTable),
                                           std::end(ClusterPatternTable));
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kClusterBlocks * kCodewordValues));
}

// The table is generated from render/pdf417-cluster-patterns.txt by
// render/generate_cluster_patterns.py; the two must not drift apart.
TEST(ClusterPatternTable, EqualsThePatternListItIsGeneratedFrom) {
    const std::vector<std::uint32_t>& patterns = PatternList();
    ASSERT_EQ(patterns.size(), static_cast<std::size_t>(kClusterBlocks * kCodewordValues));
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        ASSERT_EQ(ClusterPatternTable[i], patterns[i]) << "entry " << i;
    }
}

}  // namespace
