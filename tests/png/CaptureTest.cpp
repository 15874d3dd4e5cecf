#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "component/state/QuillonState.h"
#include "png/CapturedRows.h"
#include "tests/png/WrittenPicture.h"
#include "tests/support/DrawingSurface.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

struct Captured {
    std::unique_ptr<QuillonState> q = std::make_unique<QuillonState>();
    std::unique_ptr<DrawingSurface> surface;
    HGLOBAL block = nullptr;

    Captured(int width, int height, COLORREF back, COLORREF bar) {
        q->ImageWidth = width;
        q->ImageHeight = height;
        q->BackColor = back;
        q->BarColor = bar;
        q->BackColorBits = back == kWhite ? 1 : 4;
        q->BarColorBits = bar == kBlack ? 1 : 4;
        surface = std::make_unique<DrawingSurface>(*q);
        Fill(0, 0, width, height, back);
    }
    ~Captured() {
        if (block != nullptr) GlobalFree(block);
        q->ReleasePngBuffers();
    }
    void Fill(int l, int t, int r, int b, COLORREF c) {
        HBRUSH brush = CreateSolidBrush(c);
        RECT rect{l, t, r, b};
        FillRect(q->DrawDC, &rect, brush);
        DeleteObject(brush);
    }
    const BITMAPINFOHEADER& Header() const {
        return *reinterpret_cast<const BITMAPINFOHEADER*>(block);
    }
    // Builds the palette from the capture and writes the file, as the picture request does.
    void WriteFile() {
        written = std::make_unique<WrittenPicture>(block);
        written->Write();
        indices = written->Indices();
    }
    // The colour the palette gives the pixel, 0xRRGGBB.
    std::uint32_t ColourAt(int x, int y) const {
        return written->Entry(indices[static_cast<std::size_t>(y) * q->ImageWidth + x]);
    }

    std::unique_ptr<WrittenPicture> written;
    std::vector<BYTE> indices;
};

struct DepthCase {
    COLORREF back, bar;
    int bits;
};

class CaptureDepth : public testing::TestWithParam<DepthCase> {};

TEST_P(CaptureDepth, OneBitOnlyForWhiteBackAndBlackBars) {
    const DepthCase& c = GetParam();
    Captured cap(13, 5, c.back, c.bar);
    cap.block = cap.q->CaptureBitmap(cap.surface->bitmap());
    ASSERT_NE(cap.block, nullptr);
    const BITMAPINFOHEADER& h = cap.Header();
    const int stride = c.bits == 1 ? 4 : 8;  // 13 pixels: 13 bits or 52 bits, in 32-bit words
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 13);
    EXPECT_EQ(h.biHeight, 5);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, c.bits);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, static_cast<DWORD>(stride * 5));
    EXPECT_EQ(h.biXPelsPerMeter, 0);
    EXPECT_EQ(h.biYPelsPerMeter, 0);
    EXPECT_EQ(h.biClrUsed, 0u);
    EXPECT_EQ(h.biClrImportant, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Colours, CaptureDepth,
    testing::Values(DepthCase{kWhite, kBlack, 1}, DepthCase{kWhite, RGB(0, 0, 1), 4},
                    DepthCase{RGB(255, 255, 254), kBlack, 4},
                    // The inverted pair is black and white too, but still captured at 4 bits.
                    DepthCase{kBlack, kWhite, 4}, DepthCase{RGB(0, 0, 128), RGB(255, 255, 0), 4}));

TEST(Capture, IndicesRunTopDownThoughTheCaptureIsBottomUp) {
    // 13 pixels wide, not a multiple of 8: each row of indices holds exactly 13 pixels.
    Captured cap(13, 3, kWhite, kBlack);
    cap.Fill(0, 0, 1, 1, kBlack);    // top-left
    cap.Fill(12, 2, 13, 3, kBlack);  // bottom-right
    cap.Fill(5, 1, 8, 2, kBlack);
    cap.block = cap.q->CaptureBitmap(cap.surface->bitmap());
    ASSERT_NE(cap.block, nullptr);
    cap.WriteFile();
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 13; ++x) {
            const bool black =
                (x == 0 && y == 0) || (x == 12 && y == 2) || (y == 1 && x >= 5 && x < 8);
            EXPECT_EQ(cap.ColourAt(x, y), black ? 0x000000u : 0xFFFFFFu) << x << "," << y;
        }
    }
}

TEST(Capture, FourBitsGiveTheTableColoursOfAnOddWidth) {
    Captured cap(5, 2, RGB(0, 0, 128), RGB(255, 255, 0));
    cap.Fill(4, 0, 5, 1, RGB(255, 255, 0));
    cap.Fill(0, 1, 1, 2, RGB(250, 10, 10));  // nearest is red
    cap.block = cap.q->CaptureBitmap(cap.surface->bitmap());
    ASSERT_NE(cap.block, nullptr);
    cap.WriteFile();
    EXPECT_EQ(cap.ColourAt(0, 0), 0x000080u);
    EXPECT_EQ(cap.ColourAt(4, 0), 0xFFFF00u);
    EXPECT_EQ(cap.ColourAt(0, 1), 0xFF0000u);
    EXPECT_EQ(cap.ColourAt(1, 1), 0x000080u);
    EXPECT_EQ(cap.indices.size(), 10u);
}

TEST(CaptureBitmap, NullWhenTheBlockOrScreenCannotBeHad) {
    for (int n = 1; n <= 2; ++n) {
        Captured cap(8, 8, kWhite, kBlack);
        PlatformFailNthAllocation(n);
        EXPECT_EQ(cap.q->CaptureBitmap(cap.surface->bitmap()), nullptr) << n;
        PlatformFailNthAllocation(0);
    }
}

TEST(CaptureBitmap, NullWhenThePictureCannotBeRead) {
    Captured cap(8, 8, kWhite, kBlack);
    cap.q->ImageWidth = 9;  // not the bitmap's size: the platform refuses the copy
    EXPECT_EQ(cap.q->CaptureBitmap(cap.surface->bitmap()), nullptr);
}

// Rows are compared for runs of equal rows in the vector registers or with memcmp, by their
// length: every length up to and past the vector path's bounds, with the rows equal and with one
// byte different at each place, must give memcmp's answer.
TEST(SameBytes, AgreesWithMemcmpAtEveryLengthAndPlace) {
    for (std::size_t bytes = 1; bytes <= 80; ++bytes) {
        std::vector<BYTE> a(bytes), b(bytes);
        for (std::size_t i = 0; i < bytes; ++i) a[i] = b[i] = static_cast<BYTE>(i * 37 + 5);
        EXPECT_TRUE(SameBytes(a.data(), b.data(), bytes)) << bytes;
        for (std::size_t at = 0; at < bytes; ++at) {
            b[at] ^= 0x80;
            EXPECT_FALSE(SameBytes(a.data(), b.data(), bytes)) << bytes << " " << at;
            b[at] ^= 0x80;
        }
    }
}

}  // namespace
