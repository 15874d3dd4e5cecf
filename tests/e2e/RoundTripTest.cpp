// Symbols drawn by the component, written as PNG files, read back with libpng and decoded by
// zxing-cpp: for a few hundred generated settings the decoder returns exactly the bytes put
// in. Settings a decoder cannot read by nature are checked not to decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "component/ComponentError.h"
#include "tests/support/BarcodeDecoder.h"
#include "tests/support/PngReader.h"
#include "tests/support/RequestHelpers.h"
#include "tests/support/TestQuillon.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kCases = 150;  // the sanitizer build runs several times slower
#else
constexpr int kCases = 400;
#endif

constexpr int kDecoderMinimumHeight = 12;

// Colour pairs (back, bar, as 0x00BBGGRR) that keep enough contrast after the read-back's
// reduction to 2 or 16 colours for a decoder working on grey levels.
constexpr LONG kColourPairs[][2] = {
    {0xFFFFFF, 0x000000}, {0xFFFFFF, 0x800000}, {0x00FFFF, 0x000080}, {0xC0C0C0, 0x000000},
    {0xFFFFFF, 0x008000}, {0xF0FFF0, 0x400020}, {0x00FF00, 0x000000}, {0xFFFF00, 0x000080},
};

struct Case {
    int mode = 0;
    int ecc = 0;
    int columns = 3;
    int rows = 0;  // minimum, 0 for none
    bool truncate = false;
    int orientation = 0;
    int colours = 0;
    int border = 0;
    int module = 1;
    float y2x = 3.0f;
    int quiet = 0;  // modules of background around the symbol
    int extra = 0;  // further pixels of picture along and across
    std::vector<std::uint8_t> data;

    std::string Describe() const {
        std::ostringstream s;
        s << "mode " << mode << " ecc " << ecc << " columns " << columns << " rows " << rows
          << " truncate " << truncate << " orientation " << orientation << " colours " << colours
          << " border " << border << " module " << module << " y2x " << y2x << " quiet " << quiet
          << " extra " << extra << " bytes " << data.size();
        return s.str();
    }
};

// Portable draws from the generator's raw output (the distributions of the standard library
// differ between implementations).
class Draw {
public:
    explicit Draw(std::uint32_t seed) : engine_(seed) {}
    int Between(int low, int high) {
        return low + static_cast<int>(engine_() % static_cast<std::uint32_t>(high - low + 1));
    }
    bool Chance(int percent) { return Between(1, 100) <= percent; }

private:
    std::mt19937 engine_;
};

std::vector<std::uint8_t> MakeData(Draw& draw, int mode) {
    static const int kLengths[] = {1, 5, 20, 60, 150, 400, 900};
    const int length = draw.Between(1, kLengths[draw.Between(0, 6)]);
    std::vector<std::uint8_t> data;
    for (int i = 0; i < length; ++i) {
        if (mode == 1) {
            // Text compaction's characters: printable ASCII, tab, line feed, return.
            const int pick = draw.Between(0, 97);
            data.push_back(pick < 95 ? static_cast<std::uint8_t>(32 + pick)
                                     : static_cast<std::uint8_t>("\t\n\r"[pick - 95]));
        } else if (mode == 2 && draw.Chance(70)) {
            data.push_back(static_cast<std::uint8_t>(draw.Between(32, 126)));  // mostly text
        } else {
            data.push_back(static_cast<std::uint8_t>(draw.Between(0, 255)));
        }
    }
    return data;
}

Case MakeCase(Draw& draw) {
    Case c;
    c.mode = draw.Between(0, 2);
    c.ecc = draw.Between(0, 8);
    c.columns = draw.Between(1, 30);
    c.rows = draw.Chance(25) ? draw.Between(2, 30) : 0;
    c.truncate = draw.Chance(30);
    c.orientation = draw.Between(0, 3);
    c.colours = draw.Chance(50) ? 0 : draw.Between(1, 7);
    c.border = draw.Between(0, 2);
    c.module = draw.Chance(40) ? 1 : draw.Between(2, 4);
    c.y2x = static_cast<float>(draw.Between(2, 5));
    // Two modules of quiet zone at least; a border lies inside the quiet zone, so then four.
    c.quiet = (c.border != 0 ? 4 : 2) + draw.Between(0, 6);
    c.extra = draw.Chance(20) ? draw.Between(20, 300) : 0;
    c.data = MakeData(draw, c.mode);
    return c;
}

// Puts the case's settings. The data goes in as tilde escapes, so every byte value 0..255
// reaches the symbol exactly.
void Apply(TestQuillon& q, const Case& c) {
    std::u16string escaped;
    for (std::uint8_t b : c.data) {
        escaped += u"~d";
        escaped += static_cast<char16_t>(u'0' + b / 100);
        escaped += static_cast<char16_t>(u'0' + b / 10 % 10);
        escaped += static_cast<char16_t>(u'0' + b % 10);
    }
    ASSERT_EQ(PutData(q, escaped), S_OK);
    q.put_HandleTilde(VARIANT_TRUE);
    q.put_Mode(static_cast<SHORT>(c.mode));
    q.put_ErrorCorrectionLevel(static_cast<SHORT>(c.ecc));
    if (c.columns == 1) {
        q.Columns = 1;  // below what the property accepts; the encoder handles it
    } else {
        q.put_Columns(static_cast<SHORT>(c.columns));
    }
    if (c.rows > 0) q.put_Rows(static_cast<SHORT>(c.rows));
    q.put_TruncateSymbol(c.truncate ? VARIANT_TRUE : VARIANT_FALSE);
    q.put_Orientation(static_cast<SHORT>(c.orientation));
    q.put_BackColor(kColourPairs[c.colours][0]);
    q.put_BarColor(kColourPairs[c.colours][1]);
    q.put_BorderStyle(static_cast<SHORT>(c.border));
    // Exactly c.module pixels at 96 pixels per inch.
    q.put_NarrowBarWidth(c.module * 2.54 / 96.0);
    q.put_Y2XRatio(c.y2x);
}

struct Measured {
    HRESULT hr;
    int along, across;
};

Measured Measure(TestQuillon& q) {
    VARIANT width, height;
    VariantInit(&width);
    VariantInit(&height);
    const HRESULT hr = q.GetActualSize(&width, &height);
    return {hr, width.lVal, height.lVal};
}

// The picture, sized along and across the symbol's rows and turned with it.
void SetPictureSize(TestQuillon& q, int along, int across, int orientation) {
    const bool turned = orientation % 2 == 1;
    q.put_Width(static_cast<SHORT>(turned ? across : along));
    q.put_Height(static_cast<SHORT>(turned ? along : across));
}

struct Outcome {
    HRESULT hr = E_FAIL;
    DecodedPng png;
    std::optional<std::vector<std::uint8_t>> decoded;
};

Outcome DrawAndDecode(TestQuillon& q, DecodeEffort effort = DecodeEffort::SearchThenPure) {
    Outcome out;
    VARIANT v;
    VariantInit(&v);
    out.hr = q.get_PNGImage(&v);
    const std::vector<std::uint8_t> file = BytesOf(v);
    VariantClear(&v);
    if (FAILED(out.hr)) return out;
    out.png = ReadPng(file.data(), file.size());
    out.decoded = DecodePdf417(out.png, effort);
    return out;
}

TEST(RoundTrip, GeneratedSymbolsDecodeToTheirBytes) {
    Draw draw(20240611u);
    int decoded = 0, did_not_fit = 0, attempts = 0;
    int by_mode[3] = {}, by_orientation[4] = {}, truncated = 0, bordered = 0, coloured = 0;
    int one_pixel = 0, with_min_rows = 0;
    while (decoded < kCases && attempts < 3 * kCases) {
        ++attempts;
        const Case c = MakeCase(draw);
        auto q = std::make_unique<TestQuillon>();
        Apply(*q, c);
        Measured m = Measure(*q);
        if (m.hr == S_OK && m.across < kDecoderMinimumHeight) {
            // zxing's detector does not look for symbols under 10 pixels high; taller rows
            // give it one to find.
            q->put_Y2XRatio(5.0f);
            m = Measure(*q);
        }
        if (m.hr == QUILLON_E_DATA_DOES_NOT_FIT) {
            // The picture request must agree.
            VARIANT v;
            VariantInit(&v);
            EXPECT_EQ(q->get_PNGImage(&v), QUILLON_E_DATA_DOES_NOT_FIT) << c.Describe();
            TakeErrorDescription();
            ++did_not_fit;
            continue;
        }
        ASSERT_EQ(m.hr, S_OK) << c.Describe();
        const int quiet = c.quiet * c.module;
        SetPictureSize(*q, m.along + 2 * quiet + c.extra, m.across + 2 * quiet + c.extra,
                       c.orientation);
        const Outcome out = DrawAndDecode(*q);
        ASSERT_EQ(out.hr, S_OK) << c.Describe();
        ASSERT_TRUE(out.png.ok) << out.png.error << " " << c.Describe();
        ASSERT_TRUE(out.decoded.has_value()) << "not decoded: " << c.Describe();
        ASSERT_EQ(*out.decoded, c.data) << c.Describe();
        ++decoded;
        ++by_mode[c.mode];
        ++by_orientation[c.orientation];
        truncated += c.truncate ? 1 : 0;
        bordered += c.border != 0 ? 1 : 0;
        coloured += c.colours != 0 ? 1 : 0;
        one_pixel += c.module == 1 ? 1 : 0;
        with_min_rows += c.rows > 0 ? 1 : 0;
    }
    EXPECT_EQ(decoded, kCases);
    // The generated cases cover what they are meant to cover.
    for (int n : by_mode) EXPECT_GT(n, kCases / 10);
    for (int n : by_orientation) EXPECT_GT(n, kCases / 10);
    EXPECT_GT(truncated, kCases / 10);
    EXPECT_GT(bordered, kCases / 10);
    EXPECT_GT(coloured, kCases / 10);
    EXPECT_GT(one_pixel, kCases / 10);
    EXPECT_GT(with_min_rows, kCases / 10);
    EXPECT_GT(did_not_fit, 0);
}

// Every byte value, a single data column, and long data of each kind.
TEST(RoundTrip, EveryByteValueAndLongData) {
    std::vector<Case> cases;
    Case all_bytes;
    all_bytes.mode = 0;
    all_bytes.ecc = 4;
    all_bytes.columns = 12;
    for (int b = 0; b < 256; ++b) all_bytes.data.push_back(static_cast<std::uint8_t>(b));
    cases.push_back(all_bytes);
    all_bytes.mode = 2;
    cases.push_back(all_bytes);
    Case long_text;
    long_text.mode = 1;
    long_text.columns = 30;
    for (int i = 0; i < 900; ++i)
        long_text.data.push_back(static_cast<std::uint8_t>("ab9 ,X"[i % 6]));
    cases.push_back(long_text);
    Case one_column;  // one data column, which only the encoder's own default range allows
    one_column.mode = 1;
    one_column.columns = 1;
    one_column.module = 2;
    for (char ch : std::string("One column"))
        one_column.data.push_back(static_cast<std::uint8_t>(ch));
    cases.push_back(one_column);
    Case long_bytes;
    long_bytes.mode = 0;
    long_bytes.columns = 30;
    for (int i = 0; i < 900; ++i) long_bytes.data.push_back(static_cast<std::uint8_t>(i * 131 + 7));
    cases.push_back(long_bytes);
    for (const Case& c : cases) {
        auto q = std::make_unique<TestQuillon>();
        Apply(*q, c);
        const Measured m = Measure(*q);
        ASSERT_EQ(m.hr, S_OK) << c.Describe();
        SetPictureSize(*q, m.along + 8, m.across + 8, c.orientation);
        const Outcome out = DrawAndDecode(*q);
        ASSERT_EQ(out.hr, S_OK);
        ASSERT_TRUE(out.decoded.has_value()) << c.Describe();
        EXPECT_EQ(*out.decoded, c.data) << c.Describe();
    }
}

// A symbol much larger than its picture is cut off at the picture's edges, and a row height
// of 0 paints no bar at all: neither can be decoded, and neither is.
TEST(RoundTrip, PicturesThatCannotShowTheSymbolDoNotDecode) {
    Draw draw(77u);
    for (int i = 0; i < 40; ++i) {
        Case c = MakeCase(draw);
        c.data.resize(std::min<std::size_t>(c.data.size(), 100));
        auto q = std::make_unique<TestQuillon>();
        Apply(*q, c);
        const bool flat = i % 2 == 1;
        if (flat) q->put_Y2XRatio(0.4f / static_cast<float>(c.module));
        const Measured m = Measure(*q);
        if (m.hr != S_OK) continue;
        if (flat) {
            ASSERT_EQ(m.across, 0);
            SetPictureSize(*q, m.along + 20, 50, c.orientation);
        } else {
            SetPictureSize(*q, std::max(1, m.along / 3), std::max(1, m.across / 3), c.orientation);
        }
        const Outcome out = DrawAndDecode(*q, DecodeEffort::Search);
        ASSERT_EQ(out.hr, S_OK) << c.Describe();
        ASSERT_TRUE(out.png.ok);
        EXPECT_FALSE(out.decoded.has_value()) << (flat ? "flat " : "cut ") << c.Describe();
    }
}

}  // namespace
