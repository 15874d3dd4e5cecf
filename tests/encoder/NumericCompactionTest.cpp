// Numeric compaction's groups against the standard's worked example and against the base-900
// digits of "1" and the digits as Python's integers compute them.
#include <gtest/gtest.h>

#include <string>

#include "encoder/NumericCompaction.h"
#include "tests/encoder/EncoderTestSupport.h"

namespace encoder_test {
namespace {

struct GroupCase {
    const char* digits;
    Codewords expected;
    const char* source;
};

class NumericGroup : public ::testing::TestWithParam<GroupCase> {};

TEST_P(NumericGroup, IsTheBase900NumberOfALeadingOneAndTheDigits) {
    const GroupCase& c = GetParam();
    const std::string digits = c.digits;
    std::uint16_t out[kMaxNumericGroupCodewords + 1] = {};
    const auto count = static_cast<std::int32_t>(digits.size());
    const std::int32_t n =
        WriteNumericGroup(reinterpret_cast<const BYTE*>(digits.data()), count, out);
    EXPECT_EQ(Codewords(out, out + n), c.expected) << c.source;
    EXPECT_EQ(n, NumericGroupLength(count));
}

INSTANTIATE_TEST_SUITE_P(
    Groups, NumericGroup,
    ::testing::Values(
        GroupCase{"000213298174000", {1, 624, 434, 632, 282, 200}, "the standard's example"},
        GroupCase{"0", {10}, "python: 10"}, GroupCase{"9", {19}, "python: 19"},
        GroupCase{"99", {199}, "python: 199"},
        GroupCase{"000", {1, 100}, "python: 1000 = 1 x 900 + 100"},
        GroupCase{"999", {2, 199}, "python: 1999 = 2 x 900 + 199"},
        GroupCase{"00001", {111, 101}, "Macro segment index 1 (issue 22)"},
        GroupCase{"99998", {222, 198}, "python: 199998"},
        GroupCase{"12345678901234567890123456789012345678901234",
                  {491, 81, 137, 450, 302, 67, 15, 174, 492, 862, 667, 475, 869, 12, 434},
                  "python, 44 digits"},
        GroupCase{"99999999999999999999999999999999999999999999",
                  {874, 223, 532, 264, 888, 236, 358, 185, 93, 795, 72, 289, 146, 822, 199},
                  "python, the largest group"},
        GroupCase{"00000000000000000000000000000000000000000000",
                  {437, 111, 716, 132, 444, 118, 179, 92, 496, 847, 486, 144, 523, 411, 100},
                  "python, the smallest 44-digit group"}));

// d digits take d / 3 + 1 codewords: the smallest and the largest group of each length.
TEST(NumericGroup, LengthFollowsTheDigitCount) {
    for (int count = 1; count <= kMaxNumericGroupDigits; ++count) {
        for (const char digit : {'0', '9'}) {
            const std::string digits(static_cast<size_t>(count), digit);
            std::uint16_t out[kMaxNumericGroupCodewords + 1] = {};
            const std::int32_t n =
                WriteNumericGroup(reinterpret_cast<const BYTE*>(digits.data()), count, out);
            EXPECT_EQ(n, count / 3 + 1) << count << " digits " << digit;
            for (int i = 0; i < n; ++i) EXPECT_LT(out[i], 900);
        }
    }
}

}  // namespace
}  // namespace encoder_test
