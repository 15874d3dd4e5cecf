// MicroPDF417 (Symbology 1). No common decoder reads it, so each symbol is read back from the
// component's own PNG (tests/support/MicroSymbolModules.h: row address patterns, clusters,
// codewords), its error correction checked against the generator's roots, and its data decoded
// by the test decoder from the PDF417 rules; painted on a device, the picture is the same.
// Then the size choice, its errors, the measuring requests, and the caller's Columns, which a
// MicroPDF417 symbol must not take over.
#include <gtest/gtest.h>

#include <functional>

#include "render/SymbolGeometry.h"
#include "tests/encoder/EncoderTestSupport.h"
#include "tests/encoder/ReferenceDecoder.h"
#include "tests/support/MicroSymbolModules.h"
#include "tests/support/NamedCases.h"
#include "tests/support/RequestHelpers.h"
#include "tests/support/TestQuillon.h"
#include "tests/support/TildeEscapes.h"

namespace encoder_test {
namespace {

using Settings = std::function<void(QuillonState&)>;

void PutBytes(TestQuillon& q, const Bytes& bytes) {
    const std::string text = TildeEscaped(bytes, true);
    ASSERT_EQ(PutData(q, std::u16string(text.begin(), text.end())), S_OK);
    q.put_HandleTilde(VARIANT_TRUE);
}

std::unique_ptr<TestQuillon> Micro(const Bytes& data, const Settings& settings) {
    auto q = std::make_unique<TestQuillon>();
    PutBytes(*q, data);
    q->Symbology = kSymbologyMicroPdf417;
    settings(*q);
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
    Settings settings;
    Codewords head;  // the first data codewords
    const char* source;
    std::vector<int> ecis = {};
    int macroIndex = -1;
    bool macroLast = false;
};
NAMED_CASES(MicroReadBack, ReadBackCase);

TEST_P(MicroReadBack, DecodesToTheData) {
    const ReadBackCase& c = GetParam();
    auto q = Micro(c.data, c.settings);
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
    EXPECT_EQ(decoded.ecis, c.ecis);
    EXPECT_EQ(decoded.macroIndex, c.macroIndex);
    EXPECT_EQ(decoded.macroLast, c.macroLast);
}

const Settings kText = [](QuillonState& q) { q.Mode = 1; };
const Settings kMixed = [](QuillonState& q) { q.Mode = 2; };
const Settings kOptimized = [](QuillonState& q) { q.OptimizeCompaction = TRUE; };
const Bytes kUtf8 =
    "Gr\xc3\xbc\xc3\x9f"
    "e, \xe6\x9d\xb1\xe4\xba\xac";  // "Grüße, 東京"
const Bytes kBytes = "\x80\x81\x82\x83\x84\x85\xfe\xff\x01";

INSTANTIATE_NAMED_CASES(
    Micro, MicroReadBack,
    ReadBackCase{"Text", "Hello, World", kText, {900}, "a symbol starts in byte compaction"},
    ReadBackCase{"TextOptimized", "ABC def", kOptimized, {900}, "zint and bwip-js latch too"},
    ReadBackCase{"Digits", Repeated("0123456789", 9), kOptimized, {902}, "numeric compaction"},
    ReadBackCase{"DigitsAsBytes", "12345", [](QuillonState&) {}, {901, 49}, "Mode 0: bytes"},
    ReadBackCase{"Bytes", kBytes, [](QuillonState&) {}, {901}, "9 bytes: not a multiple of 6"},
    ReadBackCase{"SixBytes", "\x80\x81\x82\x83\x84\x85", kOptimized, {924}, "a multiple of 6"},
    ReadBackCase{"LeadingByte",
                 "\x80"
                 "ABCDEFGHIJ",
                 kOptimized,
                 {901, 128, 900},
                 "901 b, never 913 b"},
    ReadBackCase{"Mixed", "Order 1234567890123 \x80\x81 ok", kMixed, {900}, "text first"},
    ReadBackCase{"MixedOptimized", "Order 1234567890123 \x80\x81 ok", kOptimized, {900}, ""},
    ReadBackCase{"TextFallsBackToMixed", "\xe9t\xe9", kText, {901, 233, 900}, "Mode 1 falls to 2"},
    ReadBackCase{"Eci26Utf8",
                 kUtf8,
                 [](QuillonState& q) { q.Eci = 26; },
                 {927, 26, 901},
                 "the designator first, then the latch",
                 {26}},
    ReadBackCase{"Eci26Text",
                 "ABC",
                 [](QuillonState& q) {
                     q.Eci = 26;
                     q.Mode = 1;
                 },
                 {927, 26, 900},
                 "927 26 900, as the peers write it",
                 {26}},
    ReadBackCase{"Empty", "", kOptimized, {900}, "nothing but pad codewords"},
    ReadBackCase{"LargestSymbolFull",
                 Repeated("\x80", 150),
                 [](QuillonState&) {},
                 {924},
                 "150 bytes: what zint fits in 4 x 44 (render/micropdf417-peer-drawings.txt)"},
    ReadBackCase{"MacroSegment",
                 "The middle of three",
                 [](QuillonState& q) {
                     q.MacroSegmentIndex = 1;
                     q.MacroSegmentCount = 3;
                     ASSERT_TRUE(ParseMacroFileId("123456", q.MacroFileId));
                 },
                 {901},
                 "the control block after the data",
                 {},
                 1},
    ReadBackCase{"MacroLastSegment",
                 "The end",
                 [](QuillonState& q) {
                     q.MacroSegmentIndex = 2;
                     q.MacroSegmentCount = 3;
                 },
                 {901},
                 "the terminator 922",
                 {},
                 2,
                 true});

// Sizes: the fewest modules (a row's modules times the rows) of those allowed that hold the
// data. Capacities and modules from the size table: 4 x 4 holds 8 codewords in 396 modules,
// 1 x 11 4 in 418, 2 x 8 8 in 440, 3 x 6 6 in 492, 1 x 14 7 in 532, 4 x 6 12 in 594,
// 1 x 17 10 in 646, 2 x 11 13 in 605, 4 x 44 126.
struct SizeCase {
    const char* name;
    int bytes;  // 0x80 each, in byte compaction: 1 + 5 per 6 + 1 per byte left codewords
    int columns, rows;
    int wantColumns, wantRows;  // 0, 0: does not fit
    const char* message;        // a part of the error's description
};
NAMED_CASES(MicroSize, SizeCase);

TEST_P(MicroSize, IsTheSmallestAllowedThatHolds) {
    const SizeCase& c = GetParam();
    auto q = Micro(Repeated("\x80", c.bytes), [&](QuillonState& s) {
        s.MicroColumns = c.columns;
        s.MicroRows = c.rows;
    });
    VARIANT rows, columns;
    VariantInit(&rows);
    VariantInit(&columns);
    const HRESULT hr = q->GetActualRC(&rows, &columns);
    if (c.wantColumns == 0) {
        EXPECT_EQ(hr, QUILLON_E_DATA_DOES_NOT_FIT);
        EXPECT_NE(TakeErrorDescription().find(c.message), std::string::npos) << c.message;
        return;
    }
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(columns.iVal, c.wantColumns);
    EXPECT_EQ(rows.iVal, c.wantRows);
}

INSTANTIATE_NAMED_CASES(
    Micro, MicroSize, SizeCase{"TwoCodewords", 1, 0, 0, 4, 4, ""},
    SizeCase{"EightFill4x4", 8, 0, 0, 4, 4, ""}, SizeCase{"NineNeed4x6", 9, 0, 0, 4, 6, ""},
    SizeCase{"OneColumnFewestRows", 8, 1, 0, 1, 17, ""},
    SizeCase{"ElevenRowsFewestColumns", 6, 0, 11, 2, 11, ""},
    SizeCase{"BothSet", 1, 2, 8, 2, 8, ""},
    SizeCase{"NoSuchSize", 1, 2, 6, 0, 0, "with 2 columns there are 8, 11, 14, 17, 20, 23 or 26"},
    SizeCase{"RowsNoColumnHas", 1, 0, 5, 0, 0, "the sizes (columns x rows) are 1 x 11, 1 x 14"},
    SizeCase{"SetSizeTooSmall", 4, 1, 11, 0, 0, "takes 5 codewords"},
    SizeCase{"BeyondTheLargest", 151, 0, 0, 0, 0, "4 columns x 44 rows hold 126"});

// ActualWidth counts a row's modules, the stop bar included; ActualHeight its rows.
TEST(MicroMeasuring, CountsTheRowsModules) {
    const int modules[] = {38, 55, 82, 99};  // the widths
    for (int columns = 1; columns <= kMaxMicroColumns; ++columns) {
        auto q = Micro("ABC", [&](QuillonState& s) { s.MicroColumns = columns; });
        q->put_NarrowBarWidth(3 * 2.54 / 96);  // 3 pixels
        q->put_Y2XRatio(2.0f);
        VARIANT width, height;
        VariantInit(&width);
        VariantInit(&height);
        ASSERT_EQ(q->GetActualSize(&width, &height), S_OK);
        EXPECT_EQ(width.lVal, 3 * modules[columns - 1]);
        EXPECT_EQ(height.lVal, 6 * q->ActualRows);
    }
}

// The caller's Columns is PDF417's: a MicroPDF417 symbol in between leaves it as it was set.
TEST(MicroColumns, LeaveThePdf417SettingAlone) {
    for (const bool putBetween : {false, true}) {
        auto q = Micro("Hello", [](QuillonState&) {});
        q->put_Columns(5);
        VARIANT rows, columns;
        VariantInit(&rows);
        VariantInit(&columns);
        ASSERT_EQ(q->GetActualRC(&rows, &columns), S_OK);
        EXPECT_EQ(columns.iVal, 4);  // 4 x 4, the smallest
        if (putBetween) q->put_Columns(7);
        q->Symbology = kSymbologyPdf417;
        ASSERT_EQ(q->GetActualRC(&rows, &columns), S_OK);
        EXPECT_EQ(columns.iVal, putBetween ? 7 : 5);
    }
}

// Splitting data over a Macro set asks how much of it one symbol holds.
TEST(MicroFitting, HoldsWhatTheLargestSizeHolds) {
    auto q = Micro(Repeated("\x80", 200), [](QuillonState&) {});
    EXPECT_EQ(q->FittingDataLength(), 150);  // zint's 4 x 44 (render/micropdf417-peer-drawings.txt)
}

}  // namespace
}  // namespace encoder_test
