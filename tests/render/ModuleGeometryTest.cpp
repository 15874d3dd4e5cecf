#include <gtest/gtest.h>

#include <memory>

#include "component/state/QuillonState.h"

namespace {

struct GeometryCase {
    int dpi_x, dpi_y, orientation;
    float narrow_bar_width, y2x;
    int row_dpi, module, row_height;
};

class ModuleGeometry : public testing::TestWithParam<GeometryCase> {
protected:
    void TearDown() override { PlatformSetScreenResolution(0, 0); }
};

TEST_P(ModuleGeometry, RoundsHalfDownAndFollowsTheRows) {
    const GeometryCase& c = GetParam();
    PlatformSetScreenResolution(c.dpi_x, c.dpi_y);
    auto q = std::make_unique<QuillonState>();
    q->Orientation = c.orientation;
    q->NarrowBarWidth = c.narrow_bar_width;
    q->Y2XRatio = c.y2x;
    ASSERT_TRUE(q->ComputeModuleGeometry());
    EXPECT_EQ(q->RowDpi, c.row_dpi);
    EXPECT_EQ(q->ModuleWidth, c.module);
    EXPECT_EQ(q->RowHeight, c.row_height);
    EXPECT_EQ(q->WideBarWidth, 2 * c.module);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ModuleGeometry,
    testing::Values(
        // 96 × 0.07 / 2.54 = 2.6457 -> 3; 3.0 × 3 = 9.
        GeometryCase{96, 96, 0, 0.07f, 3.0f, 96, 3, 9},
        // 120 pixels per inch: 3.307 -> 3.
        GeometryCase{120, 120, 0, 0.07f, 3.0f, 120, 3, 9},
        // 2.5 × 3 = 7.5 exactly: a half is dropped.
        GeometryCase{96, 96, 0, 0.07f, 2.5f, 96, 3, 7},
        // x at most 0.5: the module is still one pixel, and the row height follows from it.
        GeometryCase{96, 96, 0, 0.01f, 3.0f, 96, 1, 3},
        GeometryCase{96, 96, 0, 0.01f, 0.5f, 96, 1, 0},
        GeometryCase{96, 96, 0, 0.01f, 0.4f, 96, 1, 0},
        GeometryCase{96, 96, 0, 0.01f, 0.51f, 96, 1, 1},
        // The resolution along the rows: horizontal for 0 and 2, vertical for 1 and 3.
        // 200 × 0.07 / 2.54 = 5.51 -> 6.
        GeometryCase{96, 200, 1, 0.07f, 3.0f, 200, 6, 18},
        GeometryCase{96, 200, 2, 0.07f, 3.0f, 96, 3, 9},
        GeometryCase{96, 200, 3, 0.07f, 3.0f, 200, 6, 18},
        GeometryCase{200, 96, 1, 0.07f, 3.0f, 96, 3, 9},
        // 96 × 0.1 / 2.54 = 3.78 -> 4.
        GeometryCase{96, 96, 0, 0.1f, 1.0f, 96, 4, 4},
        // Modules wider than any picture keep their width: 96 × 1000 / 2.54 = 37795.3.
        GeometryCase{96, 96, 0, 866.0f, 1.0f, 96, 32731, 32731},
        GeometryCase{96, 96, 0, 1000.0f, 3.0f, 96, 37795, 113385},
        // Beyond 2147483647 / 38 + 1 pixels even the narrowest symbol (one-column MicroPDF417:
        // 38 modules) is wider than 32-bit coordinates: all such modules are held there.
        GeometryCase{96, 96, 0, 1.0e30f, 3.0f, 96, 56512728, 169538184},
        GeometryCase{96, 96, 3, 3.4e38f, 5.0f, 96, 56512728, 282563640}));

TEST(ModuleGeometryFailure, NeedsTheScreen) {
    auto q = std::make_unique<QuillonState>();
    PlatformFailNthAllocation(1);
    EXPECT_FALSE(q->ComputeModuleGeometry());
    PlatformFailNthAllocation(0);
}

}  // namespace
