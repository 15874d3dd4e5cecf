#include <gtest/gtest.h>

#include "tests/encoder/EncoderTestSupport.h"
#include "tests/support/NamedCases.h"

namespace encoder_test {
namespace {

struct DimensionCase {
    const char* name;
    int columns;
    int rows;  // the Rows setting
    int required;
    SymbolFit fit;
    int columnsAfter;
    int actualRowsAfter;
    int codewordCountAfter;
};

NAMED_CASES(DimensionSymbol, DimensionCase);

TEST_P(DimensionSymbol, ChoosesTheShapeOrReportsWhyItDoesNotFit) {
    const DimensionCase& c = GetParam();
    auto q = NewState();
    q->Columns = c.columns;
    q->Rows = c.rows;
    q->ActualRows = 77;  // what an earlier symbol left
    q->LastFit = c.fit == SymbolFit::Fits ? SymbolFit::TooManyRows : SymbolFit::Fits;
    EXPECT_EQ(q->DimensionSymbol(c.required), c.fit == SymbolFit::Fits);
    EXPECT_EQ(q->LastFit, c.fit);
    EXPECT_EQ(q->Columns, c.columnsAfter);
    EXPECT_EQ(q->ActualRows, c.actualRowsAfter);
    EXPECT_EQ(q->CodewordCount, c.codewordCountAfter);
}

INSTANTIATE_NAMED_CASES(
    Encoder, DimensionSymbol, DimensionCase{"DefaultSymbol", 3, 0, 12, SymbolFit::Fits, 3, 4, 12},
    DimensionCase{"TinyStillThreeRows", 3, 0, 5, SymbolFit::Fits, 3, 3, 9},
    DimensionCase{"RowsMinimum", 3, 10, 12, SymbolFit::Fits, 3, 10, 30},
    DimensionCase{"RowsTwoActsAsNone", 3, 2, 5, SymbolFit::Fits, 3, 3, 9},
    DimensionCase{"ColumnsRaisedTo6", 3, 0, 510, SymbolFit::Fits, 6, 85, 510},
    DimensionCase{"Exactly900", 30, 0, 900, SymbolFit::Fits, 30, 30, 900},
    DimensionCase{"Level8OneCodeword", 30, 0, 514, SymbolFit::Fits, 30, 18, 540},
    DimensionCase{"OneColumn", 1, 0, 90, SymbolFit::Fits, 1, 90, 90},
    DimensionCase{"Just929", 30, 0, 929, SymbolFit::TooManyCodewords, 30, 31, 930},
    DimensionCase{"Thousand", 3, 0, 1000, SymbolFit::TooManyCodewords, 12, 84, 1008},
    // Even 30 columns need 91 rows: Columns is left at 31, ActualRows untouched.
    DimensionCase{"TooManyRows", 3, 0, 2701, SymbolFit::TooManyRows, 31, 77, 2701});

TEST(Dimensioning, PreparationResetsColumnsOutside1To30) {
    const struct {
        int before;
        int after;
    } cases[] = {{0, 3}, {-5, 3}, {31, 3}, {1, 1}, {30, 30}, {17, 17}};
    for (const auto& c : cases) {
        auto q = NewState();
        q->Columns = c.before;
        q->PrepareDimensioning();
        EXPECT_EQ(q->Columns, c.after) << c.before;
    }
}

TEST(Dimensioning, RowsTenPadsTheDefaultSymbol) {
    auto q = NewState();
    q->Rows = 10;
    q->EncodeData();
    ASSERT_EQ(q->LastFit, SymbolFit::Fits);
    EXPECT_EQ(q->ActualRows, 10);
    EXPECT_EQ(q->CodewordCount, 30);
    const Codewords symbol = SymbolOf(*q);
    EXPECT_EQ(symbol[0], 22);
    EXPECT_TRUE(IsFollowedByPadsOnly(DataCellsOf(*q), {901, 49, 50}));
    EXPECT_EQ(DataCellsOf(*q).size(), 21u);
    EXPECT_TRUE(VanishesAtGeneratorRoots(symbol, 8));
}

TEST(Dimensioning, SixHundredBytesRaiseColumnsForLaterRequestsToo) {
    auto q = NewState();
    EncodeDataCells(*q, Bytes(600, 'A'), 0);
    EXPECT_EQ(q->Columns, 6);
    EXPECT_EQ(q->ActualRows, 85);
    EXPECT_EQ(q->CodewordCount, 510);
    EXPECT_TRUE(VanishesAtGeneratorRoots(SymbolOf(*q), 8));
    EncodeDataCells(*q, "12", 0);
    EXPECT_EQ(q->Columns, 6);
    EXPECT_EQ(q->ActualRows, 3);
}

TEST(Dimensioning, Level8WithOneTextCodewordIs18RowsOf30) {
    auto q = NewState();
    q->EccLevel = 8;
    q->Columns = 30;
    EncodeDataCells(*q, "AB", 1);
    EXPECT_EQ(q->ActualRows, 18);
    EXPECT_EQ(q->CodewordCount, 540);
    const Codewords symbol = SymbolOf(*q);
    EXPECT_EQ(symbol[0], 28);
    EXPECT_TRUE(IsFollowedByPadsOnly(DataCellsOf(*q), {1}));
    EXPECT_TRUE(VanishesAtGeneratorRoots(symbol, 512));
}

TEST(Dimensioning, FailedSymbolLeavesSymbolCodewordsAloneAndTheNextRequestStartsOver) {
    auto q = NewState();
    for (std::uint16_t& c : q->CodewordBuffer.SymbolCodewords) c = 0x5A5A;
    SetData(*q, Bytes(3300, 'z'));  // 2750 codewords: more than 30 x 90 cells
    q->EncodeData();
    EXPECT_EQ(q->LastFit, SymbolFit::TooManyRows);
    EXPECT_EQ(q->Columns, 31);
    EXPECT_EQ(q->ActualRows, 2);  // the constructor's value: no symbol was ever built
    EXPECT_EQ(q->CodewordCount, 2750 + 2 + 8);
    for (const std::uint16_t c : q->CodewordBuffer.SymbolCodewords) ASSERT_EQ(c, 0x5A5A);

    EncodeDataCells(*q, "12", 0);
    EXPECT_EQ(q->LastFit, SymbolFit::Fits);
    EXPECT_EQ(q->Columns, 3);
    EXPECT_EQ(SymbolOf(*q), (Codewords{4, 901, 49, 50, 927, 827, 662, 519, 846, 850, 132, 724}));
}

}  // namespace
}  // namespace encoder_test
