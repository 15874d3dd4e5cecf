// The symbol options end to end: the component draws the symbol, the codewords are read back
// from the picture's modules, and zxing-cpp decodes it. The codewords are held to the forms
// the standard (and issue 22, which quotes it) gives, zxing-cpp to the data and what it
// reports beside it: the ECI, the error-correction level, and the Macro PDF417 segment.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/encoder/EncoderTestSupport.h"
#include "tests/support/BarcodeDecoder.h"
#include "tests/support/RequestHelpers.h"
#include "tests/support/SymbolModules.h"
#include "tests/support/TestQuillon.h"
#include "tests/support/TildeEscapes.h"

namespace encoder_test {
namespace {

constexpr int kModule = 2;               // pixels
constexpr int kRowHeight = 3 * kModule;  // Y2XRatio 3
constexpr int kQuietZone = 4 * kModule;  // around the symbol

// Puts the bytes, as tilde escapes where a byte is no printable ASCII character.
void PutBytes(TestQuillon& q, const Bytes& bytes) {
    const std::string text = TildeEscaped(bytes, true);
    ASSERT_EQ(PutData(q, std::u16string(text.begin(), text.end())), S_OK);
    q.put_HandleTilde(VARIANT_TRUE);
}

// The object's symbol drawn upright with a quiet zone around it.
DecodedPng Draw(TestQuillon& q) {
    q.put_NarrowBarWidth(kModule * 2.54 / 96.0);
    q.put_Y2XRatio(3.0f);
    VARIANT width, height;
    VariantInit(&width);
    VariantInit(&height);
    if (q.GetActualSize(&width, &height) != S_OK) return {};
    q.put_Width(static_cast<SHORT>(width.lVal + 2 * kQuietZone));
    q.put_Height(static_cast<SHORT>(height.lVal + 2 * kQuietZone));
    VARIANT picture;
    VariantInit(&picture);
    if (q.get_PNGImage(&picture) != S_OK) return {};
    const std::vector<std::uint8_t> file = BytesOf(picture);
    VariantClear(&picture);
    return ReadPng(file.data(), file.size());
}

Codewords Head(const Codewords& cells, size_t n) {
    return Codewords(cells.begin(), cells.begin() + static_cast<long>(std::min(n, cells.size())));
}
Codewords Tail(const Codewords& cells, size_t n) {
    return Codewords(cells.end() - static_cast<long>(std::min(n, cells.size())), cells.end());
}

struct PictureCase {
    const char* name;
    Bytes data;
    std::function<void(QuillonState&)> settings;
    Codewords afterDescriptor;  // the data area's first cells after the length descriptor
    Codewords dataAreaEnd;      // its last cells
    const char* source;
    // What zxing-cpp reports.
    bool eci = false;
    int ecLevel = 2;
    int sequenceIndex = -1;
    int sequenceSize = -1;
    const char* sequenceId = "";
};

void PrintTo(const PictureCase& c, std::ostream* os) {
    *os << c.name;
}

Bytes Digits(int n) {
    Bytes digits;
    for (int i = 0; i < n; ++i) digits += static_cast<char>('0' + (i * 7 + i / 10) % 10);
    return digits;
}

class SymbolOptionsPicture : public ::testing::TestWithParam<PictureCase> {};

TEST_P(SymbolOptionsPicture, ReadsBackAndDecodes) {
    const PictureCase& c = GetParam();
    auto q = std::make_unique<TestQuillon>();
    PutBytes(*q, c.data);
    c.settings(*q);
    const DecodedPng png = Draw(*q);
    ASSERT_TRUE(png.ok) << c.name;

    const SymbolReading reading = ReadSymbolPicture(png, kModule, kRowHeight);
    ASSERT_TRUE(reading.ok()) << reading.error;
    EXPECT_EQ(reading.codewords, SymbolOf(*q));
    EXPECT_EQ(reading.eccLevel, c.ecLevel);
    const Codewords area = reading.DataArea();
    const Codewords body(area.begin() + 1, area.end());
    EXPECT_EQ(Head(body, c.afterDescriptor.size()), c.afterDescriptor) << c.source;
    EXPECT_EQ(Tail(body, c.dataAreaEnd.size()), c.dataAreaEnd) << c.source;

    const auto decoded = DecodePdf417Symbol(png);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(Bytes(decoded->bytes.begin(), decoded->bytes.end()), c.data);
    EXPECT_EQ(decoded->hasEci, c.eci);
    EXPECT_EQ(decoded->ecLevel, std::to_string(c.ecLevel));
    EXPECT_EQ(decoded->sequenceIndex, c.sequenceIndex);
    EXPECT_EQ(decoded->sequenceSize, c.sequenceSize);
    EXPECT_EQ(decoded->sequenceId, c.sequenceId);
}

const Bytes kUtf8 =
    "Gr\xc3\xbc\xc3\x9f"
    "e, \xe6\x9d\xb1\xe4\xba\xac";  // "Grüße, 東京"

PictureCase Case(const char* name, Bytes data, std::function<void(QuillonState&)> settings,
                 Codewords head, Codewords tail, const char* source) {
    return PictureCase{
        name, std::move(data), std::move(settings), std::move(head), std::move(tail), source};
}

PictureCase WithEci(PictureCase c) {
    c.eci = true;
    return c;
}
PictureCase WithLevel(PictureCase c, int level) {
    c.ecLevel = level;
    return c;
}
PictureCase WithSegment(PictureCase c, int index, int size, const char* id) {
    c.sequenceIndex = index;
    c.sequenceSize = size;
    c.sequenceId = id;
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    Options, SymbolOptionsPicture,
    ::testing::Values(
        WithEci(Case(
            "EciUtf8InByteCompaction", kUtf8, [](QuillonState& q) { q.Eci = 26; }, {927, 26, 901},
            {}, "927 n for n below 900, before the latch (zint 2.11 writes 927 26 901 too)")),
        WithEci(Case(
            "EciUtf8Optimized", kUtf8,
            [](QuillonState& q) {
                q.Eci = 26;
                q.OptimizeCompaction = TRUE;
            },
            {927, 26}, {}, "the designator comes first whatever compaction follows")),
        Case(
            "EciGeneralPurpose", "AB",
            [](QuillonState& q) {
                q.Eci = 1000;
                q.Mode = 1;
            },
            {926, 0, 100, 1}, {}, "issue 22: 1000 is 926 0 100"),
        Case(
            "EciLastGeneralPurpose", "AB",
            [](QuillonState& q) {
                q.Eci = 810899;
                q.Mode = 1;
            },
            {926, 899, 899, 1}, {}, "926 floor(n/900)-1, n mod 900 (zint 2.11 agrees)"),
        Case(
            "EciUserDefined", "AB",
            [](QuillonState& q) {
                q.Eci = 811799;
                q.Mode = 1;
            },
            {925, 899, 1}, {}, "925 n-810900 (zint 2.11 agrees)"),
        WithLevel(Case(
                      "TwoThousandDigitsAtLevel0", Digits(2000),
                      [](QuillonState& q) {
                          q.EccLevel = 0;
                          q.OptimizeCompaction = TRUE;
                          q.Columns = 30;
                      },
                      {902}, {},
                      "issue 22: 2,000 digits need numeric compaction to fit at level 0"),
                  0),
        WithSegment(Case(
                        "MacroMiddleSegment", "The middle of three",
                        [](QuillonState& q) {
                            q.MacroSegmentIndex = 1;
                            q.MacroSegmentCount = 3;
                            ASSERT_TRUE(ParseMacroFileId("123456", q.MacroFileId));
                            q.Rows = 12;  // room for pad codewords before the block
                        },
                        {}, {928, 111, 101, 123, 456, 923, 1, 111, 103},
                        "issue 22: index 1 is 111 101, file ID 123 456; zint 2.11 writes the "
                        "same for its segment 2 of 3"),
                    1, 3, "123456"),
        WithSegment(Case(
                        "MacroLastSegment", "The last of three",
                        [](QuillonState& q) {
                            q.MacroSegmentIndex = 2;
                            q.MacroSegmentCount = 3;
                            ASSERT_TRUE(ParseMacroFileId("123456", q.MacroFileId));
                        },
                        {}, {928, 111, 102, 123, 456, 923, 1, 111, 103, 922},
                        "the terminator 922 on index count - 1 (zint 2.11 agrees)"),
                    2, 3, "123456"),
        WithSegment(Case(
                        "MacroWithoutCount", "Somewhere in a set",
                        [](QuillonState& q) { q.MacroSegmentIndex = 0; }, {}, {928, 111, 100, 0},
                        "index 0 and the default file ID 000, no fields"),
                    0, 0, "000"),
        WithLevel(Case(
                      "AutoErrorCorrection", Bytes(200, 'x'),
                      [](QuillonState& q) { q.AutoErrorCorrection = TRUE; }, {901}, {},
                      "200 bytes: 169 data codewords, and 161-320 recommend level 4"),
                  4)),
    [](const auto& info) { return std::string(info.param.name); });

// A Macro set of three symbols, decoded in any order and joined, gives back the data.
TEST(MacroSet, ZxingJoinsTheSegmentsIntoTheData) {
    const Bytes data = "Tax form 2024, page 1 of 1: " + Digits(300) + " \xe9\x80\x81 end";
    const size_t third = data.size() / 3 + 1;
    std::vector<DecodedPng> pictures;
    for (int index : {2, 0, 1}) {
        auto q = std::make_unique<TestQuillon>();
        PutBytes(*q, data.substr(static_cast<size_t>(index) * third, third));
        q->OptimizeCompaction = TRUE;
        q->MacroSegmentIndex = index;
        q->MacroSegmentCount = 3;
        ASSERT_TRUE(ParseMacroFileId("017053", q->MacroFileId));
        pictures.push_back(Draw(*q));
        const auto decoded = DecodePdf417Symbol(pictures.back());
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(decoded->sequenceIndex, index);
        EXPECT_EQ(decoded->sequenceSize, 3);
        EXPECT_EQ(decoded->sequenceId, "017053");
    }
    const auto joined = JoinPdf417Set(pictures);
    ASSERT_TRUE(joined.has_value());
    EXPECT_EQ(Bytes(joined->begin(), joined->end()), data);
    pictures.pop_back();
    EXPECT_FALSE(JoinPdf417Set(pictures).has_value());
}

// The requests refuse what the encoder refused, and say why.
TEST(SymbolOptionsRequests, RefusalsNameTheSettingsThatCauseThem) {
    const struct {
        const char* name;
        std::function<void(TestQuillon&)> settings;
        HRESULT hr;
        const char* said;
    } cases[] = {
        {"SegmentOutsideItsSet",
         [](TestQuillon& q) {
             q.MacroSegmentIndex = 3;
             q.MacroSegmentCount = 3;
         },
         E_INVALIDARG, "MacroSegmentIndex 3 is not below MacroSegmentCount 3"},
        {"RaisedLevelLeavesNoRoom",
         [](TestQuillon& q) {
             PutBytes(q, Bytes(1035, 'x'));
             q.put_Columns(29);
             q.AutoErrorCorrection = TRUE;
         },
         QUILLON_E_DATA_DOES_NOT_FIT, "(AutoErrorCorrection raised it to 5)"},
    };
    for (const auto& c : cases) {
        auto q = std::make_unique<TestQuillon>();
        c.settings(*q);
        VARIANT rows, columns, picture;
        VariantInit(&rows);
        VariantInit(&columns);
        VariantInit(&picture);
        EXPECT_EQ(q->GetActualRC(&rows, &columns), c.hr) << c.name;
        const std::string description = TakeErrorDescription();
        EXPECT_NE(description.find(c.said), std::string::npos) << description;
        EXPECT_EQ(q->get_PNGImage(&picture), c.hr) << c.name;
        TakeErrorDescription();
        VariantClear(&picture);
    }
}

}  // namespace
}  // namespace encoder_test
