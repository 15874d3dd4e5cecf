#include <gtest/gtest.h>

#include "tests/encoder/EncoderTestSupport.h"
#include "tests/encoder/ReferenceDecoder.h"
#include "tests/support/NamedCases.h"

namespace encoder_test {
namespace {

struct TextCase {
    const char* name;
    Bytes data;
    std::vector<int> values;  // with the filler 29 of an odd count
    Codewords codewords;
};

NAMED_CASES(TextCompaction, TextCase);

TEST_P(TextCompaction, GivesTheValuesAndCodewords) {
    const TextCase& c = GetParam();
    auto q = NewState();
    const Codewords cells = EncodeDataCells(*q, c.data, 1);
    EXPECT_EQ(q->Mode, 1);
    EXPECT_TRUE(IsFollowedByPadsOnly(cells, c.codewords));
    const std::uint16_t* values = q->CodewordBuffer.CompactionValues;
    EXPECT_EQ(std::vector<int>(values, values + c.values.size()), c.values);
}

INSTANTIATE_NAMED_CASES(
    Encoder, TextCompaction,
    TextCase{"HelloWorld",
             "Hello World",
             {7, 27, 4, 11, 11, 14, 28, 26, 28, 22, 27, 14, 17, 11, 3, 29},
             {237, 131, 344, 866, 862, 824, 521, 119}},
    TextCase{"LowerShiftLower", "aBc", {27, 0, 27, 1, 2, 29}, {810, 811, 89}},
    TextCase{"SpaceThroughMixed", "A B", {0, 28, 26, 28, 1, 29}, {28, 808, 59}},
    TextCase{"EvenCountNoFiller", "AB12cd", {0, 1, 28, 1, 2, 27, 2, 3}, {1, 841, 87, 63}},
    TextCase{"PunctuationShiftedEachTime", "@@", {29, 3, 29, 3}, {873, 873}},
    TextCase{"TabCrLf", "\t\r\n", {29, 12, 29, 11, 29, 15}, {882, 881, 885}},
    TextCase{"SingleLower", "x", {27, 23}, {833}},
    TextCase{"Pdf417", "PDF417", {15, 3, 5, 28, 4, 1, 7, 29}, {453, 178, 121, 239}},
    TextCase{"Empty", "", {}, {}});

TEST(TextCompaction, Pdf417AtLevel1IsTheWholeKnownSequence) {
    auto q = NewState();
    q->EccLevel = 1;
    EncodeDataCells(*q, "PDF417", 1);
    EXPECT_EQ(q->ActualRows, 3);
    EXPECT_EQ(SymbolOf(*q), (Codewords{5, 453, 178, 121, 239, 452, 327, 657, 619}));
}

TEST(TextCompaction, EmptyDataIsDescriptorPadsAndErrorCorrection) {
    auto q = NewState();
    q->Rows = 4;  // 4 x 3 cells: descriptor, 3 pad codewords, 8 error-correction codewords
    EncodeDataCells(*q, "", 1);
    const Codewords symbol = SymbolOf(*q);
    ASSERT_EQ(symbol.size(), 12u);
    EXPECT_EQ(Codewords(symbol.begin(), symbol.begin() + 4), (Codewords{4, 900, 900, 900}));
    EXPECT_TRUE(VanishesAtGeneratorRoots(symbol, 8));
}

TEST(TextClassification, TextEncodableBytesAreExactlyPrintableAsciiTabLfCr) {
    for (int b = 0; b < 256; ++b) {
        const bool expected = (b >= 0x20 && b <= 0x7E) || b == 0x09 || b == 0x0A || b == 0x0D;
        EXPECT_EQ(QuillonState::IsTextEncodable(static_cast<BYTE>(b)), expected) << "byte " << b;
    }
}

TEST(TextClassification, EveryTextByteDecodesBackThroughItsSubmodeTable) {
    // The reference decoder's tables are the standard's: a value in a sub-mode, written with
    // the latch or shift into that sub-mode from Alpha, must decode to the classified byte.
    for (int b = 0; b < 256; ++b) {
        if (!QuillonState::IsTextEncodable(static_cast<BYTE>(b))) continue;
        auto q = NewState();
        q->ClassifyTextChar(static_cast<BYTE>(b));
        const int v = q->TextSubmodeValue;
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 29);
        std::vector<int> values;
        switch (q->TextSubmodeLetter) {
            case 'A':
                values = {v, 29};
                break;
            case 'B':
                values = {27, v};
                break;
            case 'C':
                values = {28, v};
                break;
            case 'D':
                values = {29, v};
                break;
            default:
                FAIL() << "letter " << int(q->TextSubmodeLetter) << " for byte " << b;
        }
        const DecodeResult r = DecodeDataCodewords({30 * values[0] + values[1]});
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.bytes, Bytes(1, static_cast<char>(b))) << "byte " << b;
    }
}

TEST(TextClassification, CharactersOfSeveralSubmodesHaveOneFixedClass) {
    const struct {
        char byte;
        char letter;
        int value;
    } cases[] = {{' ', 'C', 26}, {',', 'C', 13}, {':', 'C', 14}, {'-', 'C', 16},  {'.', 'C', 17},
                 {'$', 'C', 18}, {'/', 'C', 19}, {'*', 'C', 22}, {'\r', 'D', 11}, {'\t', 'D', 12}};
    for (const auto& c : cases) {
        auto q = NewState();
        q->ClassifyTextChar(static_cast<BYTE>(c.byte));
        EXPECT_EQ(q->TextSubmodeLetter, c.letter) << "byte " << int(c.byte);
        EXPECT_EQ(q->TextSubmodeValue, c.value) << "byte " << int(c.byte);
    }
}

TEST(TextClassification, NonTextBytesLeaveTheFieldsUnchanged) {
    auto q = NewState();
    for (int b = 0; b < 256; ++b) {
        if (QuillonState::IsTextEncodable(static_cast<BYTE>(b))) continue;
        q->TextSubmodeLetter = 'X';
        q->TextSubmodeValue = 99;
        q->ClassifyTextChar(static_cast<BYTE>(b));
        EXPECT_EQ(q->TextSubmodeLetter, 'X') << "byte " << b;
        EXPECT_EQ(q->TextSubmodeValue, 99) << "byte " << b;
    }
}

}  // namespace
}  // namespace encoder_test
