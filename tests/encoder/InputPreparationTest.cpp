#include <gtest/gtest.h>

#include "tests/encoder/EncoderTestSupport.h"
#include "tests/support/NamedCases.h"

namespace encoder_test {
namespace {

struct TildeCase {
    const char* name;
    Bytes data;
    Bytes expanded;
};

NAMED_CASES(TildeEscapes, TildeCase);

TEST_P(TildeEscapes, ExpandToTheExpectedBytes) {
    const TildeCase& c = GetParam();
    auto q = NewState();
    SetData(*q, c.data);
    q->HandleTilde = TRUE;
    q->ExpandTildeEscapes();
    ASSERT_EQ(q->DataLength, static_cast<std::int32_t>(c.expanded.size()));
    EXPECT_EQ(Bytes(reinterpret_cast<const char*>(q->DataText), q->DataLength), c.expanded);
    // The copy taken before expansion is the text as it was, with its terminating zero.
    EXPECT_EQ(Bytes(reinterpret_cast<const char*>(q->DataScratch)), c.data);
}

INSTANTIATE_NAMED_CASES(
    Encoder, TildeEscapes, TildeCase{"SmallD", "~d065", "A"}, TildeCase{"CapitalD", "~D065", "A"},
    TildeCase{"Max", "~d255", "\xFF"}, TildeCase{"JustAbove", "~d256", "\xFF"},
    TildeCase{"FarAbove", "~d999", "\xFF"}, TildeCase{"Zero", "~d000", Bytes(1, '\0')},
    TildeCase{"OnlyThreeBytesFollow", "AB~d12", "AB~d12"}, TildeCase{"DoubleTilde", "~~d066", "~B"},
    TildeCase{"NotD", "~x123", "~x123"}, TildeCase{"LoneTrailingTilde", "AB~", "AB~"},
    // (1 x 10 + 17) x 10 + 3 = 273: the 'A' counts as a digit of value 17.
    TildeCase{"NonDigitCounts", "~d1A3", "\xFF"},
    // A slash is '0' - 1: (-1 x 10 + 0) x 10 + 0 = -100, negative.
    TildeCase{"NegativeBecomes255", "~d/00", "\xFF"},
    // 0xC8 as a signed byte is -56: v = -56 - 48 = -104.
    TildeCase{"HighByteIsSigned", "~d00\xC8", "\xFF"},
    // An escape that yields a tilde does not start another escape.
    TildeCase{"ExpansionNotRescanned", "~d126d065", "~d065"},
    TildeCase{"Embedded", "x~d065y~d066", "xAyB"});

TEST(InputPreparation, TildeOffEncodesTheEscapeAsFiveBytes) {
    auto q = NewState();
    const Codewords cells = EncodeDataCells(*q, "~d065", 0);
    EXPECT_EQ(q->DataLength, 5);
    EXPECT_TRUE(IsFollowedByPadsOnly(cells, {901, '~', 'd', '0', '6', '5'}));
}

TEST(InputPreparation, TildeOffCountsUpToTheFirstZeroByte) {
    auto q = NewState();
    SetData(*q, "ABC");
    q->DataText[4] = 'Z';  // behind the terminating zero: not data
    q->EncodeData();
    EXPECT_EQ(q->DataLength, 3);
}

TEST(InputPreparation, TildeOnEncodesTheEscapedByteAndRestoresTheText) {
    auto q = NewState();
    q->HandleTilde = TRUE;
    const Codewords cells = EncodeDataCells(*q, "~d065~d000", 0);
    EXPECT_EQ(q->DataLength, 2);
    EXPECT_TRUE(IsFollowedByPadsOnly(cells, {901, 65, 0}));
    EXPECT_EQ(DataTextOf(*q), "~d065~d000");
}

TEST(InputPreparation, EscapedZeroInTextModeFallsBackToMixed) {
    auto q = NewState();
    q->HandleTilde = TRUE;
    const Codewords cells = EncodeDataCells(*q, "~d000", 1);
    EXPECT_EQ(q->Mode, 2);
    EXPECT_TRUE(IsFollowedByPadsOnly(cells, {901, 0, 900}));
}

struct FallbackCase {
    const char* name;
    int mode;
    Bytes data;
    int modeAfter;
};

NAMED_CASES(ModeFallback, FallbackCase);

TEST_P(ModeFallback, OnlyTextModeWithNonTextBytesBecomesMixed) {
    const FallbackCase& c = GetParam();
    auto q = NewState();
    EncodeDataCells(*q, c.data, c.mode);
    EXPECT_EQ(q->Mode, c.modeAfter);
    // The change stays for the next request, even with data that text compaction could hold.
    EncodeDataCells(*q, "ABC", q->Mode);
    EXPECT_EQ(q->Mode, c.modeAfter);
}

INSTANTIATE_NAMED_CASES(Encoder, ModeFallback, FallbackCase{"TextControls", 1, "LINE1\r\n\tX", 1},
                        FallbackCase{"Byte01", 1, "AB\x01", 2},
                        FallbackCase{"Byte7F", 1, "\x7F", 2},
                        FallbackCase{"ByteE9", 1, "caf\xE9 au lait", 2},
                        FallbackCase{"ByteModeNeverChanges", 0, "caf\xE9", 0},
                        FallbackCase{"MixedModeNeverChanges", 2, "LINE1", 2});

TEST(InputPreparation, DataTextIsTheSameAfterARequestAndEncodesTheSameSymbolAgain) {
    auto q = NewState();
    q->HandleTilde = TRUE;
    q->Mode = 1;
    const Bytes data = "na~d239ve ~d126d065 ~x";
    SetData(*q, data);
    q->EncodeData();
    ASSERT_EQ(q->LastFit, SymbolFit::Fits);
    EXPECT_EQ(DataTextOf(*q), data);
    const Codewords first = SymbolOf(*q);
    q->EncodeData();
    EXPECT_EQ(DataTextOf(*q), data);
    EXPECT_EQ(SymbolOf(*q), first);
}

TEST(InputPreparation, UnterminatedDataTextIsReadAsItsFirst4999Bytes) {
    auto q = NewState();
    for (BYTE& b : q->DataText) b = 'A';
    q->EncodeData();
    EXPECT_EQ(q->DataLength, kMaxDataLength);
    q->HandleTilde = TRUE;
    q->EncodeData();
    EXPECT_EQ(q->DataLength, kMaxDataLength);
    EXPECT_EQ(q->DataScratch[kMaxDataLength], 0);
}

}  // namespace
}  // namespace encoder_test
