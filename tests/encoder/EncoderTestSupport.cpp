#include <gtest/gtest.h>

#include "tests/encoder/EncoderTestSupport.h"

namespace encoder_test {

void SetData(QuillonState& q, const Bytes& bytes) {
    ASSERT_LE(bytes.size(), static_cast<size_t>(kMaxDataLength));
    for (size_t i = 0; i < bytes.size(); ++i) q.DataText[i] = static_cast<BYTE>(bytes[i]);
    q.DataText[bytes.size()] = 0;
}

Bytes DataTextOf(const QuillonState& q) {
    return Bytes(reinterpret_cast<const char*>(q.DataText));
}

Codewords SymbolOf(const QuillonState& q) {
    const std::uint16_t* cells = q.CodewordBuffer.SymbolCodewords;
    return Codewords(cells, cells + q.CodewordCount);
}

Codewords DataCellsOf(const QuillonState& q) {
    const std::uint16_t* cells = q.CodewordBuffer.SymbolCodewords;
    if (q.IsMicroPdf417()) return Codewords(cells, cells + q.CodewordCount - q.EccCount());
    return Codewords(cells + 1, cells + cells[0]);
}

Codewords EncodeDataCells(QuillonState& q, const Bytes& bytes, int mode) {
    SetData(q, bytes);
    q.Mode = mode;
    q.EncodeData();
    EXPECT_EQ(q.LastFit, SymbolFit::Fits);
    if (q.LastFit != SymbolFit::Fits) return {};
    return DataCellsOf(q);
}

::testing::AssertionResult IsFollowedByPadsOnly(const Codewords& cells, const Codewords& expected) {
    if (cells.size() < expected.size()) {
        return ::testing::AssertionFailure()
               << "only " << cells.size() << " cells, expected at least " << expected.size();
    }
    for (size_t i = 0; i < cells.size(); ++i) {
        const int want = i < expected.size() ? expected[i] : 900;
        if (cells[i] != want) {
            return ::testing::AssertionFailure()
                   << "cell " << i + 1 << " is " << cells[i] << ", expected " << want;
        }
    }
    return ::testing::AssertionSuccess();
}

int EvaluateModulo929(const Codewords& sequence, int x) {
    int value = 0;
    for (const int c : sequence) value = (value * x + c) % 929;
    return value;
}

::testing::AssertionResult VanishesAtGeneratorRoots(const Codewords& sequence, int eccCount) {
    int root = 1;
    for (int i = 1; i <= eccCount; ++i) {
        root = root * 3 % 929;
        const int value = EvaluateModulo929(sequence, root);
        if (value != 0) {
            return ::testing::AssertionFailure() << "value " << value << " at 3^" << i;
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace encoder_test
