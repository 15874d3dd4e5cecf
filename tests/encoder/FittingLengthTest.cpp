// FittingDataLength: the longest prefix of the data that one symbol holds, checked by encoding
// that prefix and one byte more on their own.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/encoder/EncoderTestSupport.h"
#include "tests/support/TildeEscapes.h"

namespace encoder_test {
namespace {

struct FitCase {
    const char* name;
    Bytes data;
    std::function<void(QuillonState&)> settings;
    bool escaped;
};

void PrintTo(const FitCase& c, std::ostream* os) {
    *os << c.name;
}

SymbolFit Encode(const FitCase& c, const Bytes& data) {
    auto q = NewState();
    c.settings(*q);
    q->HandleTilde = c.escaped ? TRUE : FALSE;
    SetData(*q, c.escaped ? TildeEscaped(data) : data);
    q->EncodeData();
    return q->LastFit;
}

class FittingLength : public ::testing::TestWithParam<FitCase> {};

TEST_P(FittingLength, IsTheLongestPrefixThatFits) {
    const FitCase& c = GetParam();
    auto q = NewState();
    c.settings(*q);
    q->HandleTilde = c.escaped ? TRUE : FALSE;
    const std::string text = c.escaped ? TildeEscaped(c.data) : c.data;
    SetData(*q, text);
    const int fitting = q->FittingDataLength();
    ASSERT_GT(fitting, 0);
    ASSERT_LT(fitting, static_cast<int>(c.data.size())) << "the case should not fit whole";
    EXPECT_EQ(Encode(c, c.data.substr(0, static_cast<size_t>(fitting))), SymbolFit::Fits);
    EXPECT_NE(Encode(c, c.data.substr(0, static_cast<size_t>(fitting) + 1)), SymbolFit::Fits);
    // The state is as encoding the whole data leaves it.
    EXPECT_EQ(DataTextOf(*q), text);
    EXPECT_NE(q->LastFit, SymbolFit::Fits);
}

Bytes Repeat(const std::string& piece, size_t length) {
    Bytes out;
    while (out.size() < length) out += piece;
    out.resize(length);
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, FittingLength,
    ::testing::Values(FitCase{"Bytes", Repeat("\x80\x01\xff", 900),
                              [](QuillonState& q) { q.EccLevel = 7; }, true},
                      FitCase{"TextFallingBackToMixed", Repeat("Hello, World \xe9 ", 4000),
                              [](QuillonState& q) {
                                  q.Mode = 1;
                                  q.Columns = 20;
                              },
                              false},
                      FitCase{"DigitsOptimizedInAMacroSegment", Repeat("0123456789", 4900),
                              [](QuillonState& q) {
                                  q.OptimizeCompaction = TRUE;
                                  q.EccLevel = 4;
                                  q.MacroSegmentIndex = 4;
                                  q.MacroSegmentCount = 5;
                                  ParseMacroFileId("123456789", q.MacroFileId);
                              },
                              false},
                      FitCase{"AutomaticLevel", Repeat("Mixed 123 text, and more; ", 4000),
                              [](QuillonState& q) {
                                  q.OptimizeCompaction = TRUE;
                                  q.AutoErrorCorrection = TRUE;
                                  q.Eci = 26;
                              },
                              false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace encoder_test
