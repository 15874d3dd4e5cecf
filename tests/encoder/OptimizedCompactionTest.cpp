// The compaction choice: exact sequences where the cheapest way is the only one, the number of
// codewords against an exhaustive search written apart from the encoder, round trips through
// the reference decoder, and never more codewords than the compactions Mode selects.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "encoder/TextMoves.h"
#include "tests/encoder/EncoderTestSupport.h"
#include "tests/encoder/ExhaustiveCompaction.h"
#include "tests/encoder/ReferenceDecoder.h"

namespace encoder_test {
namespace {

// The data codewords of an optimized encoding, the pad codewords left out (no way the choice
// writes ends in 900: a text latch is always followed by text).
Codewords OptimizedData(QuillonState& q, const Bytes& bytes) {
    SetData(q, bytes);
    q.OptimizeCompaction = TRUE;
    q.Columns = 30;
    q.EncodeData();
    if (q.LastFit != SymbolFit::Fits) return {};
    Codewords cells = DataCellsOf(q);
    while (!cells.empty() && cells.back() == 900) cells.pop_back();
    return cells;
}

struct ExactCase {
    const char* name;
    Bytes data;
    Codewords expected;
    const char* why;
};

void PrintTo(const ExactCase& c, std::ostream* os) {
    *os << c.name;
}

class OptimizedExact : public ::testing::TestWithParam<ExactCase> {};

TEST_P(OptimizedExact, WritesTheOnlyCheapestSequence) {
    const ExactCase& c = GetParam();
    auto q = NewState();
    EXPECT_EQ(OptimizedData(*q, c.data), c.expected) << c.why;
    EXPECT_EQ(q->LastFit, SymbolFit::Fits);
    EXPECT_EQ(q->Mode, 0);  // not used, so not changed either
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, OptimizedExact,
    ::testing::Values(
        ExactCase{"Capitals", "ABC", {1, 89}, "Alpha 0 1 2 and the filler 29 (zint 2.11 too)"},
        ExactCase{"Lower", "abc", {810, 32}, "latch 27, then 0 1 2 in Lower"},
        ExactCase{"TextBeatsNumeric",
                  "PDF417",
                  {453, 178, 121, 239},
                  "text compaction's worked example; 902 and two codewords for 417 cost one more"},
        ExactCase{"PunctuationLatched",
                  ";;;;",
                  {865, 0, 0},
                  "latches 28 25 and four values: 6 values, where four shifts take 8"},
        ExactCase{"ByteShiftKeepsLower",
                  "abc\x80"
                  "def",
                  {810, 32, 913, 128, 94, 179},
                  "913 128 inside Lower, then d e f and the filler still in Lower"},
        ExactCase{"SixBytes",
                  Bytes(6, '\x80'),
                  {924, 215, 312, 558, 104, 768},
                  "one group of six bytes, as mixed compaction's worked example"},
        ExactCase{"FortyFourDigits",
                  "12345678901234567890123456789012345678901234",
                  {902, 491, 81, 137, 450, 302, 67, 15, 174, 492, 862, 667, 475, 869, 12, 434},
                  "one numeric group (python); any digit in text costs a codeword more"}),
    [](const auto& info) { return std::string(info.param.name); });

// The moves from one text state, as the text tables and the byte shift's rules give them.
struct MoveCase {
    const char* name;
    Submode from;
    bool odd;
    BYTE byte;
    // Each move as kind, sub-mode after, odd after, cost in text values.
    std::vector<std::tuple<TextMoveKind, Submode, bool, int>> moves;
    const char* source;
};

void PrintTo(const MoveCase& c, std::ostream* os) {
    *os << c.name;
}

class TextMoveList : public ::testing::TestWithParam<MoveCase> {};

TEST_P(TextMoveList, OffersEveryWayTheTablesAllow) {
    const MoveCase& c = GetParam();
    std::vector<std::tuple<TextMoveKind, Submode, bool, int>> moves;
    ForEachTextMove(c.from, c.odd, c.byte, [&](const TextMove& m) {
        moves.emplace_back(m.kind, m.submode, m.odd, m.cost);
    });
    EXPECT_EQ(moves, c.moves) << c.source;
}

using K = TextMoveKind;
using S = Submode;
INSTANTIATE_TEST_SUITE_P(
    Tables, TextMoveList,
    ::testing::Values(
        MoveCase{"CommaInMixed",
                 S::Mixed,
                 false,
                 ',',
                 {{K::InPlace, S::Mixed, true, 1},
                  {K::Latch, S::Punctuation, false, 2},
                  {K::Shift, S::Mixed, false, 2},
                  {K::ByteShift, S::Mixed, false, 4}},
                 "comma: Mixed 13 and Punctuation 13; PL 25 latches, PS 29 shifts"},
        MoveCase{"CapitalInLower",
                 S::Lower,
                 true,
                 'Q',
                 {{K::Latch, S::Alpha, false, 3},
                  {K::Shift, S::Lower, true, 2},
                  {K::ByteShift, S::Lower, false, 5}},
                 "Lower reaches Alpha by ML AL, or shifts one capital with AS"},
        MoveCase{"SpaceInPunctuation",
                 S::Punctuation,
                 false,
                 ' ',
                 {{K::Latch, S::Alpha, false, 2},
                  {K::Latch, S::Lower, true, 3},
                  {K::Latch, S::Mixed, true, 3},
                  {K::ByteShift, S::Punctuation, false, 4}},
                 "space is 26 in Alpha, Lower and Mixed, which Punctuation reaches through AL"},
        MoveCase{"ByteAfterOddPunctuation",
                 S::Punctuation,
                 true,
                 0x80,
                 {{K::ByteShift, S::Alpha, false, 5}},
                 "the 29 that completes the values is AL in a latched Punctuation"},
        MoveCase{"ByteAfterOddAlpha",
                 S::Alpha,
                 true,
                 0x80,
                 {{K::ByteShift, S::Alpha, false, 5}},
                 "in Alpha the 29 is a punctuation shift the byte shift cancels"}),
    [](const auto& info) { return std::string(info.param.name); });

Bytes RandomString(std::mt19937& rng, const std::string& alphabet, int maxLength) {
    const int length = std::uniform_int_distribution<int>(1, maxLength)(rng);
    Bytes s;
    for (int i = 0; i < length; ++i) {
        s += alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
    }
    return s;
}

Bytes Printable(const Bytes& s) {
    Bytes out;
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 32 && b < 127) {
            out += c;
        } else {
            out += "\\x" + std::to_string(b);
        }
    }
    return out;
}

// Every way of writing is tried by the search; the choice must reach its minimum exactly, and
// its codewords must mean the data. In MicroPDF417, too, whose data starts with a latch.
TEST(OptimizedCompaction, TakesExactlyAsFewCodewordsAsAnExhaustiveSearch) {
    // Characters of every sub-mode, those that two sub-modes hold, digits, and bytes that only
    // byte compaction or the byte shift can carry.
    // The second alphabet is mostly punctuation, so that a latched Punctuation meets bytes.
    const std::string alphabets[] = {"Aa1 ,;\n.Z0\x80\xff~",
                                     ";~\n,!\x80"
                                     "a1"};
    std::mt19937 rng(7);
    for (int round = 0; round < 800; ++round) {
        const Bytes data = RandomString(rng, alphabets[round % 2], round < 400 ? 8 : 14);
        auto q = NewState();
        const Codewords cells = OptimizedData(*q, data);
        SCOPED_TRACE(Printable(data));
        ASSERT_EQ(q->LastFit, SymbolFit::Fits);
        ASSERT_EQ(static_cast<int>(cells.size()), FewestCodewordsByExhaustiveSearch(data));
        const DecodeResult decoded = DecodeDataCodewords(cells);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        ASSERT_EQ(decoded.bytes, data);

        auto micro = NewState();
        micro->Symbology = kSymbologyMicroPdf417;
        const Codewords microCells = OptimizedData(*micro, data);
        ASSERT_EQ(static_cast<int>(microCells.size()),
                  FewestMicroCodewordsByExhaustiveSearch(data));
        ASSERT_TRUE(microCells[0] >= 900 && microCells[0] != 913) << microCells[0];
        ASSERT_EQ(DecodeDataCodewords(microCells).bytes, data);
    }
}

// Long data of every kind: the planned cost is what is written, the codewords mean the data,
// and none of the compactions Mode selects takes fewer codewords.
TEST(OptimizedCompaction, NeverTakesMoreThanAnyMode) {
    std::mt19937 rng(11);
    const std::string kinds[] = {
        "0123456789",
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz",
        "Ab1 ,.;:-/()!?\r\n\t0123456789",
        "0123456789.-/ ABC\x80\x81\xe9\xff",
        std::string("\x00\x01\x80\x90\xa0\xff\x7f", 7) + "0123456789abc",
    };
    for (int round = 0; round < 150; ++round) {
        const std::string& alphabet = kinds[round % 5];
        Bytes data = RandomString(rng, alphabet, 1200);
        // Zero bytes reach the symbol through escapes.
        Bytes text;
        for (const char c : data) text += c == 0 ? std::string("~d000") : std::string(1, c);
        auto q = NewState();
        q->HandleTilde = TRUE;
        q->EccLevel = 0;
        const Codewords cells = OptimizedData(*q, text);
        SCOPED_TRACE("round " + std::to_string(round));
        if (q->LastFit != SymbolFit::Fits) continue;
        q->ExpandTildeEscapes();
        EXPECT_EQ(2 * static_cast<int>(cells.size()), q->PlanCompaction());
        q->RestoreDataText();
        const DecodeResult decoded = DecodeDataCodewords(cells);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        ASSERT_EQ(decoded.bytes, data);
        for (int mode = 0; mode < 3; ++mode) {
            auto byMode = NewState();
            byMode->HandleTilde = TRUE;
            byMode->EccLevel = 0;
            byMode->Columns = 30;
            SetData(*byMode, text);
            byMode->Mode = mode;
            byMode->EncodeData();
            if (byMode->LastFit != SymbolFit::Fits) continue;
            Codewords theirs = DataCellsOf(*byMode);
            // Their pad codewords go; mixed compaction closes a byte run at the end of the data
            // with a 900 of its own, which stays.
            while (!theirs.empty() && theirs.back() == 900) theirs.pop_back();
            const bool closedRun = byMode->Mode == 2 && !data.empty() &&
                                   !QuillonState::IsTextEncodable(static_cast<BYTE>(data.back()));
            EXPECT_LE(cells.size(), theirs.size() + (closedRun ? 1 : 0)) << "mode " << mode;
        }
    }
}

}  // namespace
}  // namespace encoder_test
