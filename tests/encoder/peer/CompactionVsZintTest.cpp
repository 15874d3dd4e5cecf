// OptimizeCompaction never takes more rows than zint at the same data columns and
// error-correction level, on a corpus of digits, text, binary and mixtures up to 2,000 bytes.
// bench/compaction_vs_zint.sh prints the totals.
#include <gtest/gtest.h>

#include "tests/encoder/peer/ZintComparison.h"

namespace {

TEST(CompactionVsZint, NeverMoreRowsThanZint) {
    int compared = 0, oursOnly = 0, zintOnly = 0;
    for (const ComparedString& c : CompareWithZint()) {
        SCOPED_TRACE(c.kind + ", " + std::to_string(c.length) + " bytes, " +
                     std::to_string(c.columns) + " columns, level " + std::to_string(c.eccLevel));
        if (c.ours.fits && c.zint.fits) {
            ++compared;
            EXPECT_LE(c.ours.rows, c.zint.rows);
            EXPECT_LE(c.ours.dataCodewords, c.zint.dataCodewords);
        } else if (c.ours.fits) {
            ++oursOnly;
        } else if (c.zint.fits) {
            ++zintOnly;
            ADD_FAILURE() << "zint fits what we do not";
        }
    }
    EXPECT_GE(compared, 200);
    RecordProperty("compared", compared);
    RecordProperty("fit ours only", oursOnly);
}

}  // namespace
