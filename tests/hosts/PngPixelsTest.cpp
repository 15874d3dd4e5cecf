// The SVG picture's reader of PNG files takes what any writer may choose: libpng writes indexed
// pictures of every bit depth, compressed, with each of the five row filters, and the reader
// must give back every pixel's palette index.
#include "library/session/PngPixels.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

struct Written {
    std::vector<std::uint8_t> bytes;
};

void Append(png_structp png, png_bytep data, png_size_t length) {
    auto* written = static_cast<Written*>(png_get_io_ptr(png));
    written->bytes.insert(written->bytes.end(), data, data + length);
}

// A picture whose pixels make every filter matter: index (x * 3 + y * 5 + x * y) mod colours.
std::vector<std::uint8_t> Pattern(int width, int height, int colours) {
    std::vector<std::uint8_t> index;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) index.push_back((x * 3 + y * 5 + x * y) % colours);
    }
    return index;
}

std::vector<std::uint8_t> WriteWithLibpng(int width, int height, int depth, int filters,
                                          const std::vector<std::uint8_t>& index) {
    Written written;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &written, Append, nullptr);
    png_set_IHDR(png, info, width, height, depth, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (int i = 0; i < (1 << depth); ++i) {
        palette.push_back({static_cast<png_byte>(i * 37), static_cast<png_byte>(255 - i),
                           static_cast<png_byte>(i * 11)});
    }
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    png_set_packing(png);  // one index a byte in, packed to the depth
    for (int y = 0; y < height; ++y) {
        png_write_row(png, index.data() + static_cast<std::size_t>(y) * width);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return written.bytes;
}

TEST(PngPixels, ReadsWhatLibpngWritesAtEveryDepthWithEveryFilter) {
    const int filters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB,   PNG_FILTER_UP,
                           PNG_FILTER_AVG,  PNG_FILTER_PAETH, PNG_ALL_FILTERS};
    for (const int depth : {1, 2, 4, 8}) {
        for (const int filter : filters) {
            SCOPED_TRACE("depth " + std::to_string(depth) + ", filters " + std::to_string(filter));
            const int width = 37, height = 23;
            const std::vector<std::uint8_t> index = Pattern(width, height, 1 << depth);
            const std::vector<std::uint8_t> png =
                WriteWithLibpng(width, height, depth, filter, index);
            PalettePixels pixels;
            std::string error;
            ASSERT_TRUE(ReadPalettePixels(png, &pixels, &error)) << error;
            EXPECT_EQ(pixels.width, width);
            EXPECT_EQ(pixels.height, height);
            EXPECT_EQ(pixels.palette.size(), std::size_t{1} << depth);
            EXPECT_EQ(pixels.palette[1], (37u << 16) | (254u << 8) | 11u);
            EXPECT_EQ(pixels.index, index);
        }
    }
}

TEST(PngPixels, RefusesADamagedFileWithTheReason) {
    const std::vector<std::uint8_t> good =
        WriteWithLibpng(16, 16, 2, PNG_FILTER_NONE, Pattern(16, 16, 4));
    const std::string idat = "IDAT";
    const auto at = std::search(good.begin(), good.end(), idat.begin(), idat.end()) - good.begin();
    const struct {
        std::size_t offset;  // the byte changed; good.size(): the file cut short instead
        const char* error;
    } cases[] = {
        {8 + 8 + 8, "not an indexed-colour picture of the component's form"},  // bit depth
        {static_cast<std::size_t>(at) + 4, "the image data is not a whole zlib stream"},  // CMF
        {good.size(), "the file ends inside a chunk"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        std::vector<std::uint8_t> png = good;
        if (c.offset < png.size()) {
            png[c.offset] ^= 0x5A;
        } else {
            png.resize(png.size() - 12);  // without IEND
        }
        PalettePixels pixels;
        std::string error;
        EXPECT_FALSE(ReadPalettePixels(png, &pixels, &error));
        EXPECT_EQ(error, c.error);
    }
}

}  // namespace
