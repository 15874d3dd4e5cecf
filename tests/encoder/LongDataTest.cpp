// The longest data the component can hold, in the shapes that make each compaction produce
// the most cells, must fail dimensioning cleanly: no cell written outside its area. The
// sanitizer build catches writes past the object; the sentinels below catch writes from one
// area into the next, which stay inside the object.
#include <gtest/gtest.h>

#include <functional>

#include "tests/encoder/EncoderTestSupport.h"

namespace encoder_test {
namespace {

constexpr std::uint16_t kSentinel = 0xA5C3;

Bytes Pattern(const std::function<char(int)>& byteAt) {
    Bytes data;
    for (int i = 0; i < kMaxDataLength; ++i)
        data.push_back(byteAt(i));
    return data;
}

struct LongCase {
    const char* name;
    int mode;
    Bytes data;
    SymbolFit fit;
};

void PrintTo(const LongCase& c, std::ostream* os) {
    *os << c.name;
}

class LongData : public ::testing::TestWithParam<LongCase> {};

TEST_P(LongData, FailsDimensioningWithoutWritingOutsideTheAreas) {
    const LongCase& c = GetParam();
    auto q = NewState();
    for (std::uint16_t& e : q->CodewordBuffer.EccScratch)
        e = kSentinel;
    q->RowDpi = 0x1234;
    q->OriginX = 0x2345;
    q->OriginY = 0x3456;
    q->RunWidths[0] = 'r';
    q->HandleTilde = TRUE;
    SetData(*q, c.data);
    q->Mode = c.mode;
    q->EncodeData();

    EXPECT_EQ(q->LastFit, c.fit);
    EXPECT_EQ(q->DataLength, kMaxDataLength);
    EXPECT_EQ(DataTextOf(*q), c.data);
    for (const std::uint16_t e : q->CodewordBuffer.EccScratch)
        ASSERT_EQ(e, kSentinel);
    EXPECT_EQ(q->RowDpi, 0x1234);
    EXPECT_EQ(q->OriginX, 0x2345);
    EXPECT_EQ(q->OriginY, 0x3456);
    EXPECT_EQ(q->RunWidths[0], 'r');
    EXPECT_EQ(q->Columns, 31);
    EXPECT_EQ(q->ActualRows, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Encoder, LongData,
    ::testing::Values(
        LongCase{"ByteAllFF", 0, Bytes(kMaxDataLength, '\xFF'), SymbolFit::TooManyRows},
        LongCase{"TextAllPunctuation", 1, Bytes(kMaxDataLength, '@'), SymbolFit::TooManyRows},
        LongCase{"TextAlternatingCase", 1, Pattern([](int i) { return i % 2 ? 'A' : 'a'; }),
                 SymbolFit::TooManyRows},
        LongCase{"TextFallsBackOnPunctuationAnd80", 1,
                 Pattern([](int i) { return i % 2 ? '\x80' : ';'; }), SymbolFit::TooManyRows},
        LongCase{"MixedPunctuationAnd80", 2, Pattern([](int i) { return i % 2 ? '\x80' : ';'; }),
                 SymbolFit::TooManyRows},
        LongCase{"Mixed80AndPunctuation", 2, Pattern([](int i) { return i % 2 ? ';' : '\x80'; }),
                 SymbolFit::TooManyRows},
        LongCase{"MixedAllFF", 2, Bytes(kMaxDataLength, '\xFF'), SymbolFit::TooManyRows}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LongData, MixedSecondPassCountsEveryCodewordButStoresOnlyTheArea) {
    auto q = NewState();
    // ';', 0x80, ';', ... ';': each pair gives 29 ';' = 870, then 901, 128, 900; the last ';'
    // is filled to 870. 1 + 2499 x 4 + 1 = 9998 cells counted, descriptor included.
    SetData(*q, Pattern([](int i) { return i % 2 ? '\x80' : ';'; }));
    q->Mode = 2;
    q->EncodeData();
    EXPECT_EQ(q->LastFit, SymbolFit::TooManyRows);
    EXPECT_EQ(q->CodewordCount, 9998 + 8);
    const std::uint16_t* cells = q->CodewordBuffer.SymbolCodewords;
    EXPECT_EQ(Codewords(cells + 1, cells + 9), (Codewords{870, 901, 128, 900, 870, 901, 128, 900}));
    EXPECT_EQ(cells[kSymbolCells - 1], 128);  // cell 4999 = 1 + 4 x 1249 + 2
}

TEST(LongData, MixedValueListOfTheWorstCaseFillsItsAreaExactly) {
    auto q = NewState();
    // 0x80, ';', ... 0x80: 2500 one-byte runs of four cells and 2499 shifted characters of two.
    SetData(*q, Pattern([](int i) { return i % 2 ? ';' : '\x80'; }));
    q->Mode = 2;
    q->EncodeData();
    EXPECT_EQ(2500 * 4 + 2499 * 2, kCompactionCells);
    const std::uint16_t* list = q->CodewordBuffer.CompactionValues;
    EXPECT_EQ(list[kCompactionCells - 4], 0xFFFF);  // the last run's start marker
    EXPECT_EQ(list[kCompactionCells - 2], 0x80);
    EXPECT_EQ(list[kCompactionCells - 1], 0xFFFE);
}

}  // namespace
}  // namespace encoder_test
