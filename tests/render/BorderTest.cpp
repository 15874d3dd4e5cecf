#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "component/state/QuillonState.h"
#include "tests/support/DrawingSurface.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// The border alone, drawn on a white picture.
std::vector<std::string> BorderMask(int width, int height, bool solid) {
    auto q = std::make_unique<QuillonState>();
    q->ImageWidth = width;
    q->ImageHeight = height;
    DrawingSurface surface(*q);
    HBRUSH white = CreateSolidBrush(kWhite);
    RECT all{0, 0, width, height};
    FillRect(q->DrawDC, &all, white);
    DeleteObject(white);
    q->DrawBorder(solid);
    return surface.Mask(kBlack);
}

bool InDash(int v, int first, int last_start, int last_end) {
    // Dashes of 4 pixels every 8 starting at `first`, the last one last_start..last_end.
    if (v >= last_start) return v <= last_end;
    return v >= first && (v - first) % 8 < 4;
}

TEST(DashedBorder, At300By200) {
    const std::vector<std::string> mask = BorderMask(300, 200, false);
    int dashes_top = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 300; ++x) {
            // Top dashes on row 1, bottom dashes on row 199: x 0-3, 8-11, ..., 288-291,
            // then 296-298.
            const bool horizontal = (y == 1 || y == 199) && InDash(x, 0, 296, 298);
            // 75 horizontal slots (odd), so the vertical slots start skipped: y 4-7, 12-15,
            // ..., 188-191, then 196-198, on x 0 and x 299.
            const bool vertical = (x == 0 || x == 299) && InDash(y, 4, 196, 198);
            ASSERT_EQ(mask[y][x] == '#', horizontal || vertical) << "x " << x << " y " << y;
        }
    }
    for (int x = 0; x < 300; ++x)
        dashes_top += (mask[1][x] == '#' && (x == 0 || mask[1][x - 1] == '.')) ? 1 : 0;
    EXPECT_EQ(dashes_top, 38);
    int dashes_left = 0;  // not counting the top dash's pixel on row 1
    for (int y = 2; y < 200; ++y) {
        dashes_left += (mask[y][0] == '#' && (y == 0 || mask[y - 1][0] == '.')) ? 1 : 0;
    }
    EXPECT_EQ(dashes_left, 25);
    EXPECT_EQ(mask[0], std::string(300, '.'));  // row 0 has no dash
}

struct SmallCase {
    int width, height;
    std::vector<std::string> expected;
};

class DashedSmall : public testing::TestWithParam<SmallCase> {};

TEST_P(DashedSmall, FollowsTheSlots) {
    const SmallCase& c = GetParam();
    EXPECT_EQ(BorderMask(c.width, c.height, false), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, DashedSmall,
    testing::Values(
        // Narrower than 4: no horizontal slots, so the first vertical slot is drawn.
        SmallCase{3, 10, {"#.#", "#.#", "#.#", "#.#", "...", "...", "...", "...", "...", "..."}},
        // Here the first vertical slot is also the last one: it reaches one short of the end.
        SmallCase{3, 7, {"#.#", "#.#", "#.#", "#.#", "#.#", "#.#", "..."}},
        // Lower than 4: no vertical slots.
        SmallCase{10, 3, {"..........", "####......", "####......"}},
        // 8 div 4 = 2 slots, even: the first vertical slot is drawn.
        SmallCase{8,
                  8,
                  {"#......#", "########", "#......#", "#......#", "#......#", "#......#",
                   "#......#", "#######."}},
        SmallCase{2, 2, {"..", ".."}}));

TEST(SolidBorder, CoversEveryOutermostPixelOnce) {
    const std::vector<std::string> mask = BorderMask(300, 200, true);
    int black = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 300; ++x) {
            const bool edge = x == 0 || y == 0 || x == 299 || y == 199;
            ASSERT_EQ(mask[y][x] == '#', edge) << x << "," << y;
            black += edge ? 1 : 0;
        }
    }
    EXPECT_EQ(black, 996);
}

TEST(SolidBorder, IsBlackOverBarsOfAnyColour) {
    auto q = std::make_unique<QuillonState>();
    LoadDefaultSymbol(*q);
    q->BorderStyle = 2;
    q->BarColor = RGB(255, 0, 0);
    q->ImageHeight = 36;  // the symbol touches every edge
    DrawingSurface surface(*q);
    ASSERT_TRUE(q->RenderSymbol());
    EXPECT_EQ(q->MarginTop, 0);
    EXPECT_EQ(surface.CountOf(kBlack), 2 * 300 + 2 * 36 - 4);
    for (int x = 0; x < 300; ++x) {
        EXPECT_EQ(surface.At(x, 0), kBlack);
        EXPECT_EQ(surface.At(x, 35), kBlack);
    }
    EXPECT_EQ(surface.At(1, 1), RGB(255, 0, 0));  // the start bar inside the frame
}

TEST(DashedBorder, IsDrawnOverTheSymbol) {
    auto q = std::make_unique<QuillonState>();
    LoadDefaultSymbol(*q);
    q->BorderStyle = 1;
    q->BarColor = RGB(0, 0, 255);
    DrawingSurface surface(*q);
    ASSERT_TRUE(q->RenderSymbol());
    // x 0 in rows 82..117 is the start bar, except where a vertical dash lies (y 84-87, ...).
    EXPECT_EQ(surface.At(0, 83), RGB(0, 0, 255));
    EXPECT_EQ(surface.At(0, 84), kBlack);
    EXPECT_EQ(surface.At(0, 88), RGB(0, 0, 255));
    EXPECT_EQ(surface.At(0, 1), kBlack);
    EXPECT_EQ(surface.At(4, 1), kWhite);
}

}  // namespace
