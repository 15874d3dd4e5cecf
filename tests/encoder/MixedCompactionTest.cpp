#include <gtest/gtest.h>

#include "tests/encoder/EncoderTestSupport.h"
#include "tests/support/NamedCases.h"

namespace encoder_test {
namespace {

struct MixedCase {
    const char* name;
    Bytes data;
    Codewords codewords;  // second-pass codewords, before the pad codewords
};

NAMED_CASES(MixedCompaction, MixedCase);

TEST_P(MixedCompaction, GivesTheCodewords) {
    const MixedCase& c = GetParam();
    auto q = NewState();
    EXPECT_TRUE(IsFollowedByPadsOnly(EncodeDataCells(*q, c.data, 2), c.codewords));
    EXPECT_TRUE(VanishesAtGeneratorRoots(SymbolOf(*q), q->EccCount()));
}

Codewords EighteenE9() {
    Codewords c = {924};
    for (int g = 0; g < 3; ++g) c.insert(c.end(), {391, 899, 481, 514, 273});
    c.push_back(900);
    return c;
}

INSTANTIATE_NAMED_CASES(Encoder, MixedCompaction,
                        MixedCase{"OneByteRunBetweenPairs",
                                  "AB\x01"
                                  "CD",
                                  {1, 901, 1, 900, 63}},
                        MixedCase{"RunAfterPairLatchesDirectly", "AB\x80", {1, 901, 128, 900}},
                        MixedCase{"SixByteRun",
                                  "A" + Bytes(6, '\x80') + "Z",
                                  {29, 924, 215, 312, 558, 104, 768, 900, 779}},
                        MixedCase{"SevenByteRun",
                                  "A" + Bytes(7, '\x80') + "bc",
                                  {29, 901, 215, 312, 558, 104, 768, 128, 900, 811, 89}},
                        MixedCase{"RunTextRun", "\xE9t\xE9", {901, 233, 900, 829, 901, 233, 900}},
                        MixedCase{"Utf8Pair", "\xC3\xA9", {901, 195, 169, 900}},
                        MixedCase{"EighteenE9", Bytes(18, '\xE9'), EighteenE9()});

TEST(MixedCompaction, ValueListFramesTheRunWithMarkers) {
    auto q = NewState();
    EncodeDataCells(*q,
                    "AB\x01"
                    "CD",
                    2);
    const std::uint16_t* v = q->CodewordBuffer.CompactionValues;
    const std::vector<int> list(v, v + 8);
    EXPECT_EQ(list, (std::vector<int>{0, 1, 0xFFFF, 1, 1, 0xFFFE, 2, 3}));
}

TEST(MixedCompaction, DataWithoutRunsIsEncodedAsTextCompactionWould) {
    for (const Bytes data : {"Hello World", "aBc", "A B", "PDF417", "x", "@@", ""}) {
        auto text = NewState();
        auto mixed = NewState();
        EncodeDataCells(*text, data, 1);
        EncodeDataCells(*mixed, data, 2);
        EXPECT_EQ(SymbolOf(*mixed), SymbolOf(*text)) << data;
    }
}

TEST(MixedCompaction, TextModeWithByte80EndsInMixedCompaction) {
    auto asText = NewState();
    auto asMixed = NewState();
    EncodeDataCells(*asText, "AB\x80", 1);
    EncodeDataCells(*asMixed, "AB\x80", 2);
    EXPECT_EQ(asText->Mode, 2);
    EXPECT_EQ(SymbolOf(*asText), SymbolOf(*asMixed));
}

}  // namespace
}  // namespace encoder_test
