#include <gtest/gtest.h>

#include "render/SymbolGeometry.h"

namespace {

// Row lengths in modules: a drawn full row is 17 a column + 69, the reported width one more;
// a truncated row is 17 a column + 36 both ways (the default symbol: 3 columns, 120 modules
// drawn, 363 pixels reported at 3 pixels a module; truncated, 87 modules).
struct RowLength {
    int columns;
    bool truncated;
    int drawn;
    int measured;
};

constexpr RowLength kRowLengths[] = {
    {3, false, 120, 121}, {3, true, 87, 87},     {1, false, 86, 87},
    {1, true, 53, 53},    {30, false, 579, 580}, {30, true, 546, 546},
};

TEST(SymbolGeometry, RowLengthsInModules) {
    for (const RowLength& c : kRowLengths) {
        SCOPED_TRACE(testing::Message() << c.columns << " columns, truncated " << c.truncated);
        EXPECT_EQ(DrawnRowModules(c.columns, c.truncated), c.drawn);
        EXPECT_EQ(MeasuredRowModules(c.columns, c.truncated), c.measured);
    }
}

// MicroPDF417's rows, stop bar included, as the standard gives them: 38, 55, 82 and 99
// modules for 1 to 4 data columns, whatever TruncateSymbol says.
TEST(SymbolGeometry, MicroPdf417RowLengthsInModules) {
    const int modules[] = {38, 55, 82, 99};
    for (int columns = 1; columns <= 4; ++columns) {
        EXPECT_EQ(MicroRowModules(columns), modules[columns - 1]) << columns;
        for (bool truncated : {false, true}) {
            EXPECT_EQ(SymbolRowModules(kSymbologyMicroPdf417, columns, truncated),
                      modules[columns - 1]);
            EXPECT_EQ(SymbolRowModules(kSymbologyPdf417, columns, truncated),
                      MeasuredRowModules(columns, truncated));
        }
    }
}

TEST(SymbolGeometry, RowsRunAcrossInOrientations0And2) {
    EXPECT_TRUE(RowsRunAcross(0));
    EXPECT_FALSE(RowsRunAcross(1));
    EXPECT_TRUE(RowsRunAcross(2));
    EXPECT_FALSE(RowsRunAcross(3));
}

}  // namespace
