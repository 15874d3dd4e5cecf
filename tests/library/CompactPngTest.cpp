// The compressed PNG against the component's stored one: libpng must read both to the same
// header, palette and pixels, and zxing-cpp the same data, over pictures of every bit depth
// the component writes, turned, large and tiny; zlib must inflate the image data of random
// pictures of every bit depth, built here in the component's form, to their scanlines
// exactly. Files of any other form are left as they are.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fuzz/support/StoredPng.h"
#include "library/compact/CompactPng.h"
#include "quillon/quillon.h"
#include "tests/library/TestBarcode.h"
#include "tests/support/BarcodeDecoder.h"
#include "tests/support/NamedCases.h"
#include "tests/support/PngReader.h"

namespace {

DecodedPng Read(const std::string& png) {
    return ReadPng(reinterpret_cast<const std::uint8_t*>(png.data()), png.size());
}

// Signature, IHDR and PLTE: what the compressed file keeps of the stored one.
std::string HeaderAndPalette(const std::string& png) {
    return png.substr(0, 33 + 12 + stored_png::BigEndian(png, 33));
}

struct PictureCase {
    const char* name;
    TestSettings settings;
    int bit_depth;  // the component's, from the colours it draws
};
NAMED_CASES(CompressedPicture, PictureCase);

TEST_P(CompressedPicture, ReadsAsTheStoredOne) {
    const PictureCase& c = GetParam();
    Barcode stored(c.settings), compressed(c.settings);
    ASSERT_EQ(quillon_set_compression(compressed.b, 1), QUILLON_OK);
    const std::string stored_file = stored.Png(), compressed_file = compressed.Png();
    const DecodedPng before = Read(stored_file), after = Read(compressed_file);
    ASSERT_TRUE(before.ok) << before.error;
    ASSERT_TRUE(after.ok) << after.error;
    EXPECT_EQ(after.bit_depth, c.bit_depth);
    EXPECT_EQ(HeaderAndPalette(compressed_file), HeaderAndPalette(stored_file));
    EXPECT_TRUE(after.rgb == before.rgb) << "the pixels differ";
    EXPECT_EQ(DecodePdf417(after, DecodeEffort::Search),
              DecodePdf417(before, DecodeEffort::Search));
    EXPECT_LT(compressed_file.size(), stored_file.size());
}

// Bit depth 2 is a border around bars of a colour the capture keeps apart from black and
// white; a picture of one colour has bars of the back's colour.
INSTANTIATE_NAMED_CASES(
    Library, CompressedPicture, PictureCase{"Default", {}, 1},
    PictureCase{"Text", {{"Data", "Compressed PNG of the same pixels"}}, 1},
    PictureCase{"BorderAroundColouredBars", {{"BarColor", "#000080"}, {"BorderStyle", "2"}}, 2},
    PictureCase{"DashedBorder", {{"BorderStyle", "1"}, {"Data", "dashes"}}, 1},
    PictureCase{"Colours", {{"BackColor", "#C0C0C0"}, {"BarColor", "#800000"}}, 1},
    PictureCase{"Orientation1", {{"Orientation", "1"}, {"Data", "turned a quarter"}}, 1},
    PictureCase{"Orientation2", {{"Orientation", "2"}, {"Data", "upside down"}}, 1},
    PictureCase{"Orientation3", {{"Orientation", "3"}, {"Data", "turned back"}}, 1},
    PictureCase{"OneColour", {{"BarColor", "#FFFFFF"}}, 1},
    PictureCase{"OnePixel", {{"Width", "1"}, {"Height", "1"}}, 1},
    PictureCase{"TinyAndClipped", {{"Width", "7"}, {"Height", "3"}}, 1},
    // 19-pixel modules: some 300 KB of scanlines, in several stored blocks of 64 KB.
    PictureCase{"Large", {{"NarrowBarWidth", "0.5"}, {"Data", "large"}}, 1},
    PictureCase{"LargeTurnedWithBorder",
                {{"NarrowBarWidth", "0.3"},
                 {"Orientation", "3"},
                 {"BorderStyle", "2"},
                 {"BarColor", "#008000"}},
                2});

// Random pictures of the kinds of rows a barcode has (repeats of the row above, runs of one
// byte, rows much like the one above) and of others (noise), of every bit depth.
TEST(CompactPng, RandomPicturesInflateToTheirScanlines) {
    std::mt19937 random(27);
    for (int trial = 0; trial < 300; ++trial) {
        const int depth = 1 << (random() % 4);
        const int width = trial == 0 ? 32767 : 1 + static_cast<int>(random() % 700);
        const int height = trial == 0 ? 40 : 1 + static_cast<int>(random() % 120);
        const std::size_t row_bytes = 1 + (static_cast<std::size_t>(width) * depth + 7) / 8;
        std::string scanlines, row(row_bytes, '\0');
        for (int y = 0; y < height; ++y) {
            switch (random() % 4) {
                case 0:  // the row above again
                    break;
                case 1:  // runs
                    for (std::size_t i = 1; i < row_bytes;) {
                        const std::size_t run =
                            std::min<std::size_t>(1 + random() % 40, row_bytes - i);
                        row.replace(i, run, run, static_cast<char>(random() % 3 == 0 ? 0xFF : 0));
                        i += run;
                    }
                    break;
                case 2:  // a few bytes changed
                    for (int n = 0; n < 3; ++n)
                        row[1 + random() % (row_bytes - 1)] = char(random());
                    break;
                default:  // noise
                    for (std::size_t i = 1; i < row_bytes; ++i)
                        row[i] = static_cast<char>(random());
            }
            scanlines += row;
        }
        const std::string stored = stored_png::Make(width, height, depth, scanlines);
        std::string compact = stored;
        CompactPng(&compact);
        ASSERT_TRUE(compact.size() <= stored.size()) << "trial " << trial;
        if (compact == stored) continue;  // nothing smaller
        ASSERT_TRUE(stored_png::Inflated(compact, scanlines.size()) == scanlines)
            << "trial " << trial << ": " << width << " x " << height << " at " << depth
            << " bits: " << stored_png::Inflated(compact, scanlines.size()).substr(0, 20);
        const DecodedPng before = Read(stored), after = Read(compact);
        ASSERT_TRUE(after.ok) << "trial " << trial << ": " << after.error;
        ASSERT_TRUE(after.rgb == before.rgb) << "trial " << trial;
    }
}

// Anything but the component's own form is left as it is, the compressed file included.
TEST(CompactPng, LeavesOtherFilesAsTheyAre) {
    const std::string stored = stored_png::Make(20, 3, 1, std::string(3 * 4, '\0'));
    std::string compact = stored;
    CompactPng(&compact);
    ASSERT_NE(compact, stored);
    std::string filtered = stored;
    filtered[33 + 12 + 6 + 8 + 2 + 5] = 1;  // the first row's filter byte: Sub
    const struct {
        const char* name;
        std::string file;
    } cases[] = {
        {"empty", ""},
        {"the compressed file", compact},
        {"cut short", stored.substr(0, stored.size() - 1)},
        {"a byte more", stored + '\0'},
        {"a row filtered", filtered},
        {"interlaced", stored.substr(0, 28) + '\1' + stored.substr(29)},
        {"another zlib header", stored.substr(0, 60) + '\x9C' + stored.substr(61)},
        {"no PNG", "GIF89a"},
    };
    for (const auto& c : cases) {
        std::string file = c.file;
        CompactPng(&file);
        EXPECT_EQ(file, c.file) << c.name;
    }
}

// quillon_set_compression: 0 and 1, nothing else; Macro sets are compressed too.
TEST(CompactPng, TheLibrarysOptionReachesEveryPicture) {
    Barcode barcode;
    for (const int level : {-1, 2, 9}) {
        EXPECT_EQ(quillon_set_compression(barcode.b, level), QUILLON_INVALID_ARGUMENT);
        EXPECT_NE(std::string(quillon_message(barcode.b)).find("compression"), std::string::npos);
    }
    std::size_t size = 0;
    ASSERT_EQ(quillon_png_into(barcode.b, nullptr, 0, &size), QUILLON_BUFFER_TOO_SMALL);
    ASSERT_EQ(quillon_set_compression(barcode.b, 1), QUILLON_OK);
    const std::string compressed = barcode.Png();
    EXPECT_LT(compressed.size(), size) << "the picture kept for png_into is not served";
    ASSERT_EQ(quillon_set_compression(barcode.b, 0), QUILLON_OK);
    EXPECT_EQ(barcode.Png().size(), size);

    const std::string data(3000, 'x');
    quillon_status status = QUILLON_OK;
    const std::vector<std::string> stored = barcode.Set(data, QUILLON_DATA_BYTES, 3, &status);
    ASSERT_EQ(status, QUILLON_OK);
    ASSERT_EQ(quillon_set_compression(barcode.b, 1), QUILLON_OK);
    const std::vector<std::string> set = barcode.Set(data, QUILLON_DATA_BYTES, 3, &status);
    ASSERT_EQ(set.size(), stored.size());
    for (std::size_t i = 0; i < set.size(); ++i) {
        EXPECT_LT(set[i].size(), stored[i].size());
        EXPECT_TRUE(Read(set[i]).rgb == Read(stored[i]).rgb) << "symbol " << i;
    }
}

}  // namespace
