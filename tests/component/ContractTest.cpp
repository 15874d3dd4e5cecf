// The property table of the public contract against the component itself: every range edge
// is kept or ignored by the accessor exactly as the table says, and the defaults it states
// are a new object's settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "component/contract/QuillonProperties.h"
#include "platform/Runtime.h"
#include "tests/support/RequestHelpers.h"
#include "tests/support/TestQuillon.h"

namespace {

// How a test reaches one property of the object: the typed put, and the field it lands in
// (as the double the value becomes once stored).
struct Accessor {
    const char* name;
    std::function<HRESULT(CQuillon&, double)> put;
    std::function<double(const CQuillon&)> stored;
};

const std::vector<Accessor>& Accessors() {
    using Q = CQuillon;
    auto s16 = [](double v) { return static_cast<SHORT>(v); };
    static const std::vector<Accessor> accessors = {
        {"BorderStyle", [=](Q& q, double v) { return q.put_BorderStyle(s16(v)); },
         [](const Q& q) { return double(q.BorderStyle); }},
        {"ErrorCorrectionLevel", [=](Q& q, double v) { return q.put_ErrorCorrectionLevel(s16(v)); },
         [](const Q& q) { return double(q.EccLevel); }},
        {"Orientation", [=](Q& q, double v) { return q.put_Orientation(s16(v)); },
         [](const Q& q) { return double(q.Orientation); }},
        {"Columns", [=](Q& q, double v) { return q.put_Columns(s16(v)); },
         [](const Q& q) { return double(q.Columns); }},
        {"Rows", [=](Q& q, double v) { return q.put_Rows(s16(v)); },
         [](const Q& q) { return double(q.Rows); }},
        {"Y2XRatio", [](Q& q, double v) { return q.put_Y2XRatio(static_cast<FLOAT>(v)); },
         [](const Q& q) { return double(q.Y2XRatio); }},
        {"Width", [=](Q& q, double v) { return q.put_Width(s16(v)); },
         [](const Q& q) { return double(q.ImageWidth); }},
        {"Height", [=](Q& q, double v) { return q.put_Height(s16(v)); },
         [](const Q& q) { return double(q.ImageHeight); }},
        {"NarrowBarWidth", [](Q& q, double v) { return q.put_NarrowBarWidth(v); },
         [](const Q& q) { return double(q.NarrowBarWidth); }},
        // Colours keep their low 24 bits; the edge values below differ there.
        {"BackColor", [](Q& q, double v) { return q.put_BackColor(static_cast<LONG>(v)); },
         [](const Q& q) { return double(q.BackColor); }},
        {"BarColor", [](Q& q, double v) { return q.put_BarColor(static_cast<LONG>(v)); },
         [](const Q& q) { return double(q.BarColor); }},
        {"Mode", [=](Q& q, double v) { return q.put_Mode(s16(v)); },
         [](const Q& q) { return double(q.Mode); }},
        {"Eci", [](Q& q, double v) { return q.put_Eci(static_cast<LONG>(v)); },
         [](const Q& q) { return double(q.Eci); }},
        {"MacroSegmentIndex",
         [](Q& q, double v) { return q.put_MacroSegmentIndex(static_cast<LONG>(v)); },
         [](const Q& q) { return double(q.MacroSegmentIndex); }},
        {"MacroSegmentCount",
         [](Q& q, double v) { return q.put_MacroSegmentCount(static_cast<LONG>(v)); },
         [](const Q& q) { return double(q.MacroSegmentCount); }},
        {"Symbology", [](Q& q, double v) { return q.put_Symbology(static_cast<LONG>(v)); },
         [](const Q& q) { return double(q.Symbology); }},
        {"MicroColumns", [](Q& q, double v) { return q.put_MicroColumns(static_cast<LONG>(v)); },
         [](const Q& q) { return double(q.MicroColumns); }},
        {"MicroRows", [](Q& q, double v) { return q.put_MicroRows(static_cast<LONG>(v)); },
         [](const Q& q) { return double(q.MicroRows); }},
    };
    return accessors;
}

const Accessor* AccessorOf(const char* name) {
    for (const Accessor& a : Accessors()) {
        if (std::string(a.name) == name) return &a;
    }
    return nullptr;
}

// What the object keeps of an accepted value.
double Kept(const QuillonProperty& p, double v) {
    if (p.type == VT_R4 || p.type == VT_R8) return static_cast<float>(v);
    if (p.dispid == DISPID_QUILLON_BACKCOLOR || p.dispid == DISPID_QUILLON_BARCOLOR) {
        return static_cast<double>(static_cast<std::uint32_t>(v) & 0xFFFFFF);
    }
    return v;
}

// The booleans: a put, and whether the object's setting is on.
struct Switch {
    DISPID dispid;
    HRESULT (CQuillon::*put)(VARIANT_BOOL);
    BOOL QuillonState::*setting;
};
constexpr Switch kSwitches[] = {
    {DISPID_QUILLON_TRUNCATESYMBOL, &CQuillon::put_TruncateSymbol, &QuillonState::TruncateSymbol},
    {DISPID_QUILLON_HANDLETILDE, &CQuillon::put_HandleTilde, &QuillonState::HandleTilde},
    {DISPID_QUILLON_OPTIMIZECOMPACTION, &CQuillon::put_OptimizeCompaction,
     &QuillonState::OptimizeCompaction},
    {DISPID_QUILLON_AUTOERRORCORRECTION, &CQuillon::put_AutoErrorCorrection,
     &QuillonState::AutoErrorCorrection},
};

bool IsInteger(const QuillonProperty& p) {
    return p.values == PropertyValues::kIntegers || p.values == PropertyValues::kIntegerList;
}

// The values at every edge of a property's range, or beside every value of its list, as far as
// its declared type reaches.
std::vector<double> EdgeValues(const QuillonProperty& p) {
    if (IsInteger(p)) {
        const double type_low = p.type == VT_I2 ? -32768.0 : -2147483648.0;
        const double type_high = p.type == VT_I2 ? 32767.0 : 2147483647.0;
        std::vector<double> values = {type_low, type_high};
        const auto beside = [&](double v) { values.insert(values.end(), {v - 1, v, v + 1}); };
        if (p.values == PropertyValues::kIntegers) {
            beside(p.integers.low);
            beside(p.integers.high);
        }
        for (std::int32_t v : p.listed.values) beside(v);
        std::erase_if(values, [&](double v) { return v < type_low || v > type_high; });
        return values;
    }
    const float above = static_cast<float>(p.reals.above);
    const float at_most = static_cast<float>(p.reals.at_most);
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<double> values = {above,
                                  std::nextafter(above, inf),
                                  std::nextafter(above, -inf),
                                  at_most,
                                  std::nextafter(at_most, -inf),
                                  std::nextafter(at_most, inf),
                                  -1.0,
                                  std::numeric_limits<double>::quiet_NaN(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::infinity()};
    if (p.type == VT_R8) {
        // Doubles that single precision turns into 0 or infinity.
        values.push_back(1e-50);
        values.push_back(1e39);
        values.push_back(std::nextafter(static_cast<double>(FLT_MAX), 1e300));
    }
    return values;
}

// A value the object keeps that it would keep differently from v, to start from.
double StartValue(const QuillonProperty& p, double v) {
    const std::span<const std::int32_t> listed = p.listed.values;
    const std::vector<double> candidates =
        p.values == PropertyValues::kReals
            ? std::vector<double>{p.reals.at_most / 2, p.reals.at_most}
        : p.values == PropertyValues::kIntegerList
            ? std::vector<double>{double(listed.front()), double(listed.back())}
            : std::vector<double>{double(p.integers.low), double(p.integers.high),
                                  double(p.integers.low + 1)};
    for (double c : candidates) {
        if (Kept(p, c) != Kept(p, v)) return c;
    }
    return candidates[0];
}

VARIANT Converted(const QuillonProperty& p, double v) {
    VARIANT value;
    VariantInit(&value);
    value.vt = p.type;
    switch (p.type) {
        case VT_I2:
            value.iVal = static_cast<SHORT>(v);
            break;
        case VT_I4:
            value.lVal = static_cast<LONG>(v);
            break;
        case VT_R4:
            value.fltVal = static_cast<FLOAT>(v);
            break;
        default:
            value.dblVal = v;
    }
    return value;
}

TEST(Contract, EveryRangeEdgeIsKeptOrIgnoredAsTheTableSays) {
    for (const QuillonProperty& p : QuillonProperties()) {
        if (!IsInteger(p) && p.values != PropertyValues::kReals) continue;
        const Accessor* accessor = AccessorOf(p.name);
        ASSERT_NE(accessor, nullptr) << p.name;
        for (double v : EdgeValues(p)) {
            SCOPED_TRACE(std::string(p.name) + " = " + std::to_string(v));
            auto q = std::make_unique<TestQuillon>();
            const double start = StartValue(p, v);
            ASSERT_EQ(accessor->put(*q, start), S_OK);
            ASSERT_EQ(accessor->stored(*q), Kept(p, start));
            ASSERT_NE(Kept(p, start), Kept(p, v));
            EXPECT_EQ(accessor->put(*q, v), S_OK);
            const bool kept = accessor->stored(*q) != Kept(p, start);
            EXPECT_EQ(kept, p.Accepts(Converted(p, v)));
            if (kept) {
                EXPECT_EQ(accessor->stored(*q), Kept(p, v));
            }
        }
    }
}

TEST(Contract, TheDefaultsAreANewObjectsSettings) {
    auto fresh = std::make_unique<TestQuillon>();
    auto set = std::make_unique<TestQuillon>();
    for (const QuillonProperty& p : QuillonProperties()) {
        SCOPED_TRACE(p.name);
        VARIANT text, value;
        VariantInit(&text);
        VariantInit(&value);
        const std::u16string written(p.default_value,
                                     p.default_value + std::strlen(p.default_value));
        text.vt = VT_BSTR;
        text.bstrVal = SysAllocStringLen(written.data(), static_cast<UINT>(written.size()));
        ASSERT_EQ(VariantChangeType(&value, &text, 0, p.type), S_OK);
        if (IsInteger(p) || p.values == PropertyValues::kReals) {
            const Accessor* accessor = AccessorOf(p.name);
            ASSERT_NE(accessor, nullptr);
            // A default inside the range must be what a new object holds; Rows' 0 is the one
            // default that no put can give back.
            if (p.Accepts(value)) {
                const double v = p.type == VT_I2   ? value.iVal
                                 : p.type == VT_I4 ? value.lVal
                                 : p.type == VT_R4 ? value.fltVal
                                                   : value.dblVal;
                EXPECT_EQ(accessor->stored(*fresh), Kept(p, v));
                EXPECT_EQ(accessor->put(*set, v), S_OK);
            } else {
                EXPECT_EQ(accessor->stored(*fresh), 0.0);
            }
        } else if (p.type == VT_BOOL) {
            const Switch* s = std::find_if(std::begin(kSwitches), std::end(kSwitches),
                                           [&](const Switch& s) { return s.dispid == p.dispid; });
            ASSERT_NE(s, std::end(kSwitches));
            EXPECT_EQ((*fresh).*(s->setting) != 0, value.boolVal == VARIANT_TRUE);
            EXPECT_EQ(((*set).*(s->put))(value.boolVal), S_OK);
        } else if (p.dispid == DISPID_QUILLON_MACROFILEID) {
            BSTR now = nullptr;
            ASSERT_EQ(fresh->get_MacroFileId(&now), S_OK);
            EXPECT_EQ(std::u16string(now), written);
            SysFreeString(now);
            EXPECT_EQ(set->put_MacroFileId(value.bstrVal), S_OK);
        } else {
            EXPECT_EQ(set->put_Data(value.bstrVal), S_OK);
        }
        VariantClear(&text);
        VariantClear(&value);
    }
    // The same settings draw the same file.
    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    ASSERT_EQ(fresh->get_PNGImage(&a), S_OK);
    ASSERT_EQ(set->get_PNGImage(&b), S_OK);
    EXPECT_EQ(BytesOf(a), BytesOf(b));
    VariantClear(&a);
    VariantClear(&b);
}

TEST(Contract, AcceptedTextsReadAsTheRanges) {
    const struct {
        const char* name;
        const char* accepted;
    } cases[] = {
        {"Data", "text of at most 4999 bytes"},
        {"ErrorCorrectionLevel", "0..8"},
        {"Columns", "2..30"},
        {"Width", "1..32767"},
        {"BackColor", "0..2147483647"},
        {"Y2XRatio", "above 0, at most 5"},
        {"NarrowBarWidth", "above 0"},
        {"HandleTilde", "True or False"},
        {"Eci", "0..811799"},
        {"MacroSegmentIndex", "-1..99998"},
        {"MacroFileId", "3 to 30 decimal digits, in groups of three from 000 to 899"},
        {"MicroRows", "one of 0, 4, 6, 8, 10, 11, 12, 14, 15, 17, 20, 23, 24, 26, 28, 32, 38, 44"},
    };
    for (const auto& c : cases) {
        const QuillonProperty* p = FindQuillonProperty(c.name);
        ASSERT_NE(p, nullptr) << c.name;
        EXPECT_EQ(p->AcceptedText(), c.accepted) << c.name;
    }
    EXPECT_EQ(FindQuillonProperty("narrowbarwidth"), FindQuillonProperty("NarrowBarWidth"));
    EXPECT_EQ(FindQuillonProperty("PNGImage"), nullptr);
}

// The README shows the same table to people; it must say what the contract says.
TEST(Contract, TheReadmeTableIsTheContract) {
    std::ifstream readme(QUILLON_README);
    ASSERT_TRUE(readme.is_open());
    // The rows under the table's heading, up to the first line that is not a row.
    std::vector<std::string> rows;
    bool in_table = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("| Property | Type | Default | Accepted | Meaning |", 0) == 0) {
            in_table = true;
        } else if (in_table && line.rfind("| `", 0) == 0) {
            rows.push_back(line);
        } else if (in_table && line.rfind("|---", 0) != 0) {
            break;
        }
    }
    std::vector<std::string> expected;
    for (const QuillonProperty& p : QuillonProperties()) {
        expected.push_back("| `" + std::string(p.name) + "` | " + p.type_name + " | " +
                           p.default_value + " | " + p.AcceptedText() + " | " + p.help + " |");
    }
    EXPECT_EQ(rows, expected);
}

}  // namespace
