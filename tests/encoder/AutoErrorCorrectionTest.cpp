// AutoErrorCorrection: the recommended level for the data codewords (1-40: 2, 41-160: 3,
// 161-320: 4, 321-863: 5, and 5 above), never below ErrorCorrectionLevel, at every boundary.
#include <gtest/gtest.h>

#include "encoder/RecommendedEccLevel.h"
#include "tests/encoder/EncoderTestSupport.h"

namespace encoder_test {
namespace {

TEST(RecommendedEccLevel, FollowsTheTableOfDataSizes) {
    const struct {
        int dataCodewords, level;
    } cases[] = {{1, 2},   {40, 2},  {41, 3},  {160, 3}, {161, 4},
                 {320, 4}, {321, 5}, {863, 5}, {864, 5}, {926, 5}};
    for (const auto& c : cases) {
        EXPECT_EQ(RecommendedEccLevel(c.dataCodewords), c.level) << c.dataCodewords;
    }
}

// Bytes in byte compaction take 5 codewords for each six and one for each byte left, besides
// the length descriptor and the latch; the byte counts below give the data codewords named.
struct AutoCase {
    int bytes;
    int dataCodewords;
    int setting;
    int eci;
    int level;  // the symbol's, or −1 when the data no longer fits
};

class AutoErrorCorrection : public ::testing::TestWithParam<AutoCase> {};

TEST_P(AutoErrorCorrection, RaisesTheLevelForTheData) {
    const AutoCase& c = GetParam();
    auto q = NewState();
    SetData(*q, Bytes(static_cast<size_t>(c.bytes), 'x'));
    q->EccLevel = c.setting;
    q->Eci = c.eci;
    q->AutoErrorCorrection = TRUE;
    q->Columns = 29;  // 29 x 32 = 928 holds the largest symbol
    q->EncodeData();
    EXPECT_EQ(q->EccLevel, c.setting) << "the setting itself stays";
    if (c.level < 0) {
        EXPECT_NE(q->LastFit, SymbolFit::Fits);
        return;
    }
    ASSERT_EQ(q->LastFit, SymbolFit::Fits);
    EXPECT_EQ(q->SymbolEccLevel(), c.level);
    const Codewords symbol = SymbolOf(*q);
    EXPECT_EQ(symbol[0], q->CodewordCount - (2 << c.level));
    EXPECT_TRUE(VanishesAtGeneratorRoots(symbol, 2 << c.level));
    // Its data codewords are the ones named, the pad codewords not counted.
    Codewords cells = DataCellsOf(*q);
    while (!cells.empty() && cells.back() == 900) cells.pop_back();
    EXPECT_EQ(static_cast<int>(cells.size()) + 1, c.dataCodewords);
    // Turned off, the setting is the level again.
    q->AutoErrorCorrection = FALSE;
    EXPECT_EQ(q->SymbolEccLevel(), c.setting);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, AutoErrorCorrection,
    ::testing::Values(AutoCase{0, 2, 2, 0, 2}, AutoCase{45, 40, 2, 0, 2}, AutoCase{46, 41, 2, 0, 3},
                      AutoCase{45, 42, 2, 26, 3},  // 927 26 counts
                      AutoCase{189, 160, 0, 0, 3}, AutoCase{190, 161, 0, 0, 4},
                      AutoCase{381, 320, 1, 0, 4}, AutoCase{382, 321, 1, 0, 5},
                      AutoCase{1033, 863, 2, 0, 5}, AutoCase{1034, 864, 2, 0, 5},
                      AutoCase{45, 40, 6, 0, 6},     // never below the setting
                      AutoCase{1035, 865, 2, 0, -1}  // 865 + 64 > 928: refused as any other
                      ));

// The row indicators carry the symbol's level, which is the raised one.
TEST(AutoErrorCorrection, TheRowIndicatorsCarryTheRaisedLevel) {
    auto q = NewState();
    SetData(*q, Bytes(190, 'x'));
    q->AutoErrorCorrection = TRUE;
    q->EncodeData();
    ASSERT_EQ(q->LastFit, SymbolFit::Fits);
    // Row 1's left indicator: 30 x 0 + 3 x level + (rows - 1) mod 3.
    EXPECT_EQ(q->LeftRowIndicator(1), 3 * 4 + (q->ActualRows - 1) % 3);
}

}  // namespace
}  // namespace encoder_test
