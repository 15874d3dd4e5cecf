// MicroPDF417 against the two peers. Where the standard leaves an encoder no choice (bytes
// 0x80..0xFF, which only byte compaction holds, with the columns forced) our module matrix,
// read from our PNG, is zint's and bwip-js's: at every size filled to capacity and on random
// lengths within it. And the compaction choice never takes more data codewords than zint's.
#include <gtest/gtest.h>

#include <random>

#include "component/state/MicroPdf417.h"
#include "tests/encoder/peer/MicroPeers.h"
#include "tests/encoder/peer/ZintComparison.h"
#include "tests/support/MicroSymbolModules.h"
#include "tests/support/TestQuillon.h"

namespace {

// Bytes a byte compaction of `codewords` codewords holds: 6 in 5 codewords after the latch.
int BytesIn(int codewords) {
    return (codewords - 1) / 5 * 6 + (codewords - 1) % 5;
}

TEST(MicroPdf417Peers, DrawTheSameModulesAsOurs) {
    std::mt19937 random(28);
    auto bytes = [&](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += static_cast<char>(0x80 + random() % 0x80);
        return s;
    };
    std::vector<PeerCase> cases;
    for (const MicroPdf417Size& size : kMicroPdf417Sizes) {
        cases.push_back({bytes(BytesIn(MicroDataCapacity(size))), size.columns});
    }
    constexpr int kRandomCases = 120;
    for (int i = 0; i < kRandomCases; ++i) {
        const int columns = 1 + static_cast<int>(random() % kMaxMicroColumns);
        int most = 0;
        for (const MicroPdf417Size& size : kMicroPdf417Sizes) {
            if (size.columns == columns) most = std::max(most, BytesIn(MicroDataCapacity(size)));
        }
        cases.push_back({bytes(1 + static_cast<int>(random() % most)), columns});
    }
    const std::vector<PeerSymbol> bwipjs = BwipjsMicroPdf417(cases);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i << ": " << cases[i].bytes.size()
                                        << " bytes, " << cases[i].columns << " columns");
        TestQuillon q;
        PutMicroData(q, cases[i].bytes);
        q.MicroColumns = cases[i].columns;
        const ModuleMatrix ours = DrawnModules(q);
        ASSERT_FALSE(ours.empty());
        EXPECT_EQ(ours, ZintMicroPdf417(cases[i]).rows) << "zint";
        EXPECT_EQ(ours, bwipjs[i].rows) << "bwip-js: " << bwipjs[i].error;
    }
}

TEST(MicroPdf417Peers, CompactionNeverTakesMoreCodewordsThanZint) {
    int compared = 0;
    for (const MicroComparedString& c : CompareMicroWithPeers(false)) {
        SCOPED_TRACE(c.kind + ", " + std::to_string(c.length) + " bytes, " +
                     std::to_string(c.columns) + " columns");
        if (c.zint.fits) {
            EXPECT_TRUE(c.ours.fits) << "zint fits what we do not";
            if (!c.ours.fits) continue;
            ++compared;
            EXPECT_LE(c.ours.dataCodewords, c.zint.dataCodewords);
        }
    }
    EXPECT_GE(compared, 200);
    RecordProperty("compared", compared);
}

}  // namespace
