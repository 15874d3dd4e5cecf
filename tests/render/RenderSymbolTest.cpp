#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "component/state/QuillonState.h"
#include "tests/support/DrawingSurface.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// The default symbol (4 rows, 3 columns, "12") in a picture of the given size, drawn the way
// the picture request draws it.
struct Rendering {
    std::unique_ptr<QuillonState> q = std::make_unique<QuillonState>();
    std::unique_ptr<DrawingSurface> surface;

    explicit Rendering(int width, int height, int orientation = 0, bool truncate = false) {
        q->ImageWidth = width;
        q->ImageHeight = height;
        q->Orientation = orientation;
        q->TruncateSymbol = truncate ? TRUE : FALSE;
        LoadDefaultSymbol(*q);
    }
    bool Render() {
        surface = std::make_unique<DrawingSurface>(*q);
        return q->RenderSymbol();
    }
};

TEST(RenderSymbol, DefaultsCentreTheSymbolAcrossAndOverflowAlong) {
    Rendering r(300, 200);
    ASSERT_TRUE(r.Render());
    EXPECT_EQ(r.q->ModuleWidth, 3);
    EXPECT_EQ(r.q->RowHeight, 9);
    EXPECT_EQ(r.q->SymbolDepth, 36);
    EXPECT_EQ(r.q->MarginTop, 82);
    EXPECT_EQ(r.q->MarginLeft, 0);
    EXPECT_EQ(r.q->RunCursor, 360);  // a row is 120 modules of 3 pixels: past the right edge
    for (int x = 0; x < 300; ++x) {
        EXPECT_EQ(r.surface->At(x, 81), kWhite) << x;
        EXPECT_EQ(r.surface->At(x, 118), kWhite) << x;
    }
    // The start pattern's first bar, 8 modules, in every row of the band.
    for (int y = 82; y < 118; ++y) {
        EXPECT_EQ(r.surface->At(0, y), kBlack);
        EXPECT_EQ(r.surface->At(23, y), kBlack);
        EXPECT_EQ(r.surface->At(24, y), kWhite);
    }
    // Nothing but the symbol is drawn: brushes and the bitmap are the only colours.
    EXPECT_EQ(r.surface->CountOf(kBlack) + r.surface->CountOf(kWhite), 300 * 200);
}

struct MarginCase {
    int width, height, orientation;
    bool truncate;
    int margin_left, margin_top;
};

class Centring : public testing::TestWithParam<MarginCase> {};

TEST_P(Centring, MarginsSplitTheRoomLeft) {
    const MarginCase& c = GetParam();
    Rendering r(c.width, c.height, c.orientation, c.truncate);
    ASSERT_TRUE(r.Render());
    EXPECT_EQ(r.q->MarginLeft, c.margin_left);
    EXPECT_EQ(r.q->MarginTop, c.margin_top);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, Centring,
    testing::Values(MarginCase{300, 200, 0, false, 0, 82}, MarginCase{400, 200, 0, false, 20, 82},
                    // Truncated rows are (17 × 3 + 36) × 3 = 261 pixels.
                    MarginCase{400, 200, 0, true, 69, 82}, MarginCase{300, 400, 1, false, 132, 20},
                    MarginCase{300, 400, 3, false, 132, 20}, MarginCase{400, 200, 2, false, 20, 82},
                    // One spare pixel is cut.
                    MarginCase{361, 37, 0, false, 0, 0}, MarginCase{361, 37, 2, false, 0, 0},
                    // Symbol larger than the picture both ways.
                    MarginCase{50, 20, 0, false, 0, 0}, MarginCase{20, 50, 1, false, 0, 0}));

TEST(RenderSymbol, TurnedOnceTheStartPatternIsAtTheBottom) {
    Rendering r(300, 400, 1);
    ASSERT_TRUE(r.Render());
    // Row 0 occupies x 132 to 140; the four rows together x 132 to 167. The start pattern's
    // first bar covers y 356 to 379 in every row, and the rows read upward to y 20.
    for (int x = 132; x < 168; ++x) {
        EXPECT_EQ(r.surface->At(x, 379), kBlack) << x;
        EXPECT_EQ(r.surface->At(x, 356), kBlack) << x;
        EXPECT_EQ(r.surface->At(x, 355), kWhite) << x;
        EXPECT_EQ(r.surface->At(x, 380), kWhite) << x;
    }
    EXPECT_EQ(r.surface->At(131, 379), kWhite);
    EXPECT_EQ(r.surface->At(168, 379), kWhite);
    // The stop pattern's last bar ends the row at y 20.
    EXPECT_EQ(r.surface->At(132, 20), kBlack);
    EXPECT_EQ(r.surface->At(132, 19), kWhite);
}

TEST(RenderSymbol, TheSpareColumnLiesAfterTheSymbol) {
    Rendering across(361, 60, 0);
    ASSERT_TRUE(across.Render());
    Rendering reversed(361, 60, 2);
    ASSERT_TRUE(reversed.Render());
    const int top = across.q->MarginTop;
    for (int y = top; y < top + 36; ++y) {
        EXPECT_EQ(across.surface->At(0, y), kBlack);
        EXPECT_EQ(across.surface->At(360, y), kWhite);
        EXPECT_EQ(reversed.surface->At(0, y), kWhite);
        EXPECT_EQ(reversed.surface->At(360, y), kBlack);
    }
}

// Each orientation is the symbol of orientation 0 turned by a further quarter turn
// counter-clockwise, pixel for pixel.
class Rotation : public testing::TestWithParam<std::tuple<int, bool, float>> {};

TEST_P(Rotation, EveryOrientationIsAQuarterTurnOfTheFirst) {
    const auto [orientation, truncate, narrow_bar_width] = GetParam();
    const int w = truncate ? 401 : 400, h = 100;
    Rendering upright(w, h, 0, truncate);
    upright.q->NarrowBarWidth = narrow_bar_width;
    ASSERT_TRUE(upright.Render());
    const bool turned = orientation % 2 == 1;
    Rendering rotated(turned ? h : w, turned ? w : h, orientation, truncate);
    rotated.q->NarrowBarWidth = narrow_bar_width;
    ASSERT_TRUE(rotated.Render());
    // The leftover room is even both ways, so centring puts the symbol in the same place.
    ASSERT_EQ((w - upright.q->RunCursor + upright.q->MarginLeft) % 2, 0);
    ASSERT_EQ((h - upright.q->SymbolDepth) % 2, 0);
    int mismatches = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int rx = x, ry = y;
            if (orientation == 1) rx = y, ry = w - 1 - x;
            if (orientation == 2) rx = w - 1 - x, ry = h - 1 - y;
            if (orientation == 3) rx = h - 1 - y, ry = x;
            mismatches += upright.surface->At(x, y) != rotated.surface->At(rx, ry) ? 1 : 0;
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(upright.surface->CountOf(kBlack), 0);
}

INSTANTIATE_TEST_SUITE_P(Orientations, Rotation,
                         testing::Combine(testing::Values(1, 2, 3), testing::Bool(),
                                          testing::Values(0.07f, 0.02f)));

TEST(RenderSymbol, ColoursFillTheBackgroundAndTheBars) {
    Rendering r(400, 100);
    r.q->BackColor = RGB(10, 200, 30);
    r.q->BarColor = RGB(200, 10, 90);
    ASSERT_TRUE(r.Render());
    EXPECT_EQ(r.surface->At(0, 0), RGB(10, 200, 30));
    EXPECT_EQ(r.surface->At(r.q->MarginLeft, r.q->MarginTop), RGB(200, 10, 90));
    EXPECT_EQ(r.surface->CountOf(RGB(10, 200, 30)) + r.surface->CountOf(RGB(200, 10, 90)),
              400 * 100);
}

TEST(RenderSymbol, ARowHeightOfZeroPaintsNoBar) {
    Rendering r(400, 100);
    r.q->Y2XRatio = 0.1f;  // 0.3 pixels
    ASSERT_TRUE(r.Render());
    EXPECT_EQ(r.q->RowHeight, 0);
    EXPECT_EQ(r.surface->CountOf(kWhite), 400 * 100);
}

TEST(RenderSymbol, AnEncodingThatDidNotFitLeavesTheBackgroundAndBorderOnly) {
    Rendering r(400, 100);
    r.q->BorderStyle = 2;
    r.q->LastFit = SymbolFit::TooManyCodewords;
    r.q->Columns = 31;
    r.surface = std::make_unique<DrawingSurface>(*r.q);
    // Only what the picture request would see after a failed encoding; with the encoder in
    // place the measuring pass decides LastFit itself, so this state is set up by hand.
    r.q->MeasureOnly = FALSE;
    r.q->BarBrush = CreateSolidBrush(kBlack);
    r.q->BackBrush = CreateSolidBrush(kWhite);
    r.q->RowHeight = 9;
    r.q->ModuleWidth = 3;
    r.q->DrawSymbolPass();
    r.q->DrawBorder(true);
    SelectObject(r.q->DrawDC, r.q->SavedBrush);
    DeleteObject(r.q->BarBrush);
    DeleteObject(r.q->BackBrush);
    EXPECT_EQ(r.surface->CountOf(kBlack), 2 * 400 + 2 * 100 - 4);
}

// 96 × 450000 / 2.54 = 17007874.02: rows of 17007874 × 120 = 2040944880 pixels, near the end of
// 32-bit coordinates, and 4 rows of R(5 × 17007874) = 85039370.
TEST(RenderSymbol, HugeModulesStayInsideThePictureArithmetic) {
    for (int orientation = 0; orientation < 4; ++orientation) {
        Rendering r(300, 200, orientation);
        r.q->NarrowBarWidth = 450000.0f;
        r.q->Y2XRatio = 5.0f;
        ASSERT_TRUE(r.Render());
        EXPECT_EQ(r.q->ModuleWidth, 17007874);
        EXPECT_EQ(r.q->SymbolDepth, 4 * 85039370);
        EXPECT_EQ(r.q->MarginLeft, 0);
        EXPECT_EQ(r.q->MarginTop, 0);
        // The start pattern's first bar alone is far larger than the picture.
        EXPECT_EQ(r.surface->CountOf(kBlack), 300 * 200) << orientation;
    }
}

TEST(RenderSymbol, ASymbolBeyond32BitCoordinatesIsNotDrawn) {
    for (int orientation = 0; orientation < 4; ++orientation) {
        Rendering r(300, 200, orientation);
        r.q->NarrowBarWidth = 3.0e38f;
        ASSERT_TRUE(r.Render());
        EXPECT_FALSE(r.q->SymbolFitsCoordinates());
        EXPECT_EQ(r.surface->CountOf(kBlack), 0) << orientation;
    }
}

TEST(RenderSymbol, ReleasesWhatItCreatedAndPutsTheBrushBack) {
    Rendering r(400, 100);
    r.surface = std::make_unique<DrawingSurface>(*r.q);
    HBRUSH mine = CreateSolidBrush(RGB(1, 2, 3));
    HGDIOBJ stock = SelectObject(r.q->DrawDC, mine);
    ASSERT_TRUE(r.q->RenderSymbol());
    EXPECT_EQ(r.q->BarBrush, nullptr);
    EXPECT_EQ(r.q->BackBrush, nullptr);
    // The brush selected before the drawing is selected again.
    EXPECT_EQ(SelectObject(r.q->DrawDC, stock), reinterpret_cast<HGDIOBJ>(mine));
    EXPECT_TRUE(DeleteObject(mine));
}

TEST(RenderSymbol, FailsCleanlyWithoutBrushesOrScreen) {
    for (int n = 1; n <= 3; ++n) {
        Rendering r(400, 100);
        r.surface = std::make_unique<DrawingSurface>(*r.q);
        PlatformFailNthAllocation(n);
        EXPECT_FALSE(r.q->RenderSymbol()) << n;
        PlatformFailNthAllocation(0);
        EXPECT_EQ(r.q->BarBrush, nullptr);
        EXPECT_EQ(r.q->BackBrush, nullptr);
    }
}

}  // namespace
