#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/png/WrittenPicture.h"
#include "tests/support/PngReader.h"

namespace {

// A width × height picture of the palette's colours, its first pixels taking each colour in
// turn so that the palette lists them in order, captured with the palette as the colour table,
// at 1 bit a pixel for two colours and at 8 for more than sixteen.
struct Writer : WrittenPicture {
    Writer(int width, int height, const std::vector<std::uint32_t>& palette)
        : WrittenPicture(CaptureBits(palette), palette, width, Pixels(width, height, palette)),
          indices(Pixels(width, height, palette)) {}

    static int CaptureBits(const std::vector<std::uint32_t>& palette) {
        return palette.size() <= 2 ? 1 : palette.size() <= 16 ? 4 : 8;
    }
    static std::vector<int> Pixels(int width, int height,
                                   const std::vector<std::uint32_t>& palette) {
        std::vector<int> pixels(static_cast<std::size_t>(width) * height);
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = static_cast<int>(i < palette.size() ? i : (i / 3 + i % 7) % palette.size());
        }
        return pixels;
    }
    std::vector<BYTE> Bytes(std::size_t offset, std::size_t count) const {
        return std::vector<BYTE>(file.begin() + offset, file.begin() + offset + count);
    }

    std::vector<int> indices;
};

TEST(PngFile, DefaultPictureLayout) {
    // 300 × 200, two colours, white first: the figures of the default picture.
    Writer w(300, 200, {0xFFFFFF, 0x000000});
    w.Write();
    ASSERT_EQ(w.file.size(), 7886u);
    EXPECT_EQ(w.Bytes(0, 8), (std::vector<BYTE>{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}));
    EXPECT_EQ(w.Bytes(8, 8), (std::vector<BYTE>{0, 0, 0, 13, 'I', 'H', 'D', 'R'}));
    EXPECT_EQ(w.Bytes(16, 13), (std::vector<BYTE>{0x00, 0x00, 0x01, 0x2C, 0x00, 0x00, 0x00, 0xC8,
                                                  0x01, 0x03, 0x00, 0x00, 0x00}));
    EXPECT_EQ(w.Bytes(29, 4), (std::vector<BYTE>{0x68, 0x11, 0x4E, 0x16}));
    EXPECT_EQ(w.Bytes(33, 8), (std::vector<BYTE>{0, 0, 0, 6, 'P', 'L', 'T', 'E'}));
    EXPECT_EQ(w.Bytes(41, 6), (std::vector<BYTE>{0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00}));
    EXPECT_EQ(w.Bytes(47, 4), (std::vector<BYTE>{0x55, 0xC2, 0xD3, 0x7E}));
    // IDAT: Z = 7811 = 0x1E83, then the zlib header and the one final stored block.
    EXPECT_EQ(w.Bytes(51, 8), (std::vector<BYTE>{0x00, 0x00, 0x1E, 0x83, 'I', 'D', 'A', 'T'}));
    EXPECT_EQ(w.Bytes(59, 7), (std::vector<BYTE>{0x78, 0xDA, 0x01, 0x78, 0x1E, 0x87, 0xE1}));
    EXPECT_EQ(w.Bytes(7874, 12), (std::vector<BYTE>{0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44,
                                                    0xAE, 0x42, 0x60, 0x82}));
}

struct FileCase {
    int width, height;
    std::vector<std::uint32_t> palette;
    int bit_depth;
};

class PngFiles : public testing::TestWithParam<FileCase> {};

// libpng reads every file back, checking every CRC and the Adler-32, and gets the pixels.
TEST_P(PngFiles, ReadBackByLibpng) {
    const FileCase& c = GetParam();
    Writer w(c.width, c.height, c.palette);
    w.Write();
    ASSERT_EQ(w.q().BitDepth, c.bit_depth);
    ASSERT_EQ(w.file.size(),
              static_cast<std::size_t>(69 + 3 * (1 << c.bit_depth) + w.q().ZlibLength));
    const DecodedPng png = ReadPng(w.file.data(), w.file.size());
    ASSERT_TRUE(png.ok) << png.error;
    EXPECT_TRUE(png.error.empty()) << png.error;
    EXPECT_EQ(png.width, c.width);
    EXPECT_EQ(png.height, c.height);
    EXPECT_EQ(png.bit_depth, c.bit_depth);
    EXPECT_EQ(png.color_type, 3);
    EXPECT_EQ(png.interlace, 0);
    // The palette: the colours in use, then white up to 2^depth entries.
    ASSERT_EQ(png.palette.size(), static_cast<std::size_t>(3 * (1 << c.bit_depth)));
    for (int j = 0; j < (1 << c.bit_depth); ++j) {
        const std::uint32_t expected =
            j < static_cast<int>(c.palette.size()) ? c.palette[j] : 0xFFFFFFu;
        const std::uint32_t entry = (std::uint32_t{png.palette[3 * j]} << 16) |
                                    (std::uint32_t{png.palette[3 * j + 1]} << 8) |
                                    png.palette[3 * j + 2];
        EXPECT_EQ(entry, expected) << j;
    }
    int mismatches = 0;
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            mismatches += png.Pixel(x, y) != c.palette[w.indices[y * c.width + x]] ? 1 : 0;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, PngFiles,
    testing::Values(FileCase{300, 200, {0xFFFFFF, 0x000000}, 1},
                    FileCase{1, 1, {0x123456}, 1},  // one colour: the second entry is white
                    FileCase{17, 9, {0x000000, 0xFFFFFF, 0xFF0000}, 2},
                    FileCase{33, 5, {0, 0x800000, 0x008000, 0x808000, 0x000080}, 4},
                    FileCase{7, 300, {0x000080, 0xFFFF00, 0xC0C0C0, 0x00FFFF, 0xFF00FF}, 4},
                    FileCase{700, 100, {0xFFFFFF, 0x000000, 0x808080}, 2},
                    // Scanline data beyond one stored block.
                    FileCase{2000, 300, {0x000000, 0xFFFFFF}, 1},
                    FileCase{21,
                             11,
                             {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112, 0x131415,
                              0x161718, 0x191A1B, 0x1C1D1E, 0x1F2021, 0x222324, 0x252627, 0x28292A,
                              0x2B2C2D, 0x2E2F30, 0x313233, 0x343536},
                             8}));

TEST(PngFile, TheEndChunkIsAlwaysTheSameTwelveBytes) {
    Writer w(3, 2, {0xFF0000, 0x00FF00, 0x0000FF});
    w.Write();
    EXPECT_EQ(w.Bytes(w.file.size() - 12, 12),
              (std::vector<BYTE>{0, 0, 0, 0, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82}));
}

// Whether the array is held for the whole file or accessed for each piece, the pieces land
// alike, and a held array is locked until it is released.
TEST(PutBytes, NeverWritesOutsideTheArray) {
    for (const bool held : {false, true}) {
        SCOPED_TRACE(held ? "held" : "accessed per piece");
        auto q = std::make_unique<QuillonState>();
        SAFEARRAYBOUND bound{4, 0};
        q->OutputArray = SafeArrayCreate(VT_UI1, 1, &bound);
        const BYTE bytes[6] = {1, 2, 3, 4, 5, 6};
        q->OutputPosition = 0;
        if (held) {
            ASSERT_TRUE(q->HoldOutput());
            EXPECT_EQ(q->OutputElements, 4);
        }
        q->PutBytes(3, bytes);
        q->PutBytes(3, bytes + 3);  // would run past the end: not stored
        if (held) {
            EXPECT_EQ(SafeArrayDestroy(q->OutputArray), DISP_E_ARRAYISLOCKED);
            q->ReleaseOutput();
            EXPECT_EQ(q->OutputData, nullptr);
        }
        EXPECT_EQ(q->OutputPosition, 6);
        const BYTE* data = static_cast<const BYTE*>(q->OutputArray->pvData);
        EXPECT_EQ(std::vector<BYTE>(data, data + 4), (std::vector<BYTE>{1, 2, 3, 0}));
        EXPECT_EQ(SafeArrayDestroy(q->OutputArray), S_OK);
    }
}

TEST(StoreBigEndian, MostSignificantByteFirst) {
    auto q = std::make_unique<QuillonState>();
    q->StoreBigEndian(0x01020304u);
    EXPECT_EQ(std::vector<BYTE>(q->BigEndianWord, q->BigEndianWord + 4),
              (std::vector<BYTE>{1, 2, 3, 4}));
}

}  // namespace
