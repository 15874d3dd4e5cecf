#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "tests/png/WrittenPicture.h"

namespace {

// A captured picture whose palette is built, and which is then written: its indices come
// back from the file's scanlines.
struct Indexed : WrittenPicture {
    using WrittenPicture::WrittenPicture;
    void Build() {
        Write();
        indices = Indices();
    }
    std::vector<BYTE> indices;
};

constexpr std::uint32_t kVga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                    0x008080, 0x808080, 0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00,
                                    0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

TEST(Palette, ColoursInOrderOfFirstAppearance) {
    // Table entries 15 (white), 0 (black), 9 (red), in this order of appearance.
    Indexed p(4, std::vector<std::uint32_t>(kVga, kVga + 16), 3, {15, 15, 0, 0, 9, 15});
    p.Build();
    EXPECT_EQ(p.q().PngWidth, 3);
    EXPECT_EQ(p.q().PngHeight, 2);
    EXPECT_EQ(p.q().PaletteCount, 3);
    EXPECT_EQ(p.Entry(0), 0xFFFFFFu);  // the top-left pixel's colour is always entry 0
    EXPECT_EQ(p.Entry(1), 0x000000u);
    EXPECT_EQ(p.Entry(2), 0xFF0000u);
    EXPECT_EQ(p.indices, (std::vector<BYTE>{0, 0, 1, 1, 2, 0}));
    EXPECT_EQ(p.q().BitDepth, 2);
    EXPECT_EQ(p.q().PaletteEntries, 4);
}

TEST(Palette, EqualColoursShareAnEntryWhateverTheirTableIndex) {
    // Entries 1 and 3 hold the same colour: one palette entry, as comparing colours gives.
    Indexed p(4, {0x102030, 0xABCDEF, 0x102031, 0xABCDEF}, 4, {1, 3, 2, 1, 0, 3, 3, 1});
    p.Build();
    EXPECT_EQ(p.q().PaletteCount, 3);
    EXPECT_EQ(p.Entry(0), 0xABCDEFu);
    EXPECT_EQ(p.Entry(1), 0x102031u);
    EXPECT_EQ(p.Entry(2), 0x102030u);
    EXPECT_EQ(p.indices, (std::vector<BYTE>{0, 0, 1, 0, 2, 0, 0, 0}));
}

// A 4-bit row is read 32 pixels at a time while it holds only colours met before: a colour
// first met anywhere in a wide row, in a whole group, at its edges or in the row's last
// pixels, takes its place in the palette and its pixel its index.
TEST(Palette, AColourFirstMetAnywhereInAWideRowIsFound) {
    const int width = 75;  // two groups of 32 pixels and 11 more
    for (int at : {0, 1, 30, 31, 32, 33, 63, 64, 65, 74}) {
        std::vector<int> pixels(3 * width, 15);  // white, table entry 15
        pixels[5] = 0;                           // black in the first row
        pixels[width + at] = 9;                  // red once in the second
        for (int x = 0; x < width; ++x) pixels[2 * width + x] = x % 3 == 0 ? 0 : 15;
        Indexed p(4, std::vector<std::uint32_t>(kVga, kVga + 16), width, pixels);
        p.Build();
        ASSERT_EQ(p.q().PaletteCount, 3) << "red at " << at;
        EXPECT_EQ(p.Entry(0), 0xFFFFFFu);
        EXPECT_EQ(p.Entry(1), 0x000000u);
        EXPECT_EQ(p.Entry(2), 0xFF0000u);
        std::vector<BYTE> expected;
        for (int v : pixels) expected.push_back(v == 15 ? 0 : v == 0 ? 1 : 2);
        EXPECT_EQ(p.indices, expected) << "red at " << at;
    }
}

TEST(Palette, ColoursDifferingInOneComponentAreDistinct) {
    Indexed p(4, {0x102030, 0x102031, 0x102130, 0x112030}, 4, {0, 1, 2, 3});
    p.Build();
    EXPECT_EQ(p.q().PaletteCount, 4);
    EXPECT_EQ(p.indices, (std::vector<BYTE>{0, 1, 2, 3}));
}

struct DepthCase {
    int colours;
    int bit_depth;
    int entries;
};

class BitDepthFromColours : public testing::TestWithParam<DepthCase> {};

TEST_P(BitDepthFromColours, FollowsTheColourCount) {
    const DepthCase& c = GetParam();
    std::vector<std::uint32_t> table;
    for (int i = 0; i < 256; ++i) table.push_back(0x010101u * static_cast<std::uint32_t>(i));
    std::vector<int> indices;
    for (int i = 0; i < 2 * c.colours; ++i) indices.push_back(255 - i % c.colours);
    Indexed p(8, table, 2, indices);
    p.Build();
    EXPECT_EQ(p.q().PaletteCount, c.colours);
    EXPECT_EQ(p.q().BitDepth, c.bit_depth);
    EXPECT_EQ(p.q().PaletteEntries, c.entries);
    EXPECT_EQ(p.Entry(0), 0xFFFFFFu);
}

INSTANTIATE_TEST_SUITE_P(Counts, BitDepthFromColours,
                         testing::Values(DepthCase{1, 1, 2}, DepthCase{2, 1, 2}, DepthCase{3, 2, 4},
                                         DepthCase{4, 2, 4}, DepthCase{5, 4, 16},
                                         DepthCase{16, 4, 16}, DepthCase{17, 8, 256},
                                         DepthCase{256, 8, 256}));

struct UnpackCase {
    int bits;
    int width;
};

class Unpack : public testing::TestWithParam<UnpackCase> {};

// Rows of any width come out top row first with exactly `width` pixels; the padding of the
// capture's rows (set to ones) is never read as pixels.
TEST_P(Unpack, RowsTopDownWithoutPadding) {
    const UnpackCase& c = GetParam();
    const int height = 3;
    std::vector<std::uint32_t> table;
    for (int i = 0; i < (1 << c.bits); ++i) table.push_back(static_cast<std::uint32_t>(i));
    std::vector<int> indices;
    for (int i = 0; i < c.width * height; ++i)
        indices.push_back((i * 7 + i / c.width) % (1 << c.bits));
    // The last row repeats the one above, which unpacks the same.
    for (int x = 0; x < c.width; ++x) indices[2 * c.width + x] = indices[c.width + x];
    Indexed p(c.bits, table, c.width, indices);
    p.Build();
    // Distinct table colours: palette entries in the order of the entries' first pixels.
    std::vector<int> rank(table.size(), -1);
    int ranked = 0;
    std::vector<BYTE> expected;
    for (int entry : indices) {
        if (rank[entry] < 0) rank[entry] = ranked++;
        expected.push_back(static_cast<BYTE>(rank[entry]));
    }
    EXPECT_EQ(p.indices, expected);
}

INSTANTIATE_TEST_SUITE_P(Depths, Unpack,
                         testing::Values(UnpackCase{1, 1}, UnpackCase{1, 8}, UnpackCase{1, 13},
                                         UnpackCase{1, 300}, UnpackCase{4, 1}, UnpackCase{4, 5},
                                         UnpackCase{4, 8}, UnpackCase{8, 3}, UnpackCase{8, 4}));

TEST(Palette, EmptiedByEveryRequest) {
    Indexed p(1, {0, 0xFFFFFF}, 1, {1});
    p.q().PaletteCount = 9;
    p.q().BuildPalette();
    EXPECT_EQ(p.q().PaletteCount, 1);
    EXPECT_EQ(p.Entry(0), 0xFFFFFFu);
}

// Nothing per pixel: the palette is found without any memory of its own, however large the
// picture.
TEST(Palette, NeedsNoMemory) {
    std::vector<int> indices(640 * 480, 15);
    indices[640 * 479 + 639] = 4;
    Indexed p(4, std::vector<std::uint32_t>(kVga, kVga + 16), 640, indices);
    PlatformFailNthAllocation(1);
    p.q().BuildPalette();
    PlatformFailNthAllocation(0);
    EXPECT_EQ(p.q().PaletteCount, 2);
    EXPECT_EQ(p.Entry(1), 0x000080u);
}

}  // namespace
