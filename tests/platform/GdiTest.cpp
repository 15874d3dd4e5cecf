#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "platform/Runtime.h"
#include "tests/support/NamedCases.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// A memory drawing context holding a fresh width × height bitmap; everything is released at
// the end of the test.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height) {
        screen_ = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen_);
        bitmap_ = CreateCompatibleBitmap(screen_, width, height);
        old_bitmap_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        SelectObject(dc_, old_bitmap_);
        DeleteDC(dc_);
        DeleteObject(bitmap_);
        ReleaseDC(nullptr, screen_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    HDC screen() const { return screen_; }
    HBITMAP bitmap() const { return bitmap_; }
    int width() const { return width_; }
    int height() const { return height_; }

    void Fill(LONG left, LONG top, LONG right, LONG bottom, COLORREF color) {
        HBRUSH brush = CreateSolidBrush(color);
        RECT rect{left, top, right, bottom};
        FillRect(dc_, &rect, brush);
        DeleteObject(brush);
    }
    void Line(int x0, int y0, int x1, int y1) {
        MoveToEx(dc_, x0, y0, nullptr);
        LineTo(dc_, x1, y1);
    }
    // Which pixels hold `color`, as rows of '#' and '.'.
    std::vector<std::string> Mask(COLORREF color) const {
        std::vector<std::string> rows;
        for (int y = 0; y < height_; ++y) {
            std::string row;
            for (int x = 0; x < width_; ++x) row += GetPixel(dc_, x, y) == color ? '#' : '.';
            rows.push_back(row);
        }
        return rows;
    }

private:
    int width_;
    int height_;
    HDC screen_ = nullptr;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_bitmap_ = nullptr;
};

// A BITMAPINFO with room for a 16-entry colour table.
struct DibInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colors[16];
};

DibInfo DibHeader(int width, int height, int bits) {
    DibInfo info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(bits);
    info.header.biCompression = BI_RGB;
    return info;
}

int Capture(const Canvas& canvas, int bits, std::vector<BYTE>& out, DibInfo& info,
            int height_sign = 1, UINT start = 0, UINT lines = 0) {
    info = DibHeader(canvas.width(), height_sign * canvas.height(), bits);
    const std::size_t stride = ((canvas.width() * bits + 31) & ~31) / 8;
    out.assign(stride * canvas.height(), 0xAA);
    return GetDIBits(canvas.screen(), canvas.bitmap(), start,
                     lines == 0 ? static_cast<UINT>(canvas.height()) : lines, out.data(),
                     reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
}

TEST(Screen, ReportsNinetySixPixelsPerInchUnlessATestSaysOtherwise) {
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
    EXPECT_EQ(GetDeviceCaps(screen, 12345), 0);
    PlatformSetScreenResolution(120, 144);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 120);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 144);
    PlatformSetScreenResolution(0, 0);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96);
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_EQ(GetDeviceCaps(nullptr, LOGPIXELSX), 0);
}

TEST(Screen, ThereAreNoWindows) {
    EXPECT_EQ(GetDC(reinterpret_cast<HWND>(0x1234)), nullptr);
}

TEST(Bitmap, StartsBlackAndRefusesEmptySizes) {
    Canvas canvas(3, 2);
    EXPECT_EQ(canvas.Mask(kBlack), (std::vector<std::string>{"###", "###"}));
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(screen, 0, 5), nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(screen, 5, -1), nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(nullptr, 5, 5), nullptr);
    ReleaseDC(nullptr, screen);
}

// However a new picture is first used, what was not drawn on is black.
TEST(Bitmap, IsBlackWhereverNothingWasDrawnFirst) {
    {
        Canvas canvas(4, 2);
        canvas.Line(1, 1, 3, 1);  // a line first: black on black
        canvas.Fill(0, 0, 1, 1, kWhite);
        EXPECT_EQ(canvas.Mask(kBlack), (std::vector<std::string>{".###", "####"}));
    }
    {
        Canvas canvas(9, 2);
        std::vector<BYTE> bits;
        DibInfo info{};
        ASSERT_EQ(Capture(canvas, 1, bits, info), 2);  // read back before anything is drawn
        EXPECT_EQ(bits, std::vector<BYTE>(8, 0));
    }
    {
        Canvas canvas(3, 3);
        canvas.Fill(0, 0, 3, 3, RGB(9, 9, 9));  // covers everything
        canvas.Fill(1, 1, 2, 2, kWhite);
        EXPECT_EQ(canvas.Mask(RGB(9, 9, 9)), (std::vector<std::string>{"###", "#.#", "###"}));
    }
}

TEST(GetDIBits, RepeatedRowsAreEachPacked) {
    // Rows 0 and 1 alike, row 2 different, row 3 like row 1 again.
    Canvas canvas(16, 4);
    canvas.Fill(0, 0, 16, 4, kWhite);
    canvas.Fill(2, 0, 5, 2, kBlack);
    canvas.Fill(9, 2, 10, 3, kBlack);
    canvas.Fill(2, 3, 5, 4, kBlack);
    std::vector<BYTE> bits;
    DibInfo info{};
    ASSERT_EQ(Capture(canvas, 1, bits, info, -1), 4);
    EXPECT_EQ(bits, (std::vector<BYTE>{0xC7, 0xFF, 0, 0, 0xC7, 0xFF, 0, 0, 0xFF, 0xBF, 0, 0, 0xC7,
                                       0xFF, 0, 0}));
}

TEST(FillRect, CoversLeftAndTopButNotRightAndBottom) {
    Canvas canvas(6, 5);
    canvas.Fill(1, 1, 4, 3, RGB(10, 20, 30));
    EXPECT_EQ(canvas.Mask(RGB(10, 20, 30)),
              (std::vector<std::string>{"......", ".###..", ".###..", "......", "......"}));
}

TEST(FillRect, EmptyOrInvertedRectanglesFillNothing) {
    Canvas canvas(4, 4);
    canvas.Fill(2, 1, 2, 3, kWhite);
    canvas.Fill(3, 1, 1, 3, kWhite);
    canvas.Fill(0, 3, 4, 1, kWhite);
    EXPECT_EQ(canvas.Mask(kWhite), (std::vector<std::string>{"....", "....", "....", "...."}));
}

TEST(FillRect, IsClippedToThePicture) {
    Canvas canvas(4, 3);
    canvas.Fill(-5, -5, 2, 1, kWhite);
    canvas.Fill(3, 2, 100, 100, kWhite);
    EXPECT_EQ(canvas.Mask(kWhite), (std::vector<std::string>{"##..", "....", "...#"}));
    canvas.Fill(INT_MIN, INT_MIN, INT_MAX, INT_MAX, RGB(1, 2, 3));
    EXPECT_EQ(canvas.Mask(RGB(1, 2, 3)), (std::vector<std::string>{"####", "####", "####"}));
    canvas.Fill(INT_MAX - 1, 0, INT_MAX, 3, kWhite);  // far outside: nothing
    EXPECT_EQ(canvas.Mask(kWhite), (std::vector<std::string>{"....", "....", "...."}));
}

TEST(FillRect, IgnoresTheColourByteAboveBlue) {
    Canvas canvas(1, 1);
    canvas.Fill(0, 0, 1, 1, 0x01123456);
    EXPECT_EQ(GetPixel(canvas.dc(), 0, 0), 0x00123456u);
}

TEST(FillRect, NeedsAValidBrush) {
    Canvas canvas(2, 2);
    RECT rect{0, 0, 2, 2};
    EXPECT_EQ(FillRect(canvas.dc(), &rect, nullptr), 0);
    EXPECT_EQ(FillRect(canvas.dc(), nullptr, nullptr), 0);
    EXPECT_EQ(FillRect(canvas.dc(), &rect, reinterpret_cast<HBRUSH>(canvas.dc())), 0);
}

TEST(MappingMode, OnlyTheTextModeExists) {
    Canvas canvas(2, 2);
    EXPECT_EQ(SetMapMode(canvas.dc(), MM_TEXT), MM_TEXT);
    EXPECT_EQ(SetMapMode(canvas.dc(), 8), 0);
    SIZE old_extent{};
    EXPECT_TRUE(SetWindowExtEx(canvas.dc(), 2, 2, &old_extent));
    SIZE extent{};
    EXPECT_TRUE(SetWindowExtEx(canvas.dc(), 7, 9, &extent));
    EXPECT_EQ(extent.cx, 2);
    EXPECT_EQ(extent.cy, 2);
}

TEST(MappingMode, TheWindowOriginIsDrawnAtTheTopLeftPixel) {
    Canvas canvas(4, 4);
    POINT old{-1, -1};
    ASSERT_TRUE(SetWindowOrgEx(canvas.dc(), 10, 20, &old));
    EXPECT_EQ(old.x, 0);
    EXPECT_EQ(old.y, 0);
    canvas.Fill(10, 20, 14, 24, kWhite);
    canvas.Fill(10, 20, 11, 22, RGB(255, 0, 0));
    canvas.Line(13, 23, 11, 23);
    EXPECT_EQ(GetPixel(canvas.dc(), 10, 20), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(canvas.dc(), 9, 20), CLR_INVALID);
    SetWindowOrgEx(canvas.dc(), 0, 0, nullptr);
    EXPECT_EQ(canvas.Mask(RGB(255, 0, 0)),
              (std::vector<std::string>{"#...", "#...", "....", "...."}));
    EXPECT_EQ(canvas.Mask(kBlack), (std::vector<std::string>{"....", "....", "....", "..##"}));
}

struct LineCase {
    int x0, y0, x1, y1;
    std::vector<std::string> expected;
};

class Lines : public testing::TestWithParam<LineCase> {};

// Drawn on white, so the black pen shows: a line covers its start point but not its end.
TEST_P(Lines, CoverTheStartButNotTheEndPoint) {
    const LineCase& c = GetParam();
    Canvas canvas(5, 4);
    canvas.Fill(0, 0, 5, 4, kWhite);
    canvas.Line(c.x0, c.y0, c.x1, c.y1);
    EXPECT_EQ(canvas.Mask(kBlack), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pen, Lines,
    testing::Values(LineCase{0, 1, 4, 1, {".....", "####.", ".....", "....."}},
                    LineCase{4, 1, 0, 1, {".....", ".####", ".....", "....."}},
                    LineCase{2, 0, 2, 3, {"..#..", "..#..", "..#..", "....."}},
                    LineCase{2, 3, 2, 0, {".....", "..#..", "..#..", "..#.."}},
                    LineCase{0, 0, 3, 3, {"#....", ".#...", "..#..", "....."}},
                    LineCase{4, 3, 0, 1, {".....", ".....", ".##..", "...##"}},
                    LineCase{-100, 2, 100, 2, {".....", ".....", "#####", "....."}},
                    LineCase{3, -50, 3, 50, {"...#.", "...#.", "...#.", "...#."}},
                    LineCase{1, 1, 1, 1, {".....", ".....", ".....", "....."}},
                    LineCase{INT_MIN, 0, INT_MAX, 0, {"#####", ".....", ".....", "....."}}));

TEST(Lines, UseTheBlackPenWhateverBrushIsSelectedAndMoveOn) {
    Canvas canvas(4, 2);
    canvas.Fill(0, 0, 4, 2, kWhite);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HGDIOBJ old_brush = SelectObject(canvas.dc(), red);
    POINT previous{-1, -1};
    MoveToEx(canvas.dc(), 0, 0, &previous);
    EXPECT_EQ(previous.x, 0);
    LineTo(canvas.dc(), 2, 0);
    LineTo(canvas.dc(), 2, 2);  // continues from (2, 0)
    MoveToEx(canvas.dc(), 3, 1, &previous);
    EXPECT_EQ(previous.x, 2);
    EXPECT_EQ(previous.y, 2);
    EXPECT_EQ(canvas.Mask(kBlack), (std::vector<std::string>{"###.", "..#."}));
    SelectObject(canvas.dc(), old_brush);
    EXPECT_TRUE(DeleteObject(red));
}

TEST(Objects, ASelectedBitmapOrBrushCannotBeDeleted) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 2, 2);
    HBRUSH brush = CreateSolidBrush(kWhite);
    HGDIOBJ stock_bitmap = SelectObject(dc, bitmap);
    ASSERT_NE(stock_bitmap, nullptr);
    HGDIOBJ stock_brush = SelectObject(dc, brush);
    ASSERT_NE(stock_brush, nullptr);
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(SelectObject(dc, stock_brush), reinterpret_cast<HGDIOBJ>(brush));
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(stock_brush));  // stock objects: "deleted", still usable
    // A bitmap lives in one context at a time.
    HDC other = CreateCompatibleDC(screen);
    EXPECT_EQ(SelectObject(other, bitmap), nullptr);
    EXPECT_EQ(SelectObject(screen, bitmap), nullptr);  // the screen holds no memory bitmap
    EXPECT_TRUE(DeleteDC(other));
    // Deleting the context lets go of its bitmap, which can then be deleted.
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteDC(screen));  // the screen context is released, not deleted
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_FALSE(DeleteObject(nullptr));
}

TEST(Objects, ADrawingContextWithoutABitmapDrawsNothing) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    HBRUSH brush = CreateSolidBrush(kWhite);
    RECT rect{0, 0, 10, 10};
    EXPECT_EQ(FillRect(dc, &rect, brush), 1);
    EXPECT_TRUE(MoveToEx(dc, 0, 0, nullptr));
    EXPECT_TRUE(LineTo(dc, 5, 5));
    EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
    DeleteObject(brush);
    DeleteDC(dc);
}

TEST(Objects, EveryObjectComesFromTheTaskAllocator) {
    PlatformFailNthAllocation(1);
    EXPECT_EQ(GetDC(nullptr), nullptr);
    PlatformFailNthAllocation(1);
    EXPECT_EQ(CreateCompatibleDC(nullptr), nullptr);
    PlatformFailNthAllocation(1);
    EXPECT_EQ(CreateSolidBrush(kWhite), nullptr);
    PlatformFailNthAllocation(1);
    EXPECT_EQ(GlobalAlloc(GMEM_FIXED, 16), nullptr);
    HDC screen = GetDC(nullptr);
    PlatformFailNthAllocation(1);
    EXPECT_EQ(CreateCompatibleBitmap(screen, 10, 10), nullptr);
    PlatformFailNthAllocation(0);
    ReleaseDC(nullptr, screen);
}

TEST(GlobalMemory, FixedBlocksOnly) {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, 64);
    ASSERT_NE(block, nullptr);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(block);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(GlobalAlloc(0x0002 /* GMEM_MOVEABLE */, 64), nullptr);
}

// 10 × 3 picture: row 0 white except x 0 and 9, row 1 all black, row 2 alternating.
void DrawTestPattern(Canvas& canvas) {
    canvas.Fill(1, 0, 9, 1, kWhite);
    for (int x = 0; x < 10; x += 2) canvas.Fill(x, 2, x + 1, 3, kWhite);
}

TEST(GetDIBits, OneBitRowsAreBottomUpMostSignificantBitFirstAndPadded) {
    Canvas canvas(10, 3);
    DrawTestPattern(canvas);
    std::vector<BYTE> bits;
    DibInfo info{};
    ASSERT_EQ(Capture(canvas, 1, bits, info), 3);
    // Stride: 10 bits round up to one 32-bit word.
    ASSERT_EQ(bits.size(), 12u);
    const std::vector<BYTE> expected = {
        0xAA, 0x80, 0x00, 0x00,  // row 2 (bottom): 1010101010
        0x00, 0x00, 0x00, 0x00,  // row 1: all black
        0x7F, 0x80, 0x00, 0x00,  // row 0 (top): 0111111110
    };
    EXPECT_EQ(bits, expected);
    EXPECT_EQ(info.colors[0].rgbRed, 0);
    EXPECT_EQ(info.colors[0].rgbGreen, 0);
    EXPECT_EQ(info.colors[0].rgbBlue, 0);
    EXPECT_EQ(info.colors[1].rgbRed, 255);
    EXPECT_EQ(info.colors[1].rgbGreen, 255);
    EXPECT_EQ(info.colors[1].rgbBlue, 255);
}

TEST(GetDIBits, TopDownRequestsAndPartialRanges) {
    Canvas canvas(10, 3);
    DrawTestPattern(canvas);
    std::vector<BYTE> bits;
    DibInfo info{};
    ASSERT_EQ(Capture(canvas, 1, bits, info, -1), 3);
    EXPECT_EQ(bits[0], 0x7F);  // top row first
    EXPECT_EQ(bits[8], 0xAA);
    // Scan lines 1 and 2 of a bottom-up request are picture rows 1 and 0.
    ASSERT_EQ(Capture(canvas, 1, bits, info, 1, 1, 5), 2);
    EXPECT_EQ(bits[0], 0x00);
    EXPECT_EQ(bits[4], 0x7F);
    EXPECT_EQ(bits[8], 0xAA);  // not written
}

TEST(GetDIBits, RefusesRequestsItCannotServe) {
    Canvas canvas(10, 3);
    std::vector<BYTE> bits(64);
    DibInfo info = DibHeader(9, 3, 1);
    auto* bmi = reinterpret_cast<BITMAPINFO*>(&info);
    EXPECT_EQ(GetDIBits(canvas.screen(), canvas.bitmap(), 0, 3, bits.data(), bmi, 0), 0);
    info = DibHeader(10, 3, 8);
    EXPECT_EQ(GetDIBits(canvas.screen(), canvas.bitmap(), 0, 3, bits.data(), bmi, 0), 0);
    info = DibHeader(10, 3, 1);
    EXPECT_EQ(GetDIBits(canvas.screen(), canvas.bitmap(), 3, 1, bits.data(), bmi, 0), 0);
    EXPECT_EQ(GetDIBits(canvas.screen(), canvas.bitmap(), 0, 3, nullptr, bmi, 0), 0);
    EXPECT_EQ(GetDIBits(canvas.screen(), nullptr, 0, 3, bits.data(), bmi, 0), 0);
    EXPECT_EQ(GetDIBits(canvas.screen(), canvas.bitmap(), 0, 3, bits.data(), bmi, 1), 0);
}

TEST(GetDIBits, ThirtyTwoBitsGiveThePixelsExactly) {
    Canvas canvas(2, 1);
    canvas.Fill(1, 0, 2, 1, RGB(0x12, 0x34, 0x56));
    std::vector<BYTE> bits;
    DibInfo info{};
    ASSERT_EQ(Capture(canvas, 32, bits, info), 1);
    EXPECT_EQ(bits, (std::vector<BYTE>{0, 0, 0, 0, 0x56, 0x34, 0x12, 0}));
}

struct ColorCase {
    COLORREF drawn;
    int vga_index;   // nearest entry of the 16-colour table
    int mono_index;  // 0 black, 1 white
};

class ColorMatching : public testing::TestWithParam<ColorCase> {};

// The 16-colour table as the standard defines it, red, green, blue.
constexpr BYTE kVga[16][3] = {
    {0x00, 0x00, 0x00}, {0x80, 0x00, 0x00}, {0x00, 0x80, 0x00}, {0x80, 0x80, 0x00},
    {0x00, 0x00, 0x80}, {0x80, 0x00, 0x80}, {0x00, 0x80, 0x80}, {0x80, 0x80, 0x80},
    {0xC0, 0xC0, 0xC0}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF},
};

// The entry a colour becomes at 1 or 4 bits a pixel, worked out from the table here.
int NearestEntry(COLORREF c, int bits) {
    int best = 0;
    long best_distance = -1;
    for (int e = 0; e < (1 << bits); ++e) {
        const BYTE* v = bits == 1 ? (e == 0 ? kVga[0] : kVga[15]) : kVga[e];
        const long dr = GetRValue(c) - v[0], dg = GetGValue(c) - v[1], db = GetBValue(c) - v[2];
        const long d = dr * dr + dg * dg + db * db;
        if (best_distance < 0 || d < best_distance) {
            best = e;
            best_distance = d;
        }
    }
    return best;
}

TEST_P(ColorMatching, EveryColourBecomesItsNearestEntry) {
    const ColorCase& c = GetParam();
    Canvas canvas(3, 1);  // odd width: the last byte holds one pixel in its high half
    canvas.Fill(0, 0, 3, 1, RGB(0xFF, 0xFF, 0xFF));
    canvas.Fill(1, 0, 3, 1, c.drawn);
    std::vector<BYTE> bits;
    DibInfo info{};
    ASSERT_EQ(Capture(canvas, 4, bits, info), 1);
    EXPECT_EQ(bits[0], 0xF0 | c.vga_index);
    EXPECT_EQ(bits[1], c.vga_index << 4);
    EXPECT_EQ(bits[2], 0);
    EXPECT_EQ(bits[3], 0);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(info.colors[i].rgbRed, kVga[i][0]) << i;
        EXPECT_EQ(info.colors[i].rgbGreen, kVga[i][1]) << i;
        EXPECT_EQ(info.colors[i].rgbBlue, kVga[i][2]) << i;
    }
    ASSERT_EQ(Capture(canvas, 1, bits, info), 1);
    EXPECT_EQ(bits[0], 0x80 | (c.mono_index << 6) | (c.mono_index << 5));
}

INSTANTIATE_TEST_SUITE_P(
    Palette, ColorMatching,
    testing::Values(ColorCase{RGB(0, 0, 0), 0, 0}, ColorCase{RGB(0xFF, 0xFF, 0xFF), 15, 1},
                    ColorCase{RGB(0x80, 0, 0), 1, 0}, ColorCase{RGB(0, 0, 0x80), 4, 0},
                    ColorCase{RGB(0xF0, 0x20, 0x10), 9, 0}, ColorCase{RGB(0x10, 0x20, 0xE0), 12, 0},
                    ColorCase{RGB(0xC8, 0xC8, 0xC0), 8, 1},
                    // Equally near to 000000 and 808080: the lower index wins.
                    ColorCase{RGB(0x40, 0x40, 0x40), 0, 0},
                    // Equally near to 808080 and C0C0C0.
                    ColorCase{RGB(0xA0, 0xA0, 0xA0), 7, 1},
                    // Grey just either side of the middle for black and white.
                    ColorCase{RGB(0x7F, 0x7F, 0x7F), 7, 0}, ColorCase{RGB(0x80, 0x80, 0x80), 7, 1},
                    ColorCase{RGB(0xFF, 0xFF, 0x20), 11, 1}));

TEST(GetDIBits, RunsOfColoursAreMatchedPixelByPixel) {
    // Alternating colours defeat any remembering of the last pixel.
    Canvas canvas(8, 1);
    const COLORREF colors[8] = {RGB(0xFF, 0, 0), RGB(0, 0xFF, 0),       RGB(0, 0, 0xFF),
                                RGB(0xFF, 0, 0), RGB(0xC0, 0xC0, 0xC0), RGB(0xFF, 0, 0),
                                RGB(0, 0, 0),    RGB(0x80, 0x80, 0)};
    for (int x = 0; x < 8; ++x) canvas.Fill(x, 0, x + 1, 1, colors[x]);
    std::vector<BYTE> bits;
    DibInfo info{};
    ASSERT_EQ(Capture(canvas, 4, bits, info), 1);
    EXPECT_EQ(bits, (std::vector<BYTE>{0x9A, 0xC9, 0x89, 0x03}));
}

// Every pixel of a picture with mixed colours in every group of 8, against the nearest
// colour worked out here: runs, alternations and new colours in any position.
TEST(GetDIBits, EveryPixelOfAWidePictureBecomesItsNearestEntry) {
    const COLORREF palette[] = {kWhite,
                                kBlack,
                                RGB(0x80, 0x80, 0x80),
                                RGB(0x7F, 0x7F, 0x7F),
                                RGB(0xF0, 0x20, 0x10),
                                RGB(0x20, 0x30, 0xE0)};
    const int width = 75, height = 6;
    Canvas canvas(width, height);
    std::vector<int> chosen;
    unsigned state = 7;
    for (int i = 0; i < width * height; ++i) {
        state = state * 1103515245u + 12345u;
        // Long runs of one colour, broken now and then.
        const int pick = (state >> 16) % 10 < 7 ? (i / 9) % 2 : static_cast<int>((state >> 20) % 6);
        chosen.push_back(pick);
        canvas.Fill(i % width, i / width, i % width + 1, i / width + 1, palette[pick]);
    }
    for (int bits : {1, 4}) {
        std::vector<BYTE> out;
        DibInfo info{};
        ASSERT_EQ(Capture(canvas, bits, out, info, -1), height);
        const int stride = ((width * bits + 31) & ~31) / 8;
        for (int i = 0; i < width * height; ++i) {
            const int x = i % width, y = i / width;
            const int bit = x * bits;
            const int got = (out[y * stride + bit / 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1);
            ASSERT_EQ(got, NearestEntry(palette[chosen[i]], bits))
                << "bits " << bits << " pixel " << x << "," << y;
        }
    }
}

// A painting inside a band changes only the rows painted: the rows above and below keep what
// they showed, whether that was one colour or bars.
TEST(Bands, PaintingInsideABandLeavesTheRowsAboveAndBelowAsTheyWere) {
    const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
    Canvas canvas(8, 9);
    canvas.Fill(0, 0, 8, 9, kWhite);
    canvas.Fill(2, 0, 5, 9, red);     // one band of bars over every row
    canvas.Fill(0, 3, 1, 5, blue);    // rows 3 and 4 split off the middle
    canvas.Fill(0, 6, 8, 7, kWhite);  // a whole row split off and repainted
    canvas.Fill(6, 4, 7, 8, blue);    // across three bands, ending inside the last
    EXPECT_EQ(canvas.Mask(red),
              (std::vector<std::string>{"..###...", "..###...", "..###...", "..###...", "..###...",
                                        "..###...", "........", "..###...", "..###..."}));
    EXPECT_EQ(canvas.Mask(blue),
              (std::vector<std::string>{"........", "........", "........", "#.......", "#.....#.",
                                        "......#.", "......#.", "......#.", "........"}));
}

TEST(Bands, AReadBackShowsWhatWasPaintedSinceTheLastOne) {
    Canvas canvas(9, 4);
    canvas.Fill(0, 0, 9, 4, kWhite);
    std::vector<BYTE> bits;
    DibInfo info{};
    ASSERT_EQ(Capture(canvas, 1, bits, info, -1), 4);
    EXPECT_EQ(bits, (std::vector<BYTE>{0xFF, 0x80, 0, 0, 0xFF, 0x80, 0, 0, 0xFF, 0x80, 0, 0, 0xFF,
                                       0x80, 0, 0}));
    canvas.Fill(0, 1, 1, 3, kBlack);
    canvas.Line(8, 3, 8, 0);
    ASSERT_EQ(Capture(canvas, 1, bits, info, -1), 4);
    EXPECT_EQ(bits, (std::vector<BYTE>{0xFF, 0x80, 0, 0, 0x7F, 0x00, 0, 0, 0x7F, 0x00, 0, 0, 0xFF,
                                       0x00, 0, 0}));
}

// Random fills and straight lines against a plain array of pixels: every read-back (32 bits
// exactly, 1 and 4 bits by the nearest entry) shows what the array holds. The colours come
// from a few (the stand-in's vector read-back works on pictures of up to 4 colours; the
// black a picture starts with is one), a handful, or are new at every fill, so that the picture
// outgrows the stand-in's table of 256 colours halfway.
struct PaintingSequence {
    const char* name;
    std::vector<COLORREF> colours;  // empty: a new colour at every fill
    int steps;
    int height = 29;  // a tall picture splits into more bands than a new bitmap has lines for
};

NAMED_CASES(PaintingSequences, PaintingSequence);

TEST_P(PaintingSequences, ReadBackAsAPlainPictureWould) {
    const PaintingSequence& sequence = GetParam();
    const int width = 37, height = sequence.height;
    Canvas canvas(width, height);
    std::vector<COLORREF> model(width * height, kBlack);
    const auto paint = [&](int left, int top, int right, int bottom, COLORREF colour) {
        for (int y = std::max(top, 0); y < std::min(bottom, height); ++y) {
            for (int x = std::max(left, 0); x < std::min(right, width); ++x) {
                model[y * width + x] = colour;
            }
        }
    };
    unsigned state = 2024;
    const auto next = [&](int n) {
        state = state * 1103515245u + 12345u;
        return static_cast<int>((state >> 16) % static_cast<unsigned>(n));
    };
    int fresh = 0;
    for (int step = 0; step < sequence.steps; ++step) {
        COLORREF colour;
        if (sequence.colours.empty()) {
            ++fresh;
            colour = RGB(fresh & 0xFF, (fresh * 7) & 0xFF, (fresh >> 8) * 64 + 1);
        } else {
            colour = sequence.colours[next(static_cast<int>(sequence.colours.size()))];
        }
        const int y0 = next(height + 6) - 3, y1 = y0 + next(12);
        const int x0 = next(width + 6) - 3, x1 = x0 + next(width);
        switch (next(5)) {
            case 0:  // whole rows
                canvas.Fill(-1, y0, width + 1, y1, colour);
                paint(0, y0, width, y1, colour);
                break;
            case 1:  // a horizontal line, either way
                canvas.Line(x0, y0, x1, y0);
                paint(x0, y0, x1, y0 + 1, kBlack);
                break;
            case 2:  // a vertical line drawn upward
                canvas.Line(x0, y1, x0, y0);
                paint(x0, y0 + 1, x0 + 1, y1 + 1, kBlack);
                break;
            default:
                canvas.Fill(x0, y0, x1, y1, colour);
                paint(x0, y0, x1, y1, colour);
                break;
        }
        if (step % 25 != 24) continue;
        for (int bits : {1, 4, 32}) {
            std::vector<BYTE> out;
            DibInfo info{};
            ASSERT_EQ(Capture(canvas, bits, out, info, -1), height);
            const int stride = ((width * bits + 31) & ~31) / 8;
            for (int i = 0; i < width * height; ++i) {
                const int x = i % width, y = i / width;
                if (bits == 32) {
                    const BYTE* p = &out[y * stride + 4 * x];
                    ASSERT_EQ(RGB(p[2], p[1], p[0]), model[i]) << step << ": " << x << "," << y;
                    ASSERT_EQ(GetPixel(canvas.dc(), x, y), model[i])
                        << step << ": " << x << "," << y;
                    continue;
                }
                const int bit = x * bits;
                const int got =
                    (out[y * stride + bit / 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1);
                ASSERT_EQ(got, NearestEntry(model[i], bits))
                    << step << ": bits " << bits << " pixel " << x << "," << y;
            }
            // The bits after the last pixel of each row are 0.
            for (int y = 0; y < height; ++y) {
                const int used_bits = width * bits;
                for (int b = used_bits; b < stride * 8; ++b) {
                    ASSERT_EQ((out[y * stride + b / 8] >> (7 - b % 8)) & 1, 0) << y << "," << b;
                }
            }
        }
    }
    if (sequence.colours.empty()) {
        EXPECT_GT(fresh, 256);
    }
}

INSTANTIATE_NAMED_CASES(
    Paintings, PaintingSequences,
    PaintingSequence{"FewColours", {kWhite, kBlack, RGB(255, 0, 0)}, 400},
    // More of the few colours become white than black at 1 bit.
    PaintingSequence{
        "FewColoursMostlyLight", {kWhite, RGB(0xC0, 0xC0, 0xC0), RGB(0xFF, 0xFF, 0x20)}, 400},
    PaintingSequence{"FiveColours",
                     {kWhite, kBlack, RGB(255, 0, 0), RGB(0x20, 0x30, 0xE0), RGB(0x80, 0x80, 0x80)},
                     400},
    PaintingSequence{"ANewColourAtEveryFill", {}, 800},
    PaintingSequence{"ManyBands", {kWhite, kBlack, RGB(255, 0, 0)}, 600, 400});

// More colours than the stand-in's table holds turn the picture plain; a picture that finds no
// memory for that cannot be read back, as one that finds none for a band.
TEST(Bands, MoreColoursThanTheTableWithoutMemoryMakeThePictureUnreadable) {
    Canvas canvas(16, 4);
    for (int c = 0; c < 255; ++c) canvas.Fill(c % 16, 0, c % 16 + 1, 1, RGB(c, 1, 2));
    // 256 colours with the black the picture started with: the table is full.
    EXPECT_EQ(GetPixel(canvas.dc(), 14, 0), RGB(254, 1, 2));  // the last of them
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    const RECT rect{0, 1, 16, 4};
    PlatformFailNthAllocation(1);
    EXPECT_EQ(FillRect(canvas.dc(), &rect, brush), 0);
    PlatformFailNthAllocation(0);
    DeleteObject(brush);
    std::vector<BYTE> bits;
    DibInfo info{};
    EXPECT_EQ(Capture(canvas, 32, bits, info), 0);
    EXPECT_EQ(GetPixel(canvas.dc(), 0, 0), CLR_INVALID);
}

// A painting that finds no memory for a new band fails, and the picture, which no longer shows
// what was painted, cannot be read back: never a picture with a painting missing.
TEST(Bands, APaintingWithoutMemoryMakesThePictureUnreadable) {
    const int height = 300;
    Canvas canvas(5, height);
    canvas.Fill(0, 0, 5, height, kWhite);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    int failed_at = -1;
    for (int y = 0; y < height && failed_at < 0; y += 2) {
        PlatformFailNthAllocation(1);
        const RECT rect{1, y, 2, y + 1};
        if (FillRect(canvas.dc(), &rect, red) == 0) failed_at = y;
        PlatformFailNthAllocation(0);
    }
    DeleteObject(red);
    ASSERT_GT(failed_at, 0) << "every band found memory";
    std::vector<BYTE> bits;
    DibInfo info{};
    EXPECT_EQ(Capture(canvas, 1, bits, info), 0);
    EXPECT_EQ(GetPixel(canvas.dc(), 0, 0), CLR_INVALID);
    canvas.Fill(0, 0, 5, height, kWhite);
    EXPECT_EQ(Capture(canvas, 1, bits, info), 0);
}

}  // namespace
