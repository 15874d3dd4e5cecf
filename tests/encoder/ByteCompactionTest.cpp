#include <gtest/gtest.h>

#include "tests/encoder/EncoderTestSupport.h"
#include "tests/support/NamedCases.h"

namespace encoder_test {
namespace {

// The groups of the worked examples: 'ABCDEF' and six bytes 0xFF.
const Codewords kAbcdef = {109, 326, 368, 127, 330};
const Codewords kSixFF = {429, 11, 71, 222, 855};

Codewords Concat(std::initializer_list<Codewords> parts) {
    Codewords all;
    for (const Codewords& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct ByteCase {
    const char* name;
    Bytes data;
    Codewords codewords;  // latch and data codewords
};

NAMED_CASES(ByteCompaction, ByteCase);

TEST_P(ByteCompaction, GivesTheLatchGroupsAndSingleBytes) {
    const ByteCase& c = GetParam();
    auto q = NewState();
    EXPECT_TRUE(IsFollowedByPadsOnly(EncodeDataCells(*q, c.data, 0), c.codewords));
}

INSTANTIATE_NAMED_CASES(Encoder, ByteCompaction, ByteCase{"Length0", "", {924}},
                        ByteCase{"Length5", "ABCDE", {901, 65, 66, 67, 68, 69}},
                        ByteCase{"Length6", "ABCDEF", Concat({{924}, kAbcdef})},
                        ByteCase{"Length7", "ABCDEFA", Concat({{901}, kAbcdef, {65}})},
                        ByteCase{"Length12", "ABCDEFABCDEF", Concat({{924}, kAbcdef, kAbcdef})},
                        ByteCase{"Length13", "ABCDEFABCDEFZ",
                                 Concat({{901}, kAbcdef, kAbcdef, {90}})},
                        ByteCase{"SixFF", Bytes(6, '\xFF'), Concat({{924}, kSixFF})},
                        ByteCase{"HighBytesUnsigned", "\x80\xFF\xE9", {901, 128, 255, 233}},
                        ByteCase{"GroupThenHighSingles", "ABCDEF\xFF\x80",
                                 Concat({{901}, kAbcdef, {255, 128}})});

TEST(ByteCompaction, AbcdefAtLevel2FillsFiveRowsWithoutPad) {
    auto q = NewState();
    EncodeDataCells(*q, "ABCDEF", 0);
    EXPECT_EQ(q->ActualRows, 5);
    EXPECT_EQ(q->CodewordCount, 15);
    const Codewords symbol = SymbolOf(*q);
    EXPECT_EQ(Codewords(symbol.begin(), symbol.begin() + 7),
              (Codewords{7, 924, 109, 326, 368, 127, 330}));
    EXPECT_TRUE(VanishesAtGeneratorRoots(symbol, 8));
}

TEST(ByteCompaction, DefaultObjectEncodes12AsTheKnownSymbol) {
    auto q = NewState();
    q->EncodeData();
    ASSERT_EQ(q->LastFit, SymbolFit::Fits);
    EXPECT_EQ(q->Columns, 3);
    EXPECT_EQ(q->ActualRows, 4);
    EXPECT_EQ(SymbolOf(*q), (Codewords{4, 901, 49, 50, 927, 827, 662, 519, 846, 850, 132, 724}));
}

}  // namespace
}  // namespace encoder_test
