#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "component/QuillonState.h"

namespace {

// Planes filled with the given colours (0xRRGGBB), one per pixel of a width × height picture.
struct Planes {
    std::unique_ptr<QuillonState> q = std::make_unique<QuillonState>();
    std::vector<BYTE> red, green, blue;

    Planes(int width, const std::vector<std::uint32_t>& colours) {
        for (std::uint32_t c : colours) {
            red.push_back(static_cast<BYTE>(c >> 16));
            green.push_back(static_cast<BYTE>(c >> 8));
            blue.push_back(static_cast<BYTE>(c));
        }
        q->ImageWidth = width;
        q->ImageHeight = static_cast<int>(colours.size()) / width;
        q->RedPlane = red.data();
        q->GreenPlane = green.data();
        q->BluePlane = blue.data();
    }
    ~Planes() {
        q->RedPlane = q->GreenPlane = q->BluePlane = nullptr;
        q->ReleasePngBuffers();
    }
    std::vector<BYTE> Indices() const {
        return std::vector<BYTE>(q->IndexBuffer, q->IndexBuffer + q->PixelCount);
    }
    std::uint32_t Entry(int j) const {
        return (std::uint32_t{q->PaletteRed[j]} << 16) | (std::uint32_t{q->PaletteGreen[j]} << 8) |
               q->PaletteBlue[j];
    }
};

TEST(Palette, ColoursInOrderOfFirstAppearance) {
    const std::uint32_t W = 0xFFFFFF, K = 0x000000, R = 0xFF0000;
    Planes p(3, {W, W, K, K, R, W});
    ASSERT_TRUE(p.q->AllocateIndexBuffer());
    EXPECT_EQ(p.q->PngWidth, 3);
    EXPECT_EQ(p.q->PngHeight, 2);
    EXPECT_EQ(p.q->PixelCount, 6);
    EXPECT_EQ(p.q->PaletteCount, 0);
    p.q->BuildPalette();
    EXPECT_EQ(p.q->PaletteCount, 3);
    EXPECT_EQ(p.Entry(0), W);  // the top-left pixel's colour is always entry 0
    EXPECT_EQ(p.Entry(1), K);
    EXPECT_EQ(p.Entry(2), R);
    EXPECT_EQ(p.Indices(), (std::vector<BYTE>{0, 0, 1, 1, 2, 0}));
    EXPECT_EQ(p.q->BitDepth, 2);
    EXPECT_EQ(p.q->PaletteEntries, 4);
}

TEST(Palette, ColoursDifferingInOneComponentAreDistinct) {
    Planes p(4, {0x102030, 0x102031, 0x102130, 0x112030});
    ASSERT_TRUE(p.q->AllocateIndexBuffer());
    p.q->BuildPalette();
    EXPECT_EQ(p.q->PaletteCount, 4);
    EXPECT_EQ(p.Indices(), (std::vector<BYTE>{0, 1, 2, 3}));
}

struct DepthCase {
    int colours;
    int bit_depth;
    int entries;
};

class BitDepthFromColours : public testing::TestWithParam<DepthCase> {};

TEST_P(BitDepthFromColours, FollowsTheColourCount) {
    const DepthCase& c = GetParam();
    std::vector<std::uint32_t> pixels;
    for (int i = 0; i < 2 * c.colours; ++i)
        pixels.push_back(0x010101u * (i % c.colours));
    Planes p(2, pixels);
    ASSERT_TRUE(p.q->AllocateIndexBuffer());
    p.q->BuildPalette();
    EXPECT_EQ(p.q->PaletteCount, c.colours);
    EXPECT_EQ(p.q->BitDepth, c.bit_depth);
    EXPECT_EQ(p.q->PaletteEntries, c.entries);
}

INSTANTIATE_TEST_SUITE_P(Counts, BitDepthFromColours,
                         testing::Values(DepthCase{1, 1, 2}, DepthCase{2, 1, 2}, DepthCase{3, 2, 4},
                                         DepthCase{4, 2, 4}, DepthCase{5, 4, 16},
                                         DepthCase{16, 4, 16}, DepthCase{17, 8, 256},
                                         DepthCase{256, 8, 256}));

TEST(Palette, NeverWritesPastTwoHundredFiftySixEntries) {
    std::vector<std::uint32_t> pixels;
    for (int i = 0; i < 300; ++i)
        pixels.push_back(static_cast<std::uint32_t>(i) * 0x10101u);
    Planes p(300, pixels);
    ASSERT_TRUE(p.q->AllocateIndexBuffer());
    p.q->BuildPalette();
    EXPECT_EQ(p.q->PaletteCount, 256);
    EXPECT_EQ(p.q->BitDepth, 8);
    EXPECT_EQ(p.Indices()[299], 255);
}

TEST(Palette, EmptiedByEveryRequest) {
    Planes p(1, {0x123456});
    p.q->PaletteCount = 9;
    ASSERT_TRUE(p.q->AllocateIndexBuffer());
    EXPECT_EQ(p.q->PaletteCount, 0);
}

TEST(Palette, IndexBufferComesFromTheTaskAllocator) {
    Planes p(1, {0x123456});
    PlatformFailNthAllocation(1);
    EXPECT_FALSE(p.q->AllocateIndexBuffer());
    PlatformFailNthAllocation(0);
    EXPECT_EQ(p.q->IndexBuffer, nullptr);
}

}  // namespace
