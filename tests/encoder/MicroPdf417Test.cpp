// MicroPDF417 (Symbology 1). No common decoder reads it, so each symbol is read back from the
// component's own PNG (tests/support/MicroSymbolModules.h), its error correction checked at
// the generator's roots and its data decoded by the test decoder written from the PDF417
// rules; painted on a device, the picture is the same. Then the size choice and its errors,
// the measurements, and the caller's Columns, which a MicroPDF417 symbol must not take over.
#include <gtest/gtest.h>

#include "tests/encoder/EncoderTestSupport.h"
#include "tests/encoder/ReferenceDecoder.h"
#include "tests/support/MicroSymbolModules.h"
#include "tests/support/NamedCases.h"
#include "tests/support/RequestHelpers.h"
#include "tests/support/TestQuillon.h"

namespace encoder_test {
namespace {

// The settings of a case; -1: left at its default.
struct Micro {
    int mode = -1, eci = 0, macroIndex = -1, macroCount = 0, columns = 0, rows = 0;
    bool optimize = false;
};

std::unique_ptr<TestQuillon> MicroObject(const Bytes& bytes, const Micro& m) {
    auto q = std::make_unique<TestQuillon>();
    PutMicroData(*q, bytes);
    if (m.mode >= 0) q->Mode = m.mode;
    q->OptimizeCompaction = m.optimize ? TRUE : FALSE;
    q->Eci = m.eci;
    q->MacroSegmentIndex = m.macroIndex;
    q->MacroSegmentCount = m.macroCount;
    q->MicroColumns = m.columns;
    q->MicroRows = m.rows;
    return q;
}

Bytes Repeated(const Bytes& piece, int n) {
    Bytes out;
    for (int i = 0; i < n; ++i) out += piece;
    return out;
}

struct ReadBackCase {
    const char* name;
    Bytes data;
    Micro settings;
    Codewords head;  // the first data codewords
    const char* source;
};
NAMED_CASES(MicroReadBack, ReadBackCase);

TEST_P(MicroReadBack, DecodesToTheData) {
    const ReadBackCase& c = GetParam();
    auto q = MicroObject(c.data, c.settings);
    const std::vector<std::vector<bool>> modules = DrawnModules(*q);
    q->DrawOnDevice = TRUE;
    EXPECT_EQ(DrawnModules(*q), modules) << "painted on a device";
    const MicroReading reading = ReadMicroModules(modules);
    ASSERT_TRUE(reading.ok()) << reading.error;
    EXPECT_TRUE(
        VanishesAtGeneratorRoots(reading.codewords, kMicroPdf417Sizes[reading.size].eccCodewords));
    const Codewords data = reading.DataCodewords();
    EXPECT_EQ(Codewords(data.begin(), data.begin() + static_cast<long>(c.head.size())), c.head)
        << c.source;
    const DecodeResult decoded = DecodeDataCodewords(data);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.bytes, c.data);
    EXPECT_EQ(decoded.ecis, c.settings.eci == 0 ? std::vector<int>{} : std::vector{c.settings.eci});
    EXPECT_EQ(decoded.macroIndex, c.settings.macroIndex);
    const Micro& m = c.settings;
    EXPECT_EQ(decoded.macroLast, m.macroCount > 0 && m.macroIndex == m.macroCount - 1);
}

constexpr Micro kText{.mode = 1}, kMixed{.mode = 2}, kOptimized{.optimize = true};
const Bytes kUtf8 =
    "Gr\xc3\xbc\xc3\x9f"
    "e, \xe6\x9d\xb1\xe4\xba\xac";  // "Grüße, 東京"

// clang-format off
INSTANTIATE_NAMED_CASES(Micro, MicroReadBack,
    ReadBackCase{"Text", "Hello, World", kText, {900}, "the symbol starts in byte compaction"},
    ReadBackCase{"TextOptimized", "ABC def", kOptimized, {900}, "zint and bwip-js latch too"},
    ReadBackCase{"Digits", Repeated("0123456789", 9), kOptimized, {902}, "numeric compaction"},
    ReadBackCase{"Bytes", "\x80\x81\x82\x83\x84\x85\xfe\xff\x01", {}, {901}, "not 6 × n bytes"},
    ReadBackCase{"SixBytes", "\x80\x81\x82\x83\x84\x85", kOptimized, {924}, "6 × n bytes"},
    ReadBackCase{"LeadingByte", "\x80" "ABCDEFGHIJ", kOptimized, {901, 128, 900}, "not 913"},
    ReadBackCase{"Mixed", "Order 1234567890123 \x80\x81 ok", kMixed, {900}, "text first"},
    ReadBackCase{"TextFallsBackToMixed", "\xe9t\xe9", kText, {901, 233, 900}, "Mode 1 to 2"},
    ReadBackCase{"Eci26Utf8", kUtf8, {.eci = 26}, {927, 26, 901}, "the designator first"},
    ReadBackCase{"Eci26Text", "ABC", {.mode = 1, .eci = 26}, {927, 26, 900}, "as the peers"},
    ReadBackCase{"Empty", "", kOptimized, {900}, "nothing but pad codewords"},
    ReadBackCase{"LargestFull", Repeated("\x80", 150), {}, {924}, "zint's 4 × 44 holds 150"},
    ReadBackCase{"MacroMiddle", "The middle", {.macroIndex = 1, .macroCount = 3}, {901}, "928"},
    ReadBackCase{"MacroLast", "The end", {.macroIndex = 2, .macroCount = 3}, {901}, "and 922"});
// clang-format on

// Sizes: of those allowed that hold the data, the one of the fewest modules (a row's modules
// times the rows). From the size table: 4 × 4 holds 8 codewords in 396 modules, 1 × 11 4 in
// 418, 2 × 8 8 in 440, 3 × 6 6 in 492, 1 × 14 7 in 532, 4 × 6 12 in 594; 1 × 17 10; 2 × 11 13.
struct SizeCase {
    const char* name;
    int bytes;  // 0x80 each: 1 + 5 codewords per 6 bytes + 1 per byte left
    Micro settings;
    int wantColumns, wantRows;  // 0, 0: does not fit
    const char* message;        // a part of the error's description
};
NAMED_CASES(MicroSize, SizeCase);

TEST_P(MicroSize, IsTheSmallestAllowedThatHolds) {
    const SizeCase& c = GetParam();
    auto q = MicroObject(Repeated("\x80", c.bytes), c.settings);
    VARIANT rows, columns;
    VariantInit(&rows);
    VariantInit(&columns);
    const HRESULT hr = q->GetActualRC(&rows, &columns);
    if (c.wantColumns == 0) {
        EXPECT_EQ(hr, QUILLON_E_DATA_DOES_NOT_FIT);
        EXPECT_NE(TakeErrorDescription().find(c.message), std::string::npos) << c.message;
    } else {
        ASSERT_EQ(hr, S_OK);
        EXPECT_EQ(columns.iVal, c.wantColumns);
        EXPECT_EQ(rows.iVal, c.wantRows);
    }
}

// clang-format off
INSTANTIATE_NAMED_CASES(Micro, MicroSize,
    SizeCase{"TwoCodewords", 1, {}, 4, 4, ""},
    SizeCase{"EightFill4x4", 8, {}, 4, 4, ""},
    SizeCase{"NineNeed4x6", 9, {}, 4, 6, ""},
    SizeCase{"OneColumnFewestRows", 8, {.columns = 1}, 1, 17, ""},
    SizeCase{"ElevenRowsFewestColumns", 6, {.rows = 11}, 2, 11, ""},
    SizeCase{"BothSet", 1, {.columns = 2, .rows = 8}, 2, 8, ""},
    SizeCase{"NoSuchSize", 1, {.columns = 2, .rows = 6}, 0, 0, "with 2 columns there are 8, 11"},
    SizeCase{"NoSizeHasTheRows", 1, {.rows = 5}, 0, 0, "the sizes (columns x rows) are 1 x 11, 1"},
    SizeCase{"SetSizeTooSmall", 4, {.columns = 1, .rows = 11}, 0, 0, "takes 5 codewords"},
    SizeCase{"BeyondTheLargest", 151, {}, 0, 0, "4 columns x 44 rows hold 126"});
// clang-format on

// ActualWidth counts a row's 38, 55, 82 or 99 modules (the stop bar included); ActualHeight
// the rows. The caller's Columns is PDF417's, set before or while the MicroPDF417 symbol is,
// even to the symbol's own columns.
TEST(MicroMeasuring, CountsTheRowsModulesAndLeavesColumnsAlone) {
    const int modules[] = {38, 55, 82, 99};
    for (int columns = 1; columns <= kMaxMicroColumns; ++columns) {
        auto q = MicroObject("ABC", {.columns = columns});
        q->put_Columns(5);
        q->put_NarrowBarWidth(3 * 2.54 / 96);  // 3 pixels
        q->put_Y2XRatio(2.0f);
        VARIANT width, height, rows, pdfColumns;
        for (VARIANT* v : {&width, &height, &rows, &pdfColumns}) VariantInit(v);
        ASSERT_EQ(q->GetActualSize(&width, &height), S_OK);
        EXPECT_EQ(width.lVal, 3 * modules[columns - 1]);
        EXPECT_EQ(height.lVal, 6 * q->ActualRows);
        // Put while the symbol stands: another number, and the symbol's own.
        const int put = columns == 2 ? 7 : columns == 3 ? 3 : 0;
        if (put != 0) q->put_Columns(static_cast<SHORT>(put));
        q->Symbology = kSymbologyPdf417;
        ASSERT_EQ(q->GetActualRC(&rows, &pdfColumns), S_OK);
        EXPECT_EQ(pdfColumns.iVal, put != 0 ? put : 5) << columns << " columns";
    }
}

// Splitting data over a Macro set asks how much of it one symbol holds.
TEST(MicroFitting, HoldsWhatTheLargestSizeHolds) {
    EXPECT_EQ(MicroObject(Repeated("\x80", 200), {})->FittingDataLength(), 150);  // zint's 4 × 44
}

}  // namespace
}  // namespace encoder_test
