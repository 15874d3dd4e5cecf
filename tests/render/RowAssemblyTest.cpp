#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "component/state/QuillonState.h"
#include "render/ModuleRow.h"
#include "render/RowPlacement.h"
#include "tests/render/PatternRuns.h"
#include "tests/support/DrawingSurface.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

std::unique_ptr<QuillonState> NewState() {
    return std::make_unique<QuillonState>();
}

struct IndicatorCase {
    int rows, columns, level;
    std::vector<int> left, right;
};

class RowIndicators : public testing::TestWithParam<IndicatorCase> {};

TEST_P(RowIndicators, FollowTheRowNumberPattern) {
    const IndicatorCase& c = GetParam();
    auto q = NewState();
    q->ActualRows = c.rows;
    q->Columns = c.columns;
    q->EccLevel = c.level;
    for (int r = 0; r < c.rows; ++r) {
        EXPECT_EQ(q->LeftRowIndicator(r), c.left[r]) << "row " << r;
        EXPECT_EQ(q->RightRowIndicator(r), c.right[r]) << "row " << r;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Symbols, RowIndicators,
    testing::Values(IndicatorCase{4, 3, 2, {1, 6, 2, 31}, {2, 1, 6, 32}},
                    IndicatorCase{6, 3, 2, {1, 8, 2, 31, 38, 32}, {2, 1, 8, 32, 31, 38}}));

TEST(RowIndicators, NeverLeaveTheTable) {
    auto q = NewState();
    for (int rows = 3; rows <= 90; ++rows) {
        for (int columns = 1; columns <= 30; ++columns) {
            for (int level = 0; level <= 8; ++level) {
                q->ActualRows = rows;
                q->Columns = columns;
                q->EccLevel = level;
                for (int r = 0; r < rows; ++r) {
                    ASSERT_GE(q->LeftRowIndicator(r), 0);
                    ASSERT_LE(q->LeftRowIndicator(r), 29 * 30 + 29);
                    ASSERT_GE(q->RightRowIndicator(r), 0);
                    ASSERT_LE(q->RightRowIndicator(r), 29 * 30 + 29);
                }
            }
        }
    }
}

// A state painting at the top-left of a white picture, rows across, nothing centred.
struct Painter {
    std::unique_ptr<QuillonState> q = NewState();
    std::unique_ptr<DrawingSurface> surface;

    Painter(int width, int height, int module, int row_height) {
        q->ImageWidth = width;
        q->ImageHeight = height;
        surface = std::make_unique<DrawingSurface>(*q);
        HBRUSH white = CreateSolidBrush(kWhite);
        RECT all{0, 0, width, height};
        FillRect(q->DrawDC, &all, white);
        DeleteObject(white);
        q->BarBrush = CreateSolidBrush(kBlack);
        q->ModuleWidth = module;
        q->WideBarWidth = 2 * module;
        q->RowHeight = row_height;
        q->MeasureOnly = FALSE;
        q->Orientation = 0;
        q->MarginLeft = q->MarginTop = 0;
    }
    ~Painter() {
        surface.reset();
        DeleteObject(q->BarBrush);
    }
};

// Module rows: patterns appended across word boundaries, and the bars read back as runs.
TEST(ModuleRow, AppendsAcrossWordsAndReadsBackItsBars) {
    ModuleRow row;
    row.Append(0x1FEA8, 17);                              // 8 bars, then runs 1 1 1 1 1 1 3
    for (int i = 0; i < 3; ++i) row.Append(0x1FFFF, 17);  // 51 bars across words 0 and 1
    row.Append(0x1, 32);  // 31 spaces and a bar, ending at module 99
    row.Append(0x0, 7);
    EXPECT_EQ(row.length, 17 + 51 + 32 + 7);
    std::vector<std::pair<int, int>> bars;
    row.ForEachBar(
        [&](std::int32_t first, std::int32_t modules) { bars.emplace_back(first, modules); });
    const std::vector<std::pair<int, int>> expected = {{0, 8},  {9, 1},   {11, 1},
                                                       {13, 1}, {17, 51}, {99, 1}};
    EXPECT_EQ(bars, expected);
}

struct RowCase {
    int columns;
    int rows;
    bool truncate;
    int module;
};

class DrawRowsLayout : public testing::TestWithParam<RowCase> {};

// Each row, read back pixel by pixel, is the start pattern, the left indicator, the row's
// codewords in order and the right indicator with the stop pattern (or the truncated end),
// in the cluster of the row.
TEST_P(DrawRowsLayout, RowsReadBackAsTheirPatterns) {
    const RowCase& c = GetParam();
    const int modules = 17 * c.columns + (c.truncate ? 36 : 69);
    Painter p(modules * c.module + 5, c.rows * 2, c.module, 2);
    QuillonState& q = *p.q;
    q.Columns = c.columns;
    q.ActualRows = c.rows;
    q.EccLevel = 3;
    q.TruncateSymbol = c.truncate ? TRUE : FALSE;
    q.SymbolDepth = c.rows * 2;
    for (int k = 0; k < c.rows * c.columns; ++k) {
        q.CodewordBuffer.SymbolCodewords[k] = static_cast<std::uint16_t>((k * 37 + 11) % 929);
    }
    q.RowCursor = 0;
    q.DrawRows();
    EXPECT_EQ(q.RunCursor, modules * c.module);
    EXPECT_EQ(q.RowCursor, c.rows * 2);

    const int clusters_base[3] = {0, kCodewordValues, 2 * kCodewordValues};
    for (int r = 0; r < c.rows; ++r) {
        const std::uint32_t* cluster = PatternList().data() + clusters_base[r % 3];
        std::vector<int> expected = {8, 1, 1, 1, 1, 1, 1, 3};
        auto append = [&](const std::vector<int>& w) {
            expected.insert(expected.end(), w.begin(), w.end());
        };
        append(RunWidthsOf(cluster[q.LeftRowIndicator(r)]));
        for (int col = 0; col < c.columns; ++col) {
            append(RunWidthsOf(cluster[q.CodewordBuffer.SymbolCodewords[r * c.columns + col]]));
        }
        if (c.truncate) {
            append({1, 1});
        } else {
            append(RunWidthsOf(cluster[q.RightRowIndicator(r)]));
            append({7, 1, 1, 3, 1, 1, 1, 2, 1});
        }
        for (int& w : expected) w *= c.module;
        for (int y = 2 * r; y < 2 * r + 2; ++y) {
            EXPECT_EQ(p.surface->RowRuns(y, 0, modules * c.module, kBlack), expected)
                << "row " << r << " pixel row " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, DrawRowsLayout,
                         testing::Values(RowCase{3, 4, false, 1}, RowCase{1, 3, false, 1},
                                         RowCase{5, 7, true, 1}, RowCase{2, 6, false, 2},
                                         RowCase{30, 4, true, 1}, RowCase{4, 9, false, 3},
                                         RowCase{30, 3, false, 2}));  // the most bars a row has

TEST(DrawRows, TheDefaultSymbolHasRowsOf120Modules) {
    Painter p(400, 8, 1, 2);
    LoadDefaultSymbol(*p.q);
    p.q->SymbolDepth = 8;
    p.q->RowCursor = 0;
    p.q->DrawRows();
    EXPECT_EQ(p.q->RunCursor, 17 * 3 + 69);
    // Row 0 in cluster 0: indicators 1 and 2, data 4, 901, 49.
    std::vector<int> expected = {8, 1, 1, 1, 1, 1, 1, 3};
    for (int value : {1, 4, 901, 49, 2}) {
        const std::vector<int> w = RunWidthsOf(PatternList()[value]);
        expected.insert(expected.end(), w.begin(), w.end());
    }
    for (int w : {7, 1, 1, 3, 1, 1, 1, 2, 1}) expected.push_back(w);
    EXPECT_EQ(p.surface->RowRuns(0, 0, 120, kBlack), expected);
}

TEST(DrawRows, TheMarginAlongTheRowsIsWhereEveryRowStarts) {
    Painter p(400, 6, 1, 2);
    LoadDefaultSymbol(*p.q);
    p.q->ActualRows = 3;
    p.q->SymbolDepth = 6;
    p.q->MarginLeft = 17;
    p.q->RowCursor = 0;
    p.q->DrawRows();
    EXPECT_EQ(p.q->RunCursor, 17 + 120);
    for (int y = 0; y < 6; ++y) {
        EXPECT_EQ(p.surface->At(16, y), kWhite);
        EXPECT_EQ(p.surface->At(17, y), kBlack);
    }
}

// Measuring leaves the cursors where painting the rows leaves them.
TEST(DrawRows, MeasuringEndsWhereWalkingTheRowsEnds) {
    auto q = NewState();
    for (int columns : {1, 2, 3, 7, 30}) {
        for (int rows : {3, 4, 90}) {
            for (BOOL truncate : {FALSE, TRUE}) {
                for (int module : {1, 3}) {
                    q->Columns = columns;
                    q->ActualRows = rows;
                    q->TruncateSymbol = truncate;
                    q->ModuleWidth = module;
                    q->WideBarWidth = 2 * module;
                    q->RowHeight = 4;
                    q->MarginLeft = 11;
                    for (int k = 0; k < rows * columns; ++k) {
                        q->CodewordBuffer.SymbolCodewords[k] = static_cast<std::uint16_t>(k % 929);
                    }
                    q->MeasureOnly = TRUE;
                    q->RunCursor = 11;
                    q->RowCursor = 5;
                    q->DrawRows();
                    const int measured_run = q->RunCursor, measured_row = q->RowCursor;
                    q->MeasureOnly = FALSE;  // no picture: the fills go nowhere
                    q->RunCursor = 11;
                    q->RowCursor = 5;
                    q->DrawRows();
                    EXPECT_EQ(measured_run, q->RunCursor);
                    EXPECT_EQ(measured_row, q->RowCursor);
                    EXPECT_EQ(measured_run, 11 + module * (17 * columns + (truncate ? 36 : 69)));
                }
            }
        }
    }
}

TEST(DrawRows, ZeroRowsDrawNothing) {
    Painter p(200, 4, 1, 2);
    LoadDefaultSymbol(*p.q);
    p.q->ActualRows = 0;
    p.q->RowCursor = 0;
    p.q->DrawRows();
    EXPECT_EQ(p.surface->CountOf(kBlack), 0);
    EXPECT_EQ(p.q->RowCursor, 0);
}

// After an encoding that did not fit, or with a codeword area that holds values the tables
// do not have, no row is drawn and nothing outside the tables is read.
class UndrawableSymbols : public testing::TestWithParam<int> {};

TEST_P(UndrawableSymbols, DrawNoRows) {
    Painter p(200, 8, 1, 2);
    LoadDefaultSymbol(*p.q);
    p.q->SymbolDepth = 8;
    switch (GetParam()) {
        case 0:
            p.q->LastFit = SymbolFit::TooManyRows;
            p.q->Columns = 31;
            break;
        case 1:
            p.q->LastFit = SymbolFit::TooManyCodewords;
            break;
        case 2:
            p.q->CodewordBuffer.SymbolCodewords[11] = 929;
            break;
        case 3:
            p.q->CodewordBuffer.SymbolCodewords[5] = 0xFFFF;
            break;
        case 4:
            p.q->Columns = 31;
            break;
        case 5:
            p.q->ActualRows = 91;
            break;
        case 6:
            p.q->Columns = 0;
            break;
        case 7:
            p.q->ActualRows = -1;
            break;
    }
    EXPECT_FALSE(p.q->SymbolIsDrawable());
    p.q->RowCursor = 0;
    p.q->DrawRows();
    EXPECT_EQ(p.surface->CountOf(kBlack), 0);
    EXPECT_EQ(p.q->RowCursor, 0);
}

INSTANTIATE_TEST_SUITE_P(States, UndrawableSymbols, testing::Range(0, 8));

}  // namespace
