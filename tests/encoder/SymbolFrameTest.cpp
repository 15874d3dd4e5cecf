// The frame around every compaction's data: the ECI designator after the length descriptor and
// the Macro PDF417 control block after the pad codewords, in every compaction, counted by
// dimensioning, and read back by the reference decoder.
#include <gtest/gtest.h>

#include <string>

#include "tests/encoder/EncoderTestSupport.h"
#include "tests/encoder/ReferenceDecoder.h"

namespace encoder_test {
namespace {

// The compactions: modes 0, 1, 2 and the compaction choice (3 here).
constexpr int kOptimized = 3;

Codewords Encode(QuillonState& q, const Bytes& data, int compaction) {
    SetData(q, data);
    q.Mode = compaction == kOptimized ? 0 : compaction;
    q.OptimizeCompaction = compaction == kOptimized ? TRUE : FALSE;
    q.EncodeData();
    EXPECT_EQ(q.LastFit, SymbolFit::Fits);
    return q.LastFit == SymbolFit::Fits ? DataCellsOf(q) : Codewords{};
}

Codewords WithoutPads(Codewords cells) {
    while (!cells.empty() && cells.back() == 900) cells.pop_back();
    return cells;
}

struct EciCase {
    int eci;
    Codewords designator;
    const char* source;
};

class EciDesignator : public ::testing::TestWithParam<EciCase> {};

// In every compaction the designator comes first, and the data after it is what the same
// compaction writes without it.
TEST_P(EciDesignator, ComesRightAfterTheDescriptorInEveryCompaction) {
    const EciCase& c = GetParam();
    const Bytes data = "Data 42 \xc3\xa9t\xc3\xa9";
    for (int compaction = 0; compaction <= kOptimized; ++compaction) {
        SCOPED_TRACE("compaction " + std::to_string(compaction));
        auto plain = NewState();
        const Codewords without = WithoutPads(Encode(*plain, data, compaction));
        auto q = NewState();
        q->Eci = c.eci;
        const Codewords with = WithoutPads(Encode(*q, data, compaction));
        Codewords expected = c.designator;
        expected.insert(expected.end(), without.begin(), without.end());
        EXPECT_EQ(with, expected) << c.source;
        EXPECT_TRUE(VanishesAtGeneratorRoots(SymbolOf(*q), q->EccCount()));
        const DecodeResult decoded = DecodeDataCodewords(with);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        EXPECT_EQ(decoded.bytes, data);
        EXPECT_EQ(decoded.ecis, std::vector<int>{c.eci});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, EciDesignator,
    ::testing::Values(EciCase{1, {927, 1}, "927 n below 900"},
                      EciCase{26, {927, 26}, "927 n; zint 2.11 writes 927 26 for UTF-8"},
                      EciCase{899, {927, 899}, "927 n, the last"},
                      EciCase{900, {926, 0, 0}, "926 floor(n/900)-1, n mod 900, the first"},
                      EciCase{1000, {926, 0, 100}, "issue 22: 1000 is 926 0 100; zint 2.11"},
                      EciCase{810899, {926, 899, 899}, "926, the last; zint 2.11"},
                      EciCase{810900, {925, 0}, "925 n-810900, the first; zint 2.11"},
                      EciCase{811799, {925, 899}, "925, the last; zint 2.11"}));

TEST(EciSetting, AcceptsNoneAndEveryNumberADesignatorCarries) {
    const struct {
        std::int64_t value;
        bool accepted;
    } cases[] = {{-1, false}, {0, true}, {1, true}, {811799, true}, {811800, false}};
    for (const auto& c : cases) EXPECT_EQ(IsEciSetting(c.value), c.accepted) << c.value;
}

struct MacroCase {
    const char* name;
    int index, count;
    const char* fileId;
    Codewords block;
    const char* source;
};

void PrintTo(const MacroCase& c, std::ostream* os) {
    *os << c.name;
}

class MacroControlBlock : public ::testing::TestWithParam<MacroCase> {};

// The block ends the data area, after the pad codewords, in every compaction, and the reader
// finds the segment in it.
TEST_P(MacroControlBlock, EndsTheDataAfterThePadCodewords) {
    const MacroCase& c = GetParam();
    const Bytes data = "Segment data 0123456789";
    for (int compaction = 0; compaction <= kOptimized; ++compaction) {
        SCOPED_TRACE("compaction " + std::to_string(compaction));
        auto plain = NewState();
        plain->Rows = 20;
        const Codewords without = WithoutPads(Encode(*plain, data, compaction));
        auto q = NewState();
        q->Rows = 20;  // so that pad codewords come before the block
        q->MacroSegmentIndex = c.index;
        q->MacroSegmentCount = c.count;
        ASSERT_TRUE(ParseMacroFileId(c.fileId, q->MacroFileId));
        const Codewords cells = Encode(*q, data, compaction);
        ASSERT_GT(cells.size(), without.size() + c.block.size());
        // The data, then pad codewords only, then the block.
        const Codewords head(cells.begin(), cells.end() - static_cast<long>(c.block.size()));
        EXPECT_TRUE(IsFollowedByPadsOnly(head, without));
        EXPECT_EQ(Codewords(cells.end() - static_cast<long>(c.block.size()), cells.end()), c.block)
            << c.source;
        const DecodeResult decoded = DecodeDataCodewords(cells);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        EXPECT_EQ(decoded.bytes, data);
        EXPECT_EQ(decoded.macroIndex, c.index);
        EXPECT_EQ(decoded.macroFileId, c.fileId);
        EXPECT_EQ(decoded.macroCount, c.count);
        EXPECT_EQ(decoded.macroLast, c.count > 0 && c.index == c.count - 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, MacroControlBlock,
    ::testing::Values(
        MacroCase{"FirstOfUnknownSize", 0, 0, "000", {928, 111, 100, 0}, "index 0 is 100000"},
        MacroCase{"SecondOfThree",
                  1,
                  3,
                  "123456",
                  {928, 111, 101, 123, 456, 923, 1, 111, 103},
                  "issue 22's index 1 and file ID; zint 2.11 writes the same"},
        MacroCase{"LastOfThree",
                  2,
                  3,
                  "123456",
                  {928, 111, 102, 123, 456, 923, 1, 111, 103, 922},
                  "922 on index count - 1; zint 2.11 writes the same"},
        MacroCase{"OnlyOne",
                  0,
                  1,
                  "899",
                  {928, 111, 100, 899, 923, 1, 111, 101, 922},
                  "a set of one is its own last segment"},
        MacroCase{"Largest",
                  99998,
                  99999,
                  "000000000000000000000000000899",
                  {928, 222, 198, 0, 0, 0, 0, 0, 0, 0, 0, 0, 899, 923, 1, 222, 199, 922},
                  "python: 199998 = 222 x 900 + 198, 199999 = 222 x 900 + 199"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MacroControlBlock, AnIndexOutsideItsSetIsRefused) {
    const struct {
        int index, count;
        SymbolFit fit;
    } cases[] = {{2, 3, SymbolFit::Fits},
                 {3, 3, SymbolFit::MacroSegmentOutsideSet},
                 {99998, 5, SymbolFit::MacroSegmentOutsideSet},
                 {7, 0, SymbolFit::Fits},
                 {-1, 1, SymbolFit::Fits}};
    for (const auto& c : cases) {
        auto q = NewState();
        q->MacroSegmentIndex = c.index;
        q->MacroSegmentCount = c.count;
        q->EncodeData();
        EXPECT_EQ(q->LastFit, c.fit) << c.index << " of " << c.count;
    }
}

TEST(MacroFileId, TakesThreeToThirtyDigitsInGroupsUpTo899) {
    const struct {
        const char* text;
        bool accepted;
        Codewords values;
    } cases[] = {
        {"000", true, {0}},
        {"123456", true, {123, 456}},
        {"899", true, {899}},
        {"017053899", true, {17, 53, 899}},
        {"123456789012345678012345678890", true, {123, 456, 789, 12, 345, 678, 12, 345, 678, 890}},
        {"123456789012345678901234567890", false, {}},  // 901
        {"", false, {}},
        {"12", false, {}},
        {"1234", false, {}},
        {"900", false, {}},
        {"12a", false, {}},
        {"-12", false, {}},
        {"123456789012345678901234567890123", false, {}},
    };
    for (const auto& c : cases) {
        MacroFileIdCodewords id;
        id.Values[0] = 7;
        EXPECT_EQ(ParseMacroFileId(c.text, id), c.accepted) << c.text;
        if (!c.accepted) {
            EXPECT_EQ(id.Count, 1) << "a refused file ID leaves the old one";
            EXPECT_EQ(id.Values[0], 7);
            continue;
        }
        EXPECT_EQ(Codewords(id.Values, id.Values + id.Count), c.values) << c.text;
        EXPECT_EQ(MacroFileIdText(id), c.text);
    }
}

// Dimensioning counts the frame: 1071 bytes at level 0 need 897 codewords, 30 rows of 30
// columns hold 900, and 31 rows would be 930, more than a symbol has.
TEST(SymbolFrame, DimensioningCountsTheFrame) {
    const struct {
        int eci, macroIndex;
        SymbolFit fit;
    } cases[] = {{0, -1, SymbolFit::Fits},
                 {26, -1, SymbolFit::Fits},            // + 927 26: 899
                 {1000, -1, SymbolFit::Fits},          // + 926 0 100: 900
                 {0, 0, SymbolFit::TooManyCodewords},  // + 928 111 100 000: 901
                 {1000, 0, SymbolFit::TooManyCodewords}};
    for (const auto& c : cases) {
        auto q = NewState();
        SetData(*q, Bytes(1071, 'x'));
        q->EccLevel = 0;
        q->Columns = 30;
        q->Eci = c.eci;
        q->MacroSegmentIndex = c.macroIndex;
        q->EncodeData();
        EXPECT_EQ(q->LastFit, c.fit) << c.eci << " " << c.macroIndex;
        if (q->LastFit == SymbolFit::Fits) {
            EXPECT_EQ(q->CodewordCount, 900);
        }
    }
}

}  // namespace
}  // namespace encoder_test
