#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "component/ComponentError.h"
#include "tests/support/BarcodeDecoder.h"
#include "tests/support/DrawingSurface.h"
#include "tests/support/PngReader.h"
#include "tests/support/RequestHelpers.h"
#include "tests/support/TestQuillon.h"

namespace {

std::uint32_t RgbOf(COLORREF c) {
    return (std::uint32_t{GetRValue(c)} << 16) | (std::uint32_t{GetGValue(c)} << 8) | GetBValue(c);
}

struct Picture {
    HRESULT hr = E_FAIL;
    VARTYPE vt = VT_EMPTY;
    std::vector<std::uint8_t> file;
    DecodedPng png;
};

Picture RequestPicture(CQuillon& q) {
    Picture p;
    VARIANT v;
    VariantInit(&v);
    p.hr = q.get_PNGImage(&v);
    p.vt = v.vt;
    p.file = BytesOf(v);
    if (v.vt == (VT_ARRAY | VT_UI1)) {
        LONG lower = -1;
        SafeArrayGetLBound(v.parray, 1, &lower);
        EXPECT_EQ(lower, 0);
    }
    VariantClear(&v);
    if (!p.file.empty()) p.png = ReadPng(p.file.data(), p.file.size());
    return p;
}

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& v, std::size_t at, std::size_t n) {
    return std::vector<std::uint8_t>(v.begin() + at, v.begin() + at + n);
}

TEST(PNGImage, DefaultsGiveThe7886ByteFile) {
    auto q = std::make_unique<TestQuillon>();
    const Picture p = RequestPicture(*q);
    ASSERT_EQ(p.hr, S_OK);
    EXPECT_EQ(p.vt, VT_ARRAY | VT_UI1);
    ASSERT_EQ(p.file.size(), 7886u);
    EXPECT_EQ(Slice(p.file, 16, 13),
              (std::vector<std::uint8_t>{0x00, 0x00, 0x01, 0x2C, 0x00, 0x00, 0x00, 0xC8, 0x01, 0x03,
                                         0x00, 0x00, 0x00}));
    EXPECT_EQ(Slice(p.file, 29, 4), (std::vector<std::uint8_t>{0x68, 0x11, 0x4E, 0x16}));
    // White is the top-left pixel, so palette entry 0.
    EXPECT_EQ(Slice(p.file, 41, 6), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0, 0, 0}));
    EXPECT_EQ(Slice(p.file, 47, 4), (std::vector<std::uint8_t>{0x55, 0xC2, 0xD3, 0x7E}));
    EXPECT_EQ(Slice(p.file, 61, 5), (std::vector<std::uint8_t>{0x01, 0x78, 0x1E, 0x87, 0xE1}));
    EXPECT_EQ(q->ZlibLength, 7811);
    EXPECT_EQ(q->BitDepth, 1);
    EXPECT_EQ(q->PaletteEntries, 2);
    ASSERT_TRUE(p.png.ok) << p.png.error;
    EXPECT_EQ(p.png.width, 300);
    EXPECT_EQ(p.png.height, 200);
    const auto decoded = DecodePdf417(p.png);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, (std::vector<std::uint8_t>{'1', '2'}));
    // Nothing of the request is left behind.
    EXPECT_EQ(q->DrawDC, nullptr);
    EXPECT_EQ(q->OutputArray, nullptr);
    EXPECT_EQ(q->CaptureBlock, nullptr);
    EXPECT_EQ(q->ScanlineBuffer, nullptr);
}

struct Settings {
    int width = 300, height = 200, orientation = 0, border = 0;
    LONG back = 0xFFFFFF, bar = 0;
    double narrow_bar_width = 0.07;
    bool truncate = false;
};

void Apply(CQuillon& q, const Settings& s) {
    q.put_Width(static_cast<SHORT>(s.width));
    q.put_Height(static_cast<SHORT>(s.height));
    q.put_Orientation(static_cast<SHORT>(s.orientation));
    q.put_BorderStyle(static_cast<SHORT>(s.border));
    q.put_BackColor(s.back);
    q.put_BarColor(s.bar);
    q.put_NarrowBarWidth(s.narrow_bar_width);
    q.put_TruncateSymbol(s.truncate ? VARIANT_TRUE : VARIANT_FALSE);
}

class PixelsAsDrawn : public testing::TestWithParam<Settings> {};

// The file shows exactly the drawn picture, reduced to the colours the read-back keeps.
TEST_P(PixelsAsDrawn, EveryPixelOfTheFileIsTheDrawnPixel) {
    const Settings& s = GetParam();
    auto q = std::make_unique<TestQuillon>();
    Apply(*q, s);
    const Picture p = RequestPicture(*q);
    ASSERT_EQ(p.hr, S_OK);
    ASSERT_TRUE(p.png.ok) << p.png.error;

    auto reference = std::make_unique<TestQuillon>();
    Apply(*reference, s);
    DrawingSurface surface(*reference);
    ASSERT_TRUE(reference->RenderSymbol());
    const int bits = (s.back == 0xFFFFFF && s.bar == 0) ? 1 : 4;
    ASSERT_EQ(p.png.width, s.width);
    ASSERT_EQ(p.png.height, s.height);
    int mismatches = 0;
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
            const std::uint32_t expected = CapturedColour(RgbOf(surface.At(x, y)), bits);
            mismatches += p.png.Pixel(x, y) != expected ? 1 : 0;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

Settings Make(int width, int height, int orientation, int border, LONG back, LONG bar,
              double nbw = 0.07, bool truncate = false) {
    Settings s;
    s.width = width;
    s.height = height;
    s.orientation = orientation;
    s.border = border;
    s.back = back;
    s.bar = bar;
    s.narrow_bar_width = nbw;
    s.truncate = truncate;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, PixelsAsDrawn,
    testing::Values(Make(300, 200, 0, 0, 0xFFFFFF, 0), Make(401, 150, 2, 1, 0xFFFFFF, 0),
                    Make(100, 401, 1, 2, 0xFFFFFF, 0x0000FF),  // red bars (0x00BBGGRR)
                    Make(120, 500, 3, 1, 0x00FFFF, 0x800000, 0.05),
                    Make(33, 7, 0, 0, 0, 0xFFFFFF),  // inverted: symbol larger than picture
                    Make(250, 60, 0, 2, 0xC8C8C8, 0x101010, 0.03, true),
                    Make(1, 1, 0, 0, 0xFFFFFF, 0), Make(9, 9, 2, 1, 0x123456, 0x654321)));

struct PaletteCase {
    Settings settings;
    double y2x;
    std::vector<std::uint32_t> plte;  // the PLTE entries, red-green-blue
};

class PaletteOrder : public testing::TestWithParam<PaletteCase> {};

TEST_P(PaletteOrder, EntryZeroIsTheTopLeftPixel) {
    const PaletteCase& c = GetParam();
    auto q = std::make_unique<TestQuillon>();
    Apply(*q, c.settings);
    q->put_Y2XRatio(static_cast<FLOAT>(c.y2x));
    const Picture p = RequestPicture(*q);
    ASSERT_EQ(p.hr, S_OK);
    ASSERT_TRUE(p.png.ok);
    std::vector<std::uint32_t> plte;
    for (std::size_t i = 0; i + 2 < p.png.palette.size(); i += 3) {
        plte.push_back((std::uint32_t{p.png.palette[i]} << 16) |
                       (std::uint32_t{p.png.palette[i + 1]} << 8) | p.png.palette[i + 2]);
    }
    EXPECT_EQ(plte, c.plte);
    EXPECT_EQ(p.png.bit_depth, c.plte.size() == 2 ? 1 : 2);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PaletteOrder,
    testing::Values(
        // No border, symbol inside: the background first.
        PaletteCase{Make(300, 200, 0, 0, 0xFFFFFF, 0), 3.0, {0xFFFFFF, 0x000000}},
        // A solid border makes the top-left pixel black.
        PaletteCase{Make(400, 200, 0, 2, 0xFFFFFF, 0), 3.0, {0x000000, 0xFFFFFF}},
        // Dashed: 304 div 4 = 76 is even, so the first vertical dash covers the top-left pixel;
        // at 300 (75 slots) it does not.
        PaletteCase{Make(304, 200, 0, 1, 0xFFFFFF, 0), 3.0, {0x000000, 0xFFFFFF}},
        PaletteCase{Make(300, 200, 0, 1, 0xFFFFFF, 0), 3.0, {0xFFFFFF, 0x000000}},
        // A symbol as large as the picture or larger starts with a bar at the top-left.
        PaletteCase{Make(100, 20, 0, 0, 0xFFFFFF, 0xFF0000), 3.0, {0x0000FF, 0xFFFFFF}},
        // One colour (no bar painted with a row height of 0): that colour, then white.
        PaletteCase{Make(300, 200, 0, 0, 0x808080, 0), 0.1, {0x808080, 0xFFFFFF}},
        // Black border, white back, red bars: three colours, bit depth 2, white filler.
        PaletteCase{Make(400, 200, 0, 2, 0xFFFFFF, 0x0000FF),
                    3.0,
                    {0x000000, 0xFFFFFF, 0xFF0000, 0xFFFFFF}},
        // The inverted pair is captured at 4 bits but still has two colours.
        PaletteCase{Make(400, 200, 0, 0, 0, 0xFFFFFF), 3.0, {0x000000, 0xFFFFFF}}));

TEST(PNGImage, TextModeFallsBackToMixedForBytesItCannotHold) {
    auto q = std::make_unique<TestQuillon>();
    ASSERT_EQ(PutData(*q, u"AB\u0001C"), S_OK);
    q->put_Mode(1);
    q->put_Width(600);
    const Picture p = RequestPicture(*q);
    ASSERT_EQ(p.hr, S_OK);
    SHORT mode = -1;
    q->get_Mode(&mode);
    EXPECT_EQ(mode, 2);
    const auto decoded = DecodePdf417(p.png);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, (std::vector<std::uint8_t>{'A', 'B', 0x01, 'C'}));
}

TEST(PNGImage, TildeEscapesAreExpandedForTheSymbolOnly) {
    auto q = std::make_unique<TestQuillon>();
    ASSERT_EQ(PutData(*q, u"~d065"), S_OK);
    q->put_HandleTilde(VARIANT_TRUE);
    q->put_Width(400);
    const Picture p = RequestPicture(*q);
    ASSERT_EQ(p.hr, S_OK);
    const auto decoded = DecodePdf417(p.png);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, (std::vector<std::uint8_t>{'A'}));
    EXPECT_STREQ(reinterpret_cast<const char*>(q->DataText), "~d065");
}

TEST(PNGImage, RepeatedRequestsGiveTheSameFile) {
    auto q = std::make_unique<TestQuillon>();
    q->put_BorderStyle(1);
    const Picture first = RequestPicture(*q);
    const Picture second = RequestPicture(*q);
    ASSERT_EQ(first.hr, S_OK);
    EXPECT_EQ(first.file, second.file);
}

TEST(PNGImage, NullOutPointer) {
    auto q = std::make_unique<TestQuillon>();
    EXPECT_EQ(q->get_PNGImage(nullptr), E_POINTER);
}

std::u16string RepeatedEscapes(int count) {
    std::u16string text;
    for (int i = 0; i < count; ++i) text += u"~d" + std::u16string(1, u'1') + u"2" + u"3";
    return text;
}

// Data no symbol holds: the request fails, says why with the figures, leaves the caller's
// VARIANT alone and the settings as the encoder left them.
TEST(PNGImage, DataThatDoesNotFitFailsWithTheReason) {
    auto q = std::make_unique<TestQuillon>();
    // 999 bytes at level 8: 512 error-correction codewords alone leave too little room.
    ASSERT_EQ(PutData(*q, RepeatedEscapes(999)), S_OK);
    q->put_HandleTilde(VARIANT_TRUE);
    q->put_ErrorCorrectionLevel(8);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = 1234;
    EXPECT_EQ(q->get_PNGImage(&v), QUILLON_E_DATA_DOES_NOT_FIT);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 1234);
    const std::string description = TakeErrorDescription();
    EXPECT_NE(description.find("does not fit"), std::string::npos) << description;
    EXPECT_NE(description.find(std::to_string(q->CodewordCount)), std::string::npos) << description;
    EXPECT_NE(q->LastFit, SymbolFit::Fits);
    EXPECT_EQ(q->DrawDC, nullptr);
    // The object still works for data that fits.
    ASSERT_EQ(PutData(*q, u"ok"), S_OK);
    const Picture p = RequestPicture(*q);
    EXPECT_EQ(p.hr, S_OK);
}

TEST(PNGImage, TooManyRowsLeavesColumnsAt31) {
    auto q = std::make_unique<TestQuillon>();
    // 4000 bytes in byte compaction need about 3334 codewords: more than 90 rows of 30.
    std::u16string text(4000, u'x');
    ASSERT_EQ(PutData(*q, text), S_OK);
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(q->get_PNGImage(&v), QUILLON_E_DATA_DOES_NOT_FIT);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(q->Columns, 31);
    EXPECT_EQ(q->LastFit, SymbolFit::TooManyRows);
    const std::string description = TakeErrorDescription();
    EXPECT_NE(description.find("90 rows"), std::string::npos) << description;
    EXPECT_NE(description.find(std::to_string(q->CodewordCount)), std::string::npos);
}

TEST(PNGImage, TooManyCodewordsNamesTheShape) {
    auto q = std::make_unique<TestQuillon>();
    // 1188 bytes: 990 data codewords, 1000 in all at level 2; 12 columns × 84 rows = 1008.
    ASSERT_EQ(PutData(*q, std::u16string(1188, u'x')), S_OK);
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(q->get_PNGImage(&v), QUILLON_E_DATA_DOES_NOT_FIT);
    EXPECT_EQ(q->LastFit, SymbolFit::TooManyCodewords);
    EXPECT_EQ(q->Columns, 12);
    EXPECT_EQ(q->ActualRows, 84);
    const std::string description = TakeErrorDescription();
    EXPECT_NE(description.find("1008"), std::string::npos) << description;
    EXPECT_NE(description.find("928"), std::string::npos) << description;
}

// Every allocation the request makes, made to fail in turn: the request reports
// E_OUTOFMEMORY, releases all it had created (the sanitizer build checks for leaks), leaves
// the caller's VARIANT alone, and the next request works.
class AllocationFailure : public testing::TestWithParam<Settings> {};

TEST_P(AllocationFailure, AtEveryAllocationOfTheRequest) {
    // Drawn directly: the screen, the two working rows, the row buffer, the array and its
    // data. On a device: the screen, context, bitmap, two brushes, screen again, capture screen
    // and block, row buffer, the array and its data, and the bitmap's further scanlines in a
    // picture of many bands. Every one of them can fail.
    for (const auto& [on_device, least_failures] : {std::pair{FALSE, 6}, std::pair{TRUE, 11}}) {
        auto q = std::make_unique<TestQuillon>();
        Apply(*q, GetParam());
        q->DrawOnDevice = on_device;
        int failures = 0;
        for (int n = 1; n < 200; ++n) {
            VARIANT v;
            VariantInit(&v);
            PlatformFailNthAllocation(n);
            const HRESULT hr = q->get_PNGImage(&v);
            PlatformFailNthAllocation(0);
            if (hr == S_OK) {
                VariantClear(&v);
                break;
            }
            ++failures;
            EXPECT_EQ(hr, E_OUTOFMEMORY) << "allocation " << n;
            EXPECT_EQ(v.vt, VT_EMPTY);
            EXPECT_FALSE(TakeErrorDescription().empty()) << "allocation " << n;
            EXPECT_EQ(q->DrawDC, nullptr);
            EXPECT_EQ(q->CaptureBlock, nullptr);
            EXPECT_EQ(q->DrawnPicture, nullptr);
            EXPECT_EQ(q->ScanlineBuffer, nullptr);
            EXPECT_EQ(q->OutputArray, nullptr);
        }
        EXPECT_GE(failures, least_failures) << (on_device ? "on a device" : "drawn directly");
        const Picture after = RequestPicture(*q);
        EXPECT_EQ(after.hr, S_OK);
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, AllocationFailure,
                         testing::Values(Make(300, 200, 0, 0, 0xFFFFFF, 0),
                                         Make(100, 401, 1, 2, 0xFFFFFF, 0x0000FF)));

TEST(PNGImage, HugeModulesStillGiveAPicture) {
    auto q = std::make_unique<TestQuillon>();
    q->put_NarrowBarWidth(10000.0);  // x = 377952.8: 45.7 million pixels a row
    q->put_Y2XRatio(5.0f);
    const Picture p = RequestPicture(*q);
    ASSERT_EQ(p.hr, S_OK);
    EXPECT_EQ(q->ModuleWidth, 377953);
    ASSERT_TRUE(p.png.ok);
    EXPECT_EQ(p.png.palette, (std::vector<std::uint8_t>{0, 0, 0, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(p.png.Pixel(299, 199), 0x000000u);  // the start bar covers everything
}

// Rows are as deep as the module width makes them, however wide: 96 × 2000 / 2.54 = 75590.6
// gives 75591-pixel modules and rows of R(0.0005 × 75591) = R(37.8) = 38 pixels, so the four
// rows of "12" take 152 of the 200 pixels, from row 24. (Modules used to be held at 32767
// pixels, which gave rows of 16.)
TEST(PNGImage, WideModulesDrawRowsAsDeepAsTheyMake) {
    auto q = std::make_unique<TestQuillon>();
    q->put_NarrowBarWidth(2000.0);
    q->put_Y2XRatio(0.0005f);
    const Picture p = RequestPicture(*q);
    ASSERT_EQ(p.hr, S_OK);
    ASSERT_TRUE(p.png.ok);
    for (int y = 0; y < 200; ++y) {
        const bool in_symbol = y >= 24 && y < 24 + 152;
        EXPECT_EQ(p.png.Pixel(150, y), in_symbol ? 0x000000u : 0xFFFFFFu) << "row " << y;
    }
}

TEST(PNGImage, ASymbolBeyond32BitCoordinatesIsRefusedWithItsSize) {
    auto q = std::make_unique<TestQuillon>();
    q->put_NarrowBarWidth(1.0e6);  // x = 37795275.6: 4573228396 pixels a row
    const Picture p = RequestPicture(*q);
    EXPECT_EQ(p.hr, E_INVALIDARG);
    EXPECT_EQ(TakeErrorDescription(),
              "The symbol would be 4573228396 x 453543312 pixels, more than the 2147483647 a "
              "side that can be drawn. Lower the NarrowBarWidth.");
}

}  // namespace
