#include <gtest/gtest.h>

#include <zlib.h>

#include <memory>
#include <vector>

#include "tests/png/WrittenPicture.h"

namespace {

// A width × height picture of 2^depth colours (as many as it has pixels, if fewer), captured
// at `bits` a pixel, whose palette indices are the capture's table indices: the first pixels
// take every index in turn, so the palette lists them in order.
struct Indexed : WrittenPicture {
    Indexed(int width, int height, int depth, int bits)
        : WrittenPicture(bits, Table(bits), width, Pixels(width, height, depth)),
          pixels(Pixels(width, height, depth)) {}
    Indexed(int width, int height, int depth) : Indexed(width, height, depth, depth == 8 ? 8 : 4) {}

    static std::vector<std::uint32_t> Table(int bits) {
        std::vector<std::uint32_t> table;
        for (int i = 0; i < (1 << bits); ++i) table.push_back(0x010203u * static_cast<unsigned>(i));
        return table;
    }
    static std::vector<int> Pixels(int width, int height, int depth) {
        std::vector<int> pixels(static_cast<std::size_t>(width) * height);
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = i < (1u << depth)
                            ? static_cast<int>(i)
                            : static_cast<int>((i * 2654435761u >> 13) % (1u << depth));
        }
        return pixels;
    }
    // The scanlines as the format defines them, packed here bit by bit.
    std::vector<BYTE> ExpectedScanlines() {
        const int width = q().PngWidth, depth = q().BitDepth;
        const int row_bytes = (width * depth + 7) / 8;
        std::vector<BYTE> out;
        for (int y = 0; y < q().PngHeight; ++y) {
            out.push_back(0);
            std::vector<BYTE> row(row_bytes, 0);
            for (int x = 0; x < width; ++x) {
                const int bit = x * depth;  // from the most significant bit of the row
                row[bit / 8] |= static_cast<BYTE>(pixels[y * width + x] << (8 - depth - bit % 8));
            }
            out.insert(out.end(), row.begin(), row.end());
        }
        return out;
    }

    std::vector<int> pixels;
};

struct BlockCase {
    int width, height, depth;  // S = ((width × depth + 7) / 8 + 1) × height
    int scanline_bytes;
    int zlib_length;
    std::vector<std::pair<int, std::vector<BYTE>>> headers;  // offset in the stream, bytes
};

class StoredBlocks : public testing::TestWithParam<BlockCase> {};

TEST_P(StoredBlocks, SplitAt65531Bytes) {
    const BlockCase& c = GetParam();
    Indexed picture(c.width, c.height, c.depth);
    picture.Write();
    ASSERT_EQ(picture.q().BitDepth, c.depth);
    ASSERT_EQ(((c.width * c.depth + 7) / 8 + 1) * c.height, c.scanline_bytes);
    ASSERT_EQ(picture.q().ZlibLength, c.zlib_length);
    const std::vector<BYTE> stream = picture.Stream();
    EXPECT_EQ(stream[0], 0x78);
    EXPECT_EQ(stream[1], 0xDA);
    for (const auto& [offset, bytes] : c.headers) {
        EXPECT_EQ(std::vector<BYTE>(stream.begin() + offset, stream.begin() + offset + 5), bytes)
            << "block header at " << offset;
    }
    const std::vector<BYTE> expected = picture.ExpectedScanlines();
    EXPECT_EQ(picture.Scanlines(), expected);
    // Adler-32 of the scanlines alone, filter bytes included.
    const uLong adler = adler32(1, expected.data(), static_cast<uInt>(expected.size()));
    EXPECT_EQ(picture.q().AdlerValue, adler);
    EXPECT_EQ(std::vector<BYTE>(stream.end() - 4, stream.end()),
              (std::vector<BYTE>{static_cast<BYTE>(adler >> 24), static_cast<BYTE>(adler >> 16),
                                 static_cast<BYTE>(adler >> 8), static_cast<BYTE>(adler)}));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, StoredBlocks,
    testing::Values(
        // S = 65531: one final block of exactly 65531 bytes.
        BlockCase{18, 3449, 8, 65531, 65531 + 11, {{2, {0x01, 0xFB, 0xFF, 0x04, 0x00}}}},
        // S = 65532: a full non-final block, then a final block of 1 byte.
        BlockCase{3,
                  16383,
                  8,
                  65532,
                  65536 + 1 + 11,
                  {{2, {0x00, 0xFB, 0xFF, 0x04, 0x00}}, {65538, {0x01, 0x01, 0x00, 0xFE, 0xFF}}}},
        // S = 131062: two full blocks, the second one final.
        BlockCase{37,
                  3449,
                  8,
                  131062,
                  65536 + 65531 + 11,
                  {{2, {0x00, 0xFB, 0xFF, 0x04, 0x00}}, {65538, {0x01, 0xFB, 0xFF, 0x04, 0x00}}}},
        // The default picture: 300 × 200 at 1 bit is 200 × 39 = 7800 bytes.
        BlockCase{300, 200, 1, 7800, 7811, {{2, {0x01, 0x78, 0x1E, 0x87, 0xE1}}}},
        BlockCase{7, 975, 8, 7800, 7811, {{2, {0x01, 0x78, 0x1E, 0x87, 0xE1}}}},
        BlockCase{1, 1, 1, 2, 13, {{2, {0x01, 0x02, 0x00, 0xFD, 0xFF}}}}));

struct PackingCase {
    int width, height, depth, capture_bits;
};

class ScanlinePacking : public testing::TestWithParam<PackingCase> {};

TEST_P(ScanlinePacking, PacksFromTheMostSignificantBitAndPadsWithZeros) {
    const PackingCase& c = GetParam();
    Indexed picture(c.width, c.height, c.depth, c.capture_bits);
    picture.Write();
    ASSERT_EQ(picture.q().BitDepth, c.depth);
    EXPECT_EQ(picture.Scanlines(), picture.ExpectedScanlines());
}

INSTANTIATE_TEST_SUITE_P(Depths, ScanlinePacking,
                         // Every depth from every capture depth that can give it.
                         testing::Values(PackingCase{300, 3, 1, 1}, PackingCase{1, 4, 1, 1},
                                         PackingCase{9, 2, 1, 1}, PackingCase{15, 3, 1, 1},
                                         PackingCase{15, 3, 1, 4}, PackingCase{13, 2, 1, 8},
                                         PackingCase{5, 2, 2, 4}, PackingCase{11, 3, 2, 8},
                                         PackingCase{7, 3, 4, 4}, PackingCase{8, 1, 4, 4},
                                         PackingCase{9, 3, 4, 8}, PackingCase{3, 7, 8, 8},
                                         PackingCase{1000, 200, 1, 1}));

// Runs of equal rows are packed once and repeated: rows 0, 1 and 3 alike, rows 2 and 4 each
// unlike the row above.
TEST(ScanlinePacking, RepeatedRowsArePackedAgain) {
    for (int depth : {1, 2, 4, 8}) {
        const int bits = depth == 8 ? 8 : 4;
        const int colours = 1 << depth;
        std::vector<int> pixels(13 * 5);
        for (int x = 0; x < 13; ++x) {
            pixels[x] = pixels[13 + x] = pixels[39 + x] = x % colours;
            pixels[26 + x] = (x + 1) % colours;
            pixels[52 + x] = (x * 5) % colours;
        }
        const std::vector<std::uint32_t> table = Indexed::Table(bits);
        WrittenPicture picture(bits, table, 13, pixels);
        picture.Write();
        ASSERT_EQ(picture.q().BitDepth, depth);
        const std::vector<BYTE> indices = picture.Indices();
        ASSERT_EQ(indices.size(), pixels.size());
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            ASSERT_EQ(picture.Entry(indices[i]), table[pixels[i]]) << depth << ": pixel " << i;
        }
    }
}

TEST(ScanlinePacking, A300PixelRowAtOneBitEndsInFourPixelsAndFourZeroBits) {
    std::vector<int> pixels(300);
    for (int x = 0; x < 300; ++x) pixels[x] = x >= 296 ? 1 : 0;
    pixels[297] = 0;  // last four pixels 1 0 1 1
    WrittenPicture picture(1, {0, 0xFFFFFF}, 300, pixels);
    picture.Write();
    const std::vector<BYTE> scanlines = picture.Scanlines();
    ASSERT_EQ(scanlines.size(), 39u);
    EXPECT_EQ(scanlines[38], 0xB0);
    EXPECT_EQ(scanlines[37], 0x00);
}

TEST(ZlibStream, OutOfMemoryLeavesNothingAllocated) {
    Indexed picture(10, 10, 1);
    picture.q().BuildPalette();
    PlatformFailNthAllocation(1);
    EXPECT_FALSE(picture.q().BuildZlibStream());
    PlatformFailNthAllocation(0);
    EXPECT_EQ(picture.q().ScanlineBuffer, nullptr);
}

}  // namespace
