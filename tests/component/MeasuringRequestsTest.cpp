#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "component/ComponentError.h"
#include "tests/support/PngReader.h"
#include "tests/support/RequestHelpers.h"
#include "tests/support/TestQuillon.h"

namespace {

struct Figures {
    HRESULT hr = E_FAIL;
    VARIANT first, second;
    Figures() {
        VariantInit(&first);
        VariantInit(&second);
    }
    ~Figures() {
        VariantClear(&first);
        VariantClear(&second);
    }
};

void RowsAndColumns(CQuillon& q, Figures& f) {
    f.hr = q.GetActualRC(&f.first, &f.second);
}
void Size(CQuillon& q, Figures& f) {
    f.hr = q.GetActualSize(&f.first, &f.second);
}

class Resolution : public testing::Test {
protected:
    void TearDown() override { PlatformSetScreenResolution(0, 0); }
};

TEST_F(Resolution, DefaultsGiveFourRowsThreeColumns363By36) {
    auto q = std::make_unique<TestQuillon>();
    Figures rc, size;
    RowsAndColumns(*q, rc);
    ASSERT_EQ(rc.hr, S_OK);
    EXPECT_EQ(rc.first.vt, VT_I2);
    EXPECT_EQ(rc.first.iVal, 4);
    EXPECT_EQ(rc.second.vt, VT_I2);
    EXPECT_EQ(rc.second.iVal, 3);
    Size(*q, size);
    ASSERT_EQ(size.hr, S_OK);
    EXPECT_EQ(size.first.vt, VT_I4);
    EXPECT_EQ(size.first.lVal, 363);  // 3 × (17 × 3 + 70)
    EXPECT_EQ(size.second.vt, VT_I4);
    EXPECT_EQ(size.second.lVal, 36);  // 4 × 9
}

TEST_F(Resolution, TheSameAt120PixelsPerInch) {
    PlatformSetScreenResolution(120, 120);
    auto q = std::make_unique<TestQuillon>();
    Figures size;
    Size(*q, size);
    ASSERT_EQ(size.hr, S_OK);
    EXPECT_EQ(size.first.lVal, 363);
    EXPECT_EQ(size.second.lVal, 36);
    EXPECT_EQ(q->RowDpi, 120);
}

struct SizeCase {
    int orientation;
    bool truncate;
    double narrow_bar_width;
    int width, height;
};

class SizeFigures : public testing::TestWithParam<SizeCase> {};

TEST_P(SizeFigures, ModulesAlongTheRowsAndRowsAcross) {
    const SizeCase& c = GetParam();
    auto q = std::make_unique<TestQuillon>();
    q->put_Orientation(static_cast<SHORT>(c.orientation));
    q->put_TruncateSymbol(c.truncate ? VARIANT_TRUE : VARIANT_FALSE);
    q->put_NarrowBarWidth(c.narrow_bar_width);
    Figures size;
    Size(*q, size);
    ASSERT_EQ(size.hr, S_OK);
    EXPECT_EQ(size.first.lVal, c.width);
    EXPECT_EQ(size.second.lVal, c.height);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SizeFigures,
    testing::Values(SizeCase{0, true, 0.07, 3 * 87, 36},
                    // Turned symbols are measured along their rows all the same.
                    SizeCase{1, false, 0.07, 363, 36}, SizeCase{3, true, 0.07, 261, 36},
                    // x at most 0.5: one-pixel modules, rows R(3.0 × 1) = 3.
                    SizeCase{0, false, 0.01, 121, 12},
                    // Modules wider than any picture: 96 × 1000 / 2.54 = 37795.3, so
                    // 37795 × 121 and 4 × R(3 × 37795).
                    SizeCase{0, false, 1000.0, 37795 * 121, 4 * 113385}));

// The widest figures that 32 bits hold, and the first beyond them, at 30 columns (580 modules a
// row): NarrowBarWidth 97963.515625 cm gives x = 3702558.07 and 97963.5390625 cm 3702558.96.
TEST(GetActualSize, MeasuresEverySymbolThat32BitsHoldAndRefusesTheRest) {
    auto q = std::make_unique<TestQuillon>();
    q->put_Columns(30);
    q->put_NarrowBarWidth(97963.515625);
    Figures size;
    Size(*q, size);
    ASSERT_EQ(size.hr, S_OK);
    EXPECT_EQ(size.first.lVal, 2147483640);     // 3702558 × 580
    EXPECT_EQ(size.second.lVal, 3 * 11107674);  // 3 rows of R(3 × 3702558)

    q->put_NarrowBarWidth(97963.5390625);
    Figures refused;
    Size(*q, refused);
    EXPECT_EQ(refused.hr, E_INVALIDARG);
    EXPECT_EQ(refused.first.vt, VT_EMPTY);
    EXPECT_EQ(TakeErrorDescription(),
              "The symbol would be 2147484220 x 33323031 pixels, more than the 2147483647 a side "
              "that can be drawn. Lower the NarrowBarWidth.");
}

TEST(GetActualRC, FreesStringsTheCallerLeftInTheVariants) {
    auto q = std::make_unique<TestQuillon>();
    VARIANT rows, columns;
    VariantInit(&rows);
    VariantInit(&columns);
    rows.vt = VT_BSTR;
    rows.bstrVal = SysAllocString(u"left over");
    columns.vt = VT_BSTR;
    columns.bstrVal = SysAllocString(u"also left over");
    ASSERT_EQ(q->GetActualRC(&rows, &columns), S_OK);  // the sanitizer build finds a leak
    EXPECT_EQ(rows.vt, VT_I2);
    EXPECT_EQ(rows.iVal, 4);
    EXPECT_EQ(columns.vt, VT_I2);
    EXPECT_EQ(columns.iVal, 3);
}

TEST(GetActualSize, FreesStringsTheCallerLeftInTheVariants) {
    auto q = std::make_unique<TestQuillon>();
    VARIANT width, height;
    VariantInit(&width);
    VariantInit(&height);
    width.vt = VT_BSTR;
    width.bstrVal = SysAllocString(u"left over");
    height.vt = VT_BSTR;
    height.bstrVal = SysAllocString(u"also left over");
    ASSERT_EQ(q->GetActualSize(&width, &height), S_OK);
    EXPECT_EQ(width.vt, VT_I4);
    EXPECT_EQ(height.vt, VT_I4);
}

TEST(MeasuringRequests, TextModeFallsBackToMixed) {
    for (auto request : {RowsAndColumns, Size}) {
        auto q = std::make_unique<TestQuillon>();
        ASSERT_EQ(PutData(*q, u"A\u0001"), S_OK);
        q->put_Mode(1);
        Figures f;
        request(*q, f);
        ASSERT_EQ(f.hr, S_OK);
        SHORT mode = -1;
        q->get_Mode(&mode);
        EXPECT_EQ(mode, 2);
    }
}

TEST(MeasuringRequests, RaisedColumnsAreReportedAndKept) {
    auto q = std::make_unique<TestQuillon>();
    // 600 bytes at level 2: 3 to 5 columns need more than 90 rows; 6 columns give 85.
    ASSERT_EQ(PutData(*q, std::u16string(600, u'z')), S_OK);
    Figures rc;
    RowsAndColumns(*q, rc);
    ASSERT_EQ(rc.hr, S_OK);
    EXPECT_EQ(rc.first.iVal, 85);
    EXPECT_EQ(rc.second.iVal, 6);
    EXPECT_EQ(q->Columns, 6);
}

TEST(MeasuringRequests, DataThatDoesNotFitFailsAndLeavesTheVariants) {
    for (auto request : {RowsAndColumns, Size}) {
        auto q = std::make_unique<TestQuillon>();
        ASSERT_EQ(PutData(*q, std::u16string(4000, u'x')), S_OK);
        Figures f;
        f.first.vt = VT_I2;
        f.first.iVal = 77;
        request(*q, f);
        EXPECT_EQ(f.hr, QUILLON_E_DATA_DOES_NOT_FIT);
        EXPECT_EQ(f.first.vt, VT_I2);
        EXPECT_EQ(f.first.iVal, 77);
        EXPECT_EQ(f.second.vt, VT_EMPTY);
        EXPECT_EQ(q->Columns, 31);
        EXPECT_NE(TakeErrorDescription().find("does not fit"), std::string::npos);
    }
}

TEST(MeasuringRequests, NullPointers) {
    auto q = std::make_unique<TestQuillon>();
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(q->GetActualRC(nullptr, &v), E_POINTER);
    EXPECT_EQ(q->GetActualRC(&v, nullptr), E_POINTER);
    EXPECT_EQ(q->GetActualSize(nullptr, &v), E_POINTER);
    EXPECT_EQ(q->GetActualSize(&v, nullptr), E_POINTER);
    EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST(GetActualSize, OutOfMemoryForTheScreen) {
    auto q = std::make_unique<TestQuillon>();
    Figures f;
    PlatformFailNthAllocation(1);
    Size(*q, f);
    PlatformFailNthAllocation(0);
    EXPECT_EQ(f.hr, E_OUTOFMEMORY);
    EXPECT_EQ(f.first.vt, VT_EMPTY);
    EXPECT_FALSE(TakeErrorDescription().empty());
}

// The figures describe the picture PNGImage draws: the bars span the measured width less
// the one module no drawn row has (a full row is 69 modules plus the data, not 70), and the
// measured height across the rows.
TEST(MeasuringRequests, AgreeWithThePicture) {
    for (int orientation = 0; orientation < 4; ++orientation) {
        auto q = std::make_unique<TestQuillon>();
        q->put_Orientation(static_cast<SHORT>(orientation));
        q->put_Width(500);
        q->put_Height(500);
        Figures size;
        Size(*q, size);
        ASSERT_EQ(size.hr, S_OK);
        VARIANT v;
        VariantInit(&v);
        ASSERT_EQ(q->get_PNGImage(&v), S_OK);
        const std::vector<std::uint8_t> file = BytesOf(v);
        VariantClear(&v);
        const DecodedPng png = ReadPng(file.data(), file.size());
        ASSERT_TRUE(png.ok);
        int left = 500, right = -1, top = 500, bottom = -1;
        for (int y = 0; y < 500; ++y) {
            for (int x = 0; x < 500; ++x) {
                if (png.Pixel(x, y) != 0) continue;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
        const int along = orientation % 2 == 0 ? right - left + 1 : bottom - top + 1;
        const int across = orientation % 2 == 0 ? bottom - top + 1 : right - left + 1;
        EXPECT_EQ(along, size.first.lVal - q->ModuleWidth) << orientation;
        EXPECT_EQ(across, size.second.lVal) << orientation;
    }
}

}  // namespace
