#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "component/ComponentError.h"
#include "tests/support/TestQuillon.h"

namespace {

std::string DataTextOf(const QuillonState& q) {
    return std::string(reinterpret_cast<const char*>(q.DataText));
}

HRESULT PutText(CQuillon& q, HRESULT (CQuillon::*put)(BSTR), const std::u16string& text) {
    BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    const HRESULT hr = (q.*put)(s);
    SysFreeString(s);
    return hr;
}

HRESULT PutData(CQuillon& q, const std::u16string& text) {
    return PutText(q, &CQuillon::put_Data, text);
}

HRESULT PutFileId(CQuillon& q, const std::u16string& text) {
    return PutText(q, &CQuillon::put_MacroFileId, text);
}

TEST(ComponentState, ConstructionSetsTheDefaults) {
    TestQuillon q;
    EXPECT_EQ(DataTextOf(q), "12");
    EXPECT_EQ(q.Mode, 0);
    EXPECT_EQ(q.EccLevel, 2);
    EXPECT_EQ(q.Columns, 3);
    EXPECT_EQ(q.Rows, 0);
    EXPECT_EQ(q.ActualRows, 2);
    EXPECT_EQ(q.ImageWidth, 300);
    EXPECT_EQ(q.ImageHeight, 200);
    EXPECT_EQ(q.BackColor, 0xFFFFFFu);
    EXPECT_EQ(q.BarColor, 0u);
    EXPECT_EQ(q.BackColorBits, 1);
    EXPECT_EQ(q.BarColorBits, 1);
    EXPECT_EQ(q.Orientation, 0);
    EXPECT_EQ(q.BorderStyle, 0);
    EXPECT_EQ(q.TruncateSymbol, 0);
    EXPECT_EQ(q.HandleTilde, 0);
    EXPECT_EQ(q.Y2XRatio, 3.0f);
    std::uint32_t bits = 0;
    std::memcpy(&bits, &q.NarrowBarWidth, sizeof bits);
    EXPECT_EQ(bits, 0x3D8F5C29u);  // 0.07 in single precision
    EXPECT_EQ(q.OriginX, 0);
    EXPECT_EQ(q.OriginY, 0);
    EXPECT_EQ(q.PageRequest, nullptr);
    EXPECT_EQ(q.PageApplication, nullptr);
}

// One put of one value, and the field it must leave behind (its old value when ignored).
struct IntegerPutCase {
    const char* name;
    std::function<HRESULT(CQuillon&, int)> put;
    std::function<int(const CQuillon&)> field;
    int value;
    int expected;
};

class IntegerPuts : public testing::TestWithParam<IntegerPutCase> {};

TEST_P(IntegerPuts, StoreAcceptedValuesAndIgnoreTheRest) {
    const IntegerPutCase& c = GetParam();
    TestQuillon q;
    EXPECT_EQ(c.put(q, c.value), S_OK);
    EXPECT_EQ(c.field(q), c.expected);
}

#define SHORT_PUT(Property, Field)                                              \
    [](CQuillon& q, int v) { return q.put_##Property(static_cast<SHORT>(v)); }, \
        [](const CQuillon& q) { return static_cast<int>(q.Field); }
#define LONG_PUT(Property, Field)                                              \
    [](CQuillon& q, int v) { return q.put_##Property(static_cast<LONG>(v)); }, \
        [](const CQuillon& q) { return static_cast<int>(q.Field); }

INSTANTIATE_TEST_SUITE_P(
    Ranges, IntegerPuts,
    testing::Values(
        IntegerPutCase{"Width0", SHORT_PUT(Width, ImageWidth), 0, 300},
        IntegerPutCase{"WidthNegative", SHORT_PUT(Width, ImageWidth), -5, 300},
        IntegerPutCase{"Width1", SHORT_PUT(Width, ImageWidth), 1, 1},
        IntegerPutCase{"Width32767", SHORT_PUT(Width, ImageWidth), 32767, 32767},
        IntegerPutCase{"Height0", SHORT_PUT(Height, ImageHeight), 0, 200},
        IntegerPutCase{"Height5", SHORT_PUT(Height, ImageHeight), 5, 5},
        IntegerPutCase{"Ecc9", SHORT_PUT(ErrorCorrectionLevel, EccLevel), 9, 2},
        IntegerPutCase{"EccMinus1", SHORT_PUT(ErrorCorrectionLevel, EccLevel), -1, 2},
        IntegerPutCase{"Ecc8", SHORT_PUT(ErrorCorrectionLevel, EccLevel), 8, 8},
        IntegerPutCase{"Ecc0", SHORT_PUT(ErrorCorrectionLevel, EccLevel), 0, 0},
        IntegerPutCase{"Columns1", SHORT_PUT(Columns, Columns), 1, 3},
        IntegerPutCase{"Columns31", SHORT_PUT(Columns, Columns), 31, 3},
        IntegerPutCase{"Columns2", SHORT_PUT(Columns, Columns), 2, 2},
        IntegerPutCase{"Columns30", SHORT_PUT(Columns, Columns), 30, 30},
        IntegerPutCase{"Rows0", SHORT_PUT(Rows, Rows), 0, 0},
        IntegerPutCase{"Rows1", SHORT_PUT(Rows, Rows), 1, 0},
        IntegerPutCase{"Rows31", SHORT_PUT(Rows, Rows), 31, 0},
        IntegerPutCase{"Rows2", SHORT_PUT(Rows, Rows), 2, 2},
        IntegerPutCase{"Rows30", SHORT_PUT(Rows, Rows), 30, 30},
        IntegerPutCase{"Orientation3", SHORT_PUT(Orientation, Orientation), 3, 3},
        IntegerPutCase{"Orientation4", SHORT_PUT(Orientation, Orientation), 4, 0},
        IntegerPutCase{"OrientationMinus1", SHORT_PUT(Orientation, Orientation), -1, 0},
        IntegerPutCase{"Border2", SHORT_PUT(BorderStyle, BorderStyle), 2, 2},
        IntegerPutCase{"Border3", SHORT_PUT(BorderStyle, BorderStyle), 3, 0},
        IntegerPutCase{"Mode2", SHORT_PUT(Mode, Mode), 2, 2},
        IntegerPutCase{"Mode3", SHORT_PUT(Mode, Mode), 3, 0},
        IntegerPutCase{"ModeMinus1", SHORT_PUT(Mode, Mode), -1, 0},
        IntegerPutCase{"BackColorMinus1", LONG_PUT(BackColor, BackColor), -1, 0xFFFFFF},
        IntegerPutCase{"BackColorHighByte", LONG_PUT(BackColor, BackColor), 0x01FFFFFF, 0xFFFFFF},
        IntegerPutCase{"BackColorHighByteBits", LONG_PUT(BackColor, BackColorBits), 0x01FFFFFF, 1},
        IntegerPutCase{"BackColorNearWhite", LONG_PUT(BackColor, BackColorBits), 0xFFFFFE, 4},
        IntegerPutCase{"BarColor1000000", LONG_PUT(BarColor, BarColor), 0x1000000, 0},
        IntegerPutCase{"BarColor1000000Bits", LONG_PUT(BarColor, BarColorBits), 0x1000000, 1},
        IntegerPutCase{"BarColorRed", LONG_PUT(BarColor, BarColorBits), 0x0000FF, 4},
        IntegerPutCase{"BarColorNegative", LONG_PUT(BarColor, BarColor), -2, 0},
        IntegerPutCase{
            "TruncateTrue",
            [](CQuillon& q, int v) { return q.put_TruncateSymbol(static_cast<VARIANT_BOOL>(v)); },
            [](const CQuillon& q) { return static_cast<int>(q.TruncateSymbol); }, -1, 1},
        IntegerPutCase{
            "TruncateOne",
            [](CQuillon& q, int v) { return q.put_TruncateSymbol(static_cast<VARIANT_BOOL>(v)); },
            [](const CQuillon& q) { return static_cast<int>(q.TruncateSymbol); }, 1, 0}),
    [](const testing::TestParamInfo<IntegerPutCase>& info) { return info.param.name; });

TEST(Properties, HandleTildeIsOnOnlyForVariantTrue) {
    TestQuillon q;
    VARIANT_BOOL value = 123;
    ASSERT_EQ(q.put_HandleTilde(VARIANT_TRUE), S_OK);
    ASSERT_EQ(q.get_HandleTilde(&value), S_OK);
    EXPECT_EQ(value, VARIANT_TRUE);
    ASSERT_EQ(q.put_HandleTilde(1), S_OK);  // 1 is not VARIANT_TRUE: the setting turns off
    ASSERT_EQ(q.get_HandleTilde(&value), S_OK);
    EXPECT_EQ(value, VARIANT_FALSE);
    EXPECT_EQ(q.HandleTilde, 0);
}

TEST(Properties, GettersRefuseANullPointer) {
    TestQuillon q;
    EXPECT_EQ(q.get_Mode(nullptr), E_POINTER);
    EXPECT_EQ(q.get_HandleTilde(nullptr), E_POINTER);
    EXPECT_EQ(q.get_Eci(nullptr), E_POINTER);
    EXPECT_EQ(q.get_OptimizeCompaction(nullptr), E_POINTER);
    EXPECT_EQ(q.get_AutoErrorCorrection(nullptr), E_POINTER);
    EXPECT_EQ(q.get_MacroSegmentIndex(nullptr), E_POINTER);
    EXPECT_EQ(q.get_MacroSegmentCount(nullptr), E_POINTER);
    EXPECT_EQ(q.get_MacroFileId(nullptr), E_POINTER);
}

// IQuillon2's numbers at each edge of the ranges the symbol's codewords allow: from a start
// value, one put, and what the get then reads back (the start again when the put is ignored).
struct LongOptionCase {
    HRESULT (CQuillon::*put)(LONG);
    HRESULT (CQuillon::*get)(LONG*);
    LONG start;
    LONG value;
    LONG expected;
};

#define ECI &CQuillon::put_Eci, &CQuillon::get_Eci
#define SEGMENT_INDEX &CQuillon::put_MacroSegmentIndex, &CQuillon::get_MacroSegmentIndex
#define SEGMENT_COUNT &CQuillon::put_MacroSegmentCount, &CQuillon::get_MacroSegmentCount

TEST(Properties, SymbolOptionNumbersKeepTheirRangesAndReadBack) {
    const LongOptionCase cases[] = {
        {ECI, 5, INT32_MIN, 5},
        {ECI, 5, -1, 5},
        {ECI, 5, 0, 0},  // none
        {ECI, 5, 1, 1},
        {ECI, 5, 899, 899},        // the last of 927 n
        {ECI, 5, 900, 900},        // the first of 926 n1 n2
        {ECI, 5, 810899, 810899},  // the last of 926 n1 n2
        {ECI, 5, 810900, 810900},  // the first of 925 n
        {ECI, 5, 811799, 811799},  // the last of 925 n
        {ECI, 5, 811800, 5},
        {ECI, 5, INT32_MAX, 5},
        {SEGMENT_INDEX, 7, INT32_MIN, 7},
        {SEGMENT_INDEX, 7, -2, 7},
        {SEGMENT_INDEX, 7, -1, -1},  // not a Macro symbol
        {SEGMENT_INDEX, 7, 0, 0},
        {SEGMENT_INDEX, 7, 99998, 99998},  // five digits, below a count of 99999
        {SEGMENT_INDEX, 7, 99999, 7},
        {SEGMENT_INDEX, 7, INT32_MAX, 7},
        {SEGMENT_COUNT, 7, INT32_MIN, 7},
        {SEGMENT_COUNT, 7, -1, 7},
        {SEGMENT_COUNT, 7, 0, 0},  // not written
        {SEGMENT_COUNT, 7, 1, 1},
        {SEGMENT_COUNT, 7, 99999, 99999},
        {SEGMENT_COUNT, 7, 100000, 7},
        {SEGMENT_COUNT, 7, INT32_MAX, 7},
    };
    for (const LongOptionCase& c : cases) {
        TestQuillon q;
        ASSERT_EQ((q.*c.put)(c.start), S_OK);
        EXPECT_EQ((q.*c.put)(c.value), S_OK) << c.value;
        LONG now = 0;
        ASSERT_EQ((q.*c.get)(&now), S_OK);
        EXPECT_EQ(now, c.expected) << c.value;
    }
    TestQuillon q;  // the fields the encoder reads
    q.put_Eci(26);
    q.put_MacroSegmentIndex(3);
    q.put_MacroSegmentCount(4);
    EXPECT_EQ(q.Eci, 26);
    EXPECT_EQ(q.MacroSegmentIndex, 3);
    EXPECT_EQ(q.MacroSegmentCount, 4);
}

#undef ECI
#undef SEGMENT_INDEX
#undef SEGMENT_COUNT

TEST(Properties, SymbolOptionSwitchesAreOnOnlyForVariantTrue) {
    const struct {
        VARIANT_BOOL value;
        VARIANT_BOOL expected;
    } cases[] = {{VARIANT_TRUE, VARIANT_TRUE}, {VARIANT_FALSE, VARIANT_FALSE}, {1, VARIANT_FALSE}};
    for (const auto& c : cases) {
        TestQuillon q;
        VARIANT_BOOL optimize = 123, automatic = 123;
        ASSERT_EQ(q.put_OptimizeCompaction(c.value), S_OK);
        ASSERT_EQ(q.put_AutoErrorCorrection(c.value), S_OK);
        ASSERT_EQ(q.get_OptimizeCompaction(&optimize), S_OK);
        ASSERT_EQ(q.get_AutoErrorCorrection(&automatic), S_OK);
        EXPECT_EQ(optimize, c.expected) << c.value;
        EXPECT_EQ(automatic, c.expected) << c.value;
        EXPECT_EQ(q.OptimizeCompaction, c.expected == VARIANT_TRUE ? TRUE : FALSE);
        EXPECT_EQ(q.AutoErrorCorrection, c.expected == VARIANT_TRUE ? TRUE : FALSE);
    }
}

std::u16string FileIdOf(CQuillon& q) {
    BSTR id = nullptr;
    EXPECT_EQ(q.get_MacroFileId(&id), S_OK);
    std::u16string text = id == nullptr ? u"<null>" : std::u16string(id, SysStringLen(id));
    SysFreeString(id);
    return text;
}

// A file ID is three to thirty digits in groups of three, each group one codeword of at most
// 899; anything else is refused with an error, and the ID set before stays.
TEST(Properties, MacroFileIdTakesDigitGroupsAndRefusesAnythingElse) {
    const std::u16string thirty = u"899000123456789012345678012345";
    const struct {
        std::u16string text;
        bool accepted;
    } cases[] = {
        {u"", false},
        {u"0", false},
        {u"00", false},
        {u"000", true},
        {u"899", true},
        {u"900", false},  // no codeword
        {u"999", false},
        {u"0000", false},
        {u"012899", true},
        {u"012900", false},
        {thirty, true},
        {thirty + u"1", false},
        {thirty + u"123", false},
        {std::u16string(100000, u'1'), false},
        {u"12a", false},
        {u" 123", false},
        {u"123 ", false},
        {u"-12", false},
        {std::u16string(u"1\0"
                        u"2",
                        3),
         false},                         // a zero character is no digit
        {u"\u0661\u0662\u0663", false},  // Arabic-Indic digits
        {u"\uFF11\uFF12\uFF13", false},  // fullwidth digits
        {u"\u0131\u0132\u0133", false},  // low bytes '1', '2', '3'
    };
    for (const auto& c : cases) {
        TestQuillon q;
        ASSERT_EQ(PutFileId(q, u"456"), S_OK);
        EXPECT_EQ(PutFileId(q, c.text), c.accepted ? S_OK : E_INVALIDARG) << c.text.size();
        EXPECT_EQ(FileIdOf(q), c.accepted ? c.text : u"456") << c.text.size();
    }
    TestQuillon q;
    EXPECT_EQ(FileIdOf(q), u"000");                       // the default
    EXPECT_EQ(q.put_MacroFileId(nullptr), E_INVALIDARG);  // the empty string
    EXPECT_EQ(FileIdOf(q), u"000");
}

// The error object names the interface that defines the property (the description is the
// server test's, as a script receives it).
TEST(Properties, ARefusedFileIdIsAnErrorOfIQuillon2) {
    TestQuillon q;
    ASSERT_EQ(PutFileId(q, u"12"), E_INVALIDARG);
    IErrorInfo* error = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &error), S_OK);
    GUID guid{};
    EXPECT_EQ(error->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, IID_IQuillon2);
    error->Release();
}

TEST(Properties, Y2XRatioAcceptsAboveZeroUpToFive) {
    const struct {
        float value;
        float expected;
    } cases[] = {{5.0f, 5.0f},
                 {5.01f, 3.0f},
                 {0.0f, 3.0f},
                 {-1.0f, 3.0f},
                 {0.25f, 0.25f},
                 {std::numeric_limits<float>::quiet_NaN(), 3.0f},
                 {std::numeric_limits<float>::infinity(), 3.0f}};
    for (const auto& c : cases) {
        TestQuillon q;
        EXPECT_EQ(q.put_Y2XRatio(c.value), S_OK);
        EXPECT_EQ(q.Y2XRatio, c.expected) << "value " << c.value;
    }
}

TEST(Properties, NarrowBarWidthAcceptsPositiveFiniteWidthsInSinglePrecision) {
    const struct {
        double value;
        float expected;
    } cases[] = {{0.0, 0.07f},
                 {-0.1, 0.07f},
                 {0.1, 0.1f},
                 {1e-60, 0.07f},  // rounds to 0 in single precision
                 {1e60, 0.07f},   // beyond the single-precision range
                 {std::numeric_limits<double>::quiet_NaN(), 0.07f},
                 {std::numeric_limits<double>::infinity(), 0.07f}};
    for (const auto& c : cases) {
        TestQuillon q;
        EXPECT_EQ(q.put_NarrowBarWidth(c.value), S_OK);
        EXPECT_EQ(q.NarrowBarWidth, c.expected) << "value " << c.value;
    }
}

TEST(DataPut, StoresWindows1252Text) {
    TestQuillon q;
    ASSERT_EQ(PutData(q, u"caf\u00E9 \u20AC5"), S_OK);
    EXPECT_EQ(DataTextOf(q),
              "caf\xE9 \x80"
              "5");
}

TEST(DataPut, UnmappableCharactersBecomeTheDefaultCharacter) {
    TestQuillon q;
    ASSERT_EQ(PutData(q, u"\u0391\u03B2\U0001F600!"), S_OK);  // Greek and an emoji
    EXPECT_EQ(DataTextOf(q),
              "??"
              "?!");
}

TEST(DataPut, EmptyStringStoresEmptyTextAndNullKeepsTheOld) {
    TestQuillon q;
    ASSERT_EQ(q.put_Data(nullptr), S_OK);
    EXPECT_EQ(DataTextOf(q), "12");
    ASSERT_EQ(PutData(q, u""), S_OK);
    EXPECT_EQ(DataTextOf(q), "");
}

TEST(DataPut, EmbeddedZeroCutsTheText) {
    TestQuillon q;
    ASSERT_EQ(PutData(q, std::u16string(u"AB\0CD", 5)), S_OK);
    EXPECT_EQ(DataTextOf(q), "AB");
}

TEST(DataPut, AcceptsExactly4999BytesAndRefusesMoreWithADescription) {
    TestQuillon q;
    ASSERT_EQ(PutData(q, std::u16string(4999, u'x')), S_OK);
    EXPECT_EQ(DataTextOf(q), std::string(4999, 'x'));

    ASSERT_EQ(PutData(q, u"short"), S_OK);
    EXPECT_EQ(PutData(q, std::u16string(5000, u'y')), E_INVALIDARG);
    EXPECT_EQ(DataTextOf(q), "short");
    IErrorInfo* error = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &error), S_OK);
    BSTR description = nullptr;
    ASSERT_EQ(error->GetDescription(&description), S_OK);
    EXPECT_EQ(std::u16string(description), u"Data is longer than 4999 bytes");
    SysFreeString(description);
    error->Release();
}

// The limit counts the bytes the text becomes, not its UTF-16 units: a character outside the
// Basic Multilingual Plane is two units and becomes one '?'.
TEST(DataPut, TheLimitCountsConvertedBytes) {
    std::u16string pairs;
    for (int i = 0; i < 4999; ++i) pairs += u"\U0001F600";
    TestQuillon q;
    ASSERT_EQ(PutData(q, pairs), S_OK);  // 9998 units, 4999 bytes
    EXPECT_EQ(DataTextOf(q), std::string(4999, '?'));
    EXPECT_EQ(PutData(q, pairs + u"\U0001F600"), E_INVALIDARG);  // 5000 bytes
    EXPECT_EQ(DataTextOf(q), std::string(4999, '?'));
    ASSERT_EQ(PutData(q, std::u16string(u"\U0001F600") + u"x"), S_OK);
    EXPECT_EQ(DataTextOf(q), "?x");
}

TEST(DataPut, LongStringCutByAZeroWithinTheLimitIsAccepted) {
    TestQuillon q;
    std::u16string text(10000, u'z');
    text[3] = 0;
    ASSERT_EQ(PutData(q, text), S_OK);
    EXPECT_EQ(DataTextOf(q), "zzz");
}

}  // namespace
