#include <gtest/gtest.h>

#include <zlib.h>

#include <memory>
#include <vector>

#include "component/state/QuillonState.h"

namespace {

// A state holding a width × height picture of palette indices at the given depth.
struct Indexed {
    std::unique_ptr<QuillonState> q = std::make_unique<QuillonState>();
    std::vector<BYTE> indices;

    Indexed(int width, int height, int depth) : indices(static_cast<std::size_t>(width) * height) {
        for (std::size_t i = 0; i < indices.size(); ++i) {
            indices[i] = static_cast<BYTE>((i * 2654435761u >> 13) & ((1u << depth) - 1));
        }
        q->PngWidth = width;
        q->PngHeight = height;
        q->PixelCount = width * height;
        q->BitDepth = depth;
        q->IndexBuffer = indices.data();
    }
    ~Indexed() {
        q->IndexBuffer = nullptr;
        q->ReleasePngBuffers();
    }
    std::vector<BYTE> Stream() const {
        return std::vector<BYTE>(q->ZlibStream, q->ZlibStream + q->ZlibLength);
    }
    // The scanlines as the format defines them, packed here bit by bit.
    std::vector<BYTE> ExpectedScanlines() const {
        const int width = q->PngWidth, depth = q->BitDepth;
        const int row_bytes = (width * depth + 7) / 8;
        std::vector<BYTE> out;
        for (int y = 0; y < q->PngHeight; ++y) {
            out.push_back(0);
            std::vector<BYTE> row(row_bytes, 0);
            for (int x = 0; x < width; ++x) {
                const int bit = x * depth;  // from the most significant bit of the row
                row[bit / 8] |= static_cast<BYTE>(indices[y * width + x] << (8 - depth - bit % 8));
            }
            out.insert(out.end(), row.begin(), row.end());
        }
        return out;
    }
};

std::vector<BYTE> Inflate(const std::vector<BYTE>& stream, std::size_t expected_size) {
    std::vector<BYTE> out(expected_size + 16);
    uLongf size = static_cast<uLongf>(out.size());
    EXPECT_EQ(uncompress(out.data(), &size, stream.data(), static_cast<uLong>(stream.size())),
              Z_OK);
    out.resize(size);
    return out;
}

struct BlockCase {
    int width, height;  // at depth 8, S = (width + 1) × height
    int scanline_bytes;
    int zlib_length;
    std::vector<std::pair<int, std::vector<BYTE>>> headers;  // offset in the stream, bytes
};

class StoredBlocks : public testing::TestWithParam<BlockCase> {};

TEST_P(StoredBlocks, SplitAt65531Bytes) {
    const BlockCase& c = GetParam();
    Indexed picture(c.width, c.height, 8);
    ASSERT_EQ((c.width + 1) * c.height, c.scanline_bytes);
    ASSERT_TRUE(picture.q->BuildZlibStream());
    EXPECT_EQ(picture.q->ScanlineBuffer, nullptr);  // freed inside
    ASSERT_EQ(picture.q->ZlibLength, c.zlib_length);
    const std::vector<BYTE> stream = picture.Stream();
    EXPECT_EQ(stream[0], 0x78);
    EXPECT_EQ(stream[1], 0xDA);
    for (const auto& [offset, bytes] : c.headers) {
        EXPECT_EQ(std::vector<BYTE>(stream.begin() + offset, stream.begin() + offset + 5), bytes)
            << "block header at " << offset;
    }
    const std::vector<BYTE> expected = picture.ExpectedScanlines();
    EXPECT_EQ(Inflate(stream, expected.size()), expected);
    // Adler-32 of the scanlines alone, filter bytes included.
    const uLong adler = adler32(1, expected.data(), static_cast<uInt>(expected.size()));
    EXPECT_EQ(picture.q->AdlerValue, adler);
    EXPECT_EQ(std::vector<BYTE>(stream.end() - 4, stream.end()),
              (std::vector<BYTE>{static_cast<BYTE>(adler >> 24), static_cast<BYTE>(adler >> 16),
                                 static_cast<BYTE>(adler >> 8), static_cast<BYTE>(adler)}));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, StoredBlocks,
    testing::Values(
        // S = 65531: one final block of exactly 65531 bytes.
        BlockCase{18, 3449, 65531, 65531 + 11, {{2, {0x01, 0xFB, 0xFF, 0x04, 0x00}}}},
        // S = 65532: a full non-final block, then a final block of 1 byte.
        BlockCase{3,
                  16383,
                  65532,
                  65536 + 1 + 11,
                  {{2, {0x00, 0xFB, 0xFF, 0x04, 0x00}}, {65538, {0x01, 0x01, 0x00, 0xFE, 0xFF}}}},
        // S = 131062: two full blocks, the second one final.
        BlockCase{37,
                  3449,
                  131062,
                  65536 + 65531 + 11,
                  {{2, {0x00, 0xFB, 0xFF, 0x04, 0x00}}, {65538, {0x01, 0xFB, 0xFF, 0x04, 0x00}}}},
        // The default picture: 300 × 200 at 1 bit is 200 × 39 = 7800 bytes.
        BlockCase{7, 975, 7800, 7811, {{2, {0x01, 0x78, 0x1E, 0x87, 0xE1}}}},
        BlockCase{1, 1, 2, 13, {{2, {0x01, 0x02, 0x00, 0xFD, 0xFF}}}}));

struct PackingCase {
    int width, height, depth;
};

class ScanlinePacking : public testing::TestWithParam<PackingCase> {};

TEST_P(ScanlinePacking, PacksFromTheMostSignificantBitAndPadsWithZeros) {
    const PackingCase& c = GetParam();
    Indexed picture(c.width, c.height, c.depth);
    ASSERT_TRUE(picture.q->BuildZlibStream());
    const std::vector<BYTE> expected = picture.ExpectedScanlines();
    EXPECT_EQ(Inflate(picture.Stream(), expected.size()), expected);
}

INSTANTIATE_TEST_SUITE_P(Depths, ScanlinePacking,
                         testing::Values(PackingCase{300, 3, 1}, PackingCase{1, 4, 1},
                                         PackingCase{9, 2, 1}, PackingCase{15, 3, 1},
                                         PackingCase{5, 2, 2}, PackingCase{7, 3, 4},
                                         PackingCase{8, 1, 4}, PackingCase{3, 2, 8},
                                         PackingCase{1000, 200, 1}));

TEST(ScanlinePacking, RepeatedRowsArePackedAgain) {
    for (int depth : {1, 2, 4, 8}) {
        Indexed picture(13, 5, depth);
        // Rows 0, 1 and 3 alike; rows 2 and 4 differ from the row above.
        for (int x = 0; x < 13; ++x) {
            picture.indices[13 + x] = picture.indices[x];
            picture.indices[39 + x] = picture.indices[x];
            picture.indices[26 + x] = static_cast<BYTE>((picture.indices[x] + 1) % (1 << depth));
        }
        ASSERT_TRUE(picture.q->BuildZlibStream());
        const std::vector<BYTE> expected = picture.ExpectedScanlines();
        EXPECT_EQ(Inflate(picture.Stream(), expected.size()), expected) << depth;
    }
}

TEST(ScanlinePacking, A300PixelRowAtOneBitEndsInFourPixelsAndFourZeroBits) {
    Indexed picture(300, 1, 1);
    for (int x = 0; x < 300; ++x) picture.indices[x] = x >= 296 ? 1 : 0;
    picture.indices[297] = 0;  // last four pixels 1 0 1 1
    ASSERT_TRUE(picture.q->BuildZlibStream());
    const std::vector<BYTE> scanlines = Inflate(picture.Stream(), 39);
    ASSERT_EQ(scanlines.size(), 39u);
    EXPECT_EQ(scanlines[38], 0xB0);
    EXPECT_EQ(scanlines[37], 0x00);
}

TEST(ZlibStream, OutOfMemoryLeavesNothingAllocated) {
    for (int n = 1; n <= 2; ++n) {
        Indexed picture(10, 10, 1);
        PlatformFailNthAllocation(n);
        EXPECT_FALSE(picture.q->BuildZlibStream());
        PlatformFailNthAllocation(0);
        EXPECT_EQ(picture.q->ZlibStream, nullptr);
        EXPECT_EQ(picture.q->ScanlineBuffer, nullptr);
    }
}

}  // namespace
