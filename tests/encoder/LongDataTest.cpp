// The longest data the component can hold, in the shapes that make each compaction produce
// the most cells, must fail dimensioning cleanly: nothing written but the encoder's own fields
// and work areas. The sanitizer build catches writes past the object; comparing every byte of
// the state before and after catches writes that stay inside it, into whatever lies next.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <type_traits>
#include <vector>

#include "tests/encoder/EncoderTestSupport.h"
#include "tests/support/NamedCases.h"

namespace encoder_test {
namespace {

constexpr std::uint16_t kSentinel = 0xA5C3;

Bytes Pattern(const std::function<char(int)>& byteAt) {
    Bytes data;
    for (int i = 0; i < kMaxDataLength; ++i) data.push_back(byteAt(i));
    return data;
}

struct LongCase {
    const char* name;
    int mode;
    Bytes data;
    SymbolFit fit;
};

NAMED_CASES(LongData, LongCase);

static_assert(std::is_trivially_copyable_v<QuillonState>, "the state is compared byte for byte");

// Puts back into `q`, from `before`, what EncodeData writes: the text's working copy and
// length, the compaction and symbol areas, the sub-mode state, its results, and the record of
// what it encoded.
void RestoreWhatTheEncoderWrites(QuillonState& q, const QuillonState& before) {
    std::memcpy(q.DataScratch, before.DataScratch, sizeof q.DataScratch);
    q.DataLength = before.DataLength;
    std::memcpy(q.CodewordBuffer.CompactionValues, before.CodewordBuffer.CompactionValues,
                sizeof q.CodewordBuffer.CompactionValues);
    std::memcpy(q.CodewordBuffer.SymbolCodewords, before.CodewordBuffer.SymbolCodewords,
                sizeof q.CodewordBuffer.SymbolCodewords);
    q.TextSubmodeLetter = before.TextSubmodeLetter;
    q.TextSubmodeValue = before.TextSubmodeValue;
    q.Mode = before.Mode;
    q.Columns = before.Columns;
    q.ActualRows = before.ActualRows;
    q.CodewordCount = before.CodewordCount;
    q.LastFit = before.LastFit;
    q.EncodingKept = before.EncodingKept;
    q.KeptSettings = before.KeptSettings;
    std::memcpy(q.KeptDataText, before.KeptDataText, sizeof q.KeptDataText);
}

// The offset of the first byte that differs, or -1.
long FirstDifference(const QuillonState& q, const std::vector<unsigned char>& bytes) {
    const auto* now = reinterpret_cast<const unsigned char*>(&q);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (now[i] != bytes[i]) return static_cast<long>(i);
    }
    return -1;
}

TEST_P(LongData, FailsDimensioningWithoutWritingOutsideTheAreas) {
    const LongCase& c = GetParam();
    auto q = NewState();
    // Error correction is never reached: its area, too, stays as it was.
    for (std::uint16_t& e : q->CodewordBuffer.EccScratch) e = kSentinel;
    q->HandleTilde = TRUE;
    SetData(*q, c.data);
    q->Mode = c.mode;
    const auto before = std::make_unique<QuillonState>(*q);
    std::vector<unsigned char> bytes(sizeof(QuillonState));
    std::memcpy(bytes.data(), q.get(), bytes.size());
    q->EncodeData();

    EXPECT_EQ(q->LastFit, c.fit);
    EXPECT_EQ(q->DataLength, kMaxDataLength);
    EXPECT_EQ(DataTextOf(*q), c.data);
    EXPECT_EQ(q->Columns, 31);
    EXPECT_EQ(q->ActualRows, 2);
    RestoreWhatTheEncoderWrites(*q, *before);
    EXPECT_EQ(FirstDifference(*q, bytes), -1) << "a byte of the state the encoder does not own";
}

INSTANTIATE_NAMED_CASES(
    Encoder, LongData,
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
    LongCase{"MixedAllFF", 2, Bytes(kMaxDataLength, '\xFF'), SymbolFit::TooManyRows});

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
