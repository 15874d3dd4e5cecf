#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "encoder/EccCoefficientTable.h"
#include "tests/encoder/EncoderTestSupport.h"
#include "tests/support/NamedCases.h"

namespace encoder_test {
namespace {

std::vector<int> TableOf(int level) {
    const auto* begin = EccCoefficientTable.data() + EccTableOffset(level);
    return std::vector<int>(begin, begin + (2 << level));
}

// Values of the PDF417 standard's error-correction coefficient table.
TEST(EccCoefficientTable, MatchesTheStandardsTable) {
    EXPECT_EQ(TableOf(0), (std::vector<int>{27, 917}));
    EXPECT_EQ(TableOf(1), (std::vector<int>{522, 568, 723, 809}));
    EXPECT_EQ(TableOf(2), (std::vector<int>{237, 308, 436, 284, 646, 653, 428, 379}));
    EXPECT_EQ(TableOf(3), (std::vector<int>{274, 562, 232, 755, 599, 524, 801, 132, 295, 116, 442,
                                            428, 295, 42, 176, 65}));
    EXPECT_EQ(TableOf(4), (std::vector<int>{361, 575, 922, 525, 176, 586, 640, 321, 536, 742, 677,
                                            742, 687, 284, 193, 517, 273, 494, 263, 147, 593, 800,
                                            571, 320, 803, 133, 231, 390, 685, 330, 63,  410}));
    const std::vector<int> level8 = TableOf(8);
    EXPECT_EQ(std::vector<int>(level8.begin(), level8.begin() + 16),
              (std::vector<int>{352, 77, 373, 504, 35, 599, 428, 207, 409, 574, 118, 498, 285, 380,
                                350, 492}));
    EXPECT_EQ(std::vector<int>(level8.end() - 8, level8.end()),
              (std::vector<int>{675, 410, 389, 244, 31, 121, 303, 263}));
}

TEST(EccCoefficientTable, EveryLevelIsTheGeneratorPolynomialOfItsRoots) {
    for (int level = 0; level < kEccLevelCount; ++level) {
        // g(x) = x^k + a[k-1] x^(k-1) + ... + a[0], highest degree first for the evaluator.
        const std::vector<int> a = TableOf(level);
        Codewords g = {1};
        g.insert(g.end(), a.rbegin(), a.rend());
        for (const int c : a) ASSERT_TRUE(c >= 0 && c <= 928);
        EXPECT_TRUE(VanishesAtGeneratorRoots(g, 2 << level)) << "level " << level;
    }
}

TEST(EccCoefficientTable, EccCoefficientReadsTheCurrentLevel) {
    auto q = NewState();
    q->EccLevel = 1;
    EXPECT_EQ(q->EccCoefficient(0), 522);
    EXPECT_EQ(q->EccCoefficient(3), 809);
    q->EccLevel = 3;
    EXPECT_EQ(q->EccCoefficient(1), 562);
}

// Puts the data codewords into a state at `level` and computes their error correction.
Codewords ErrorCorrect(QuillonState& q, int level, const Codewords& data) {
    q.EccLevel = level;
    q.CodewordCount = static_cast<std::int32_t>(data.size()) + q.EccCount();
    for (size_t i = 0; i < data.size(); ++i) {
        q.CodewordBuffer.SymbolCodewords[i] = static_cast<std::uint16_t>(data[i]);
    }
    q.ComputeErrorCorrection();
    return SymbolOf(q);
}

struct EccCase {
    const char* name;
    int level;
    Codewords data;
    Codewords ecc;
};

NAMED_CASES(ErrorCorrection, EccCase);

TEST_P(ErrorCorrection, AppendsTheKnownCodewords) {
    const EccCase& c = GetParam();
    auto q = NewState();
    Codewords expected = c.data;
    expected.insert(expected.end(), c.ecc.begin(), c.ecc.end());
    EXPECT_EQ(ErrorCorrect(*q, c.level, c.data), expected);
}

INSTANTIATE_NAMED_CASES(
    Encoder, ErrorCorrection,
    EccCase{"Pdf417Level1", 1, {5, 453, 178, 121, 239}, {452, 327, 657, 619}},
    EccCase{"DefaultSymbolLevel2", 2, {4, 901, 49, 50}, {927, 827, 662, 519, 846, 850, 132, 724}},
    EccCase{"AllZeroLevel0", 0, {0, 0, 0}, {0, 0}},
    EccCase{"AllZeroLevel3", 3, Codewords(7, 0), Codewords(16, 0)});

TEST(ErrorCorrection, WritesExactlyEccCountCellsAfterTheData) {
    for (int level = 0; level < kEccLevelCount; ++level) {
        auto q = NewState();
        for (std::uint16_t& c : q->CodewordBuffer.SymbolCodewords) c = 0xBEEF;
        const int k = 2 << level;
        const Codewords data(928 - k, 17);
        ErrorCorrect(*q, level, data);
        const std::uint16_t* cells = q->CodewordBuffer.SymbolCodewords;
        for (int i = 928 - k; i < 928; ++i) ASSERT_LE(cells[i], 928) << "level " << level;
        for (int i = 928; i < kSymbolCells; ++i) ASSERT_EQ(cells[i], 0xBEEF) << "level " << level;
    }
}

TEST(ErrorCorrection, RandomDataAtEveryLevelVanishesAtTheRoots) {
    std::mt19937 rng(929);
    for (int level = 0; level < kEccLevelCount; ++level) {
        const int k = 2 << level;
        for (int round = 0; round < 12; ++round) {
            std::uniform_int_distribution<int> length(1, 928 - k);
            std::uniform_int_distribution<int> codeword(0, 928);
            Codewords data(length(rng));
            for (int& c : data) c = codeword(rng);
            // Extreme values now and then: all 928, all 0 but one.
            if (round == 0) std::fill(data.begin(), data.end(), 928);
            auto q = NewState();
            const Codewords symbol = ErrorCorrect(*q, level, data);
            ASSERT_TRUE(VanishesAtGeneratorRoots(symbol, k))
                << "level " << level << ", " << data.size() << " data codewords";
            // The register is left holding the codewords, highest element first in the symbol.
            for (int c = 0; c < k; ++c) {
                ASSERT_EQ(q->CodewordBuffer.EccScratch[k - 1 - c], symbol[data.size() + c]);
            }
        }
    }
}

// The division as the register is usually written, reduced modulo 929 at every step of every
// element: what the codewords must stay.
Codewords DividedStepByStep(int level, const Codewords& data) {
    const int k = 2 << level;
    const std::vector<int> a = TableOf(level);
    std::vector<int> e(k, 0);
    for (const int d : data) {
        const int t = (d + e[k - 1]) % 929;
        for (int j = k - 1; j >= 1; --j) e[j] = (e[j - 1] - a[j] * t % 929 + 929) % 929;
        e[0] = (929 - a[0] * t % 929) % 929;
    }
    Codewords symbol = data;
    for (int j = k - 1; j >= 0; --j) symbol.push_back(e[j] == 0 ? 0 : 929 - e[j]);
    return symbol;
}

// Random data of random length at every level, and the largest sums the register can meet
// (every data codeword 928, the most data a level allows), give what the step-by-step
// division gives.
TEST(ErrorCorrection, GivesWhatTheStepByStepDivisionGives) {
    std::mt19937 rng(2026);
    for (int level = 0; level < kEccLevelCount; ++level) {
        const int k = 2 << level;
        for (int round = 0; round < 20; ++round) {
            std::uniform_int_distribution<int> length(1, 928 - k);
            std::uniform_int_distribution<int> codeword(0, 928);
            Codewords data(round == 0 ? 928 - k : length(rng));
            for (int& c : data) c = round == 0 ? 928 : codeword(rng);
            auto q = NewState();
            ASSERT_EQ(ErrorCorrect(*q, level, data), DividedStepByStep(level, data))
                << "level " << level << ", " << data.size() << " data codewords";
        }
    }
}

}  // namespace
}  // namespace encoder_test
