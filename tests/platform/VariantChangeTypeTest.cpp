// Conformance table for VariantChangeType. Every row is derived by hand from the Automation
// rules: round half to even, ranges of the target type, English number text ('.' decimal
// point, ',' thousands separator, "&H" hexadecimal), "True"/"False" for booleans.
#include <gtest/gtest.h>

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>
#include <string>

#include "platform/Runtime.h"
#include "tests/support/WithoutDispatch.h"

namespace {

struct Source {
    VARTYPE vt;
    long long integer = 0;
    double real = 0;
    const char16_t* text = nullptr;
};

Source Str(const char16_t* s) {
    return {VT_BSTR, 0, 0, s};
}
Source I2(long long v) {
    return {VT_I2, v};
}
Source I4(long long v) {
    return {VT_I4, v};
}
Source Ui1(long long v) {
    return {VT_UI1, v};
}
Source R4(float v) {
    return {VT_R4, 0, v};
}
Source R8(double v) {
    return {VT_R8, 0, v};
}
Source Bool(bool v) {
    return {VT_BOOL, v ? -1 : 0};
}
Source Empty() {
    return {VT_EMPTY};
}
Source Null() {
    return {VT_NULL};
}

// What the conversion must give: an HRESULT and, on success, the value in the target type.
struct Expect {
    HRESULT hr = S_OK;
    long long integer = 0;
    double real = 0;
    const char16_t* text = nullptr;
};
Expect Int(long long v) {
    return {S_OK, v};
}
Expect Real(double v) {
    return {S_OK, 0, v};
}
Expect Text(const char16_t* s) {
    return {S_OK, 0, 0, s};
}
const Expect kOverflow{DISP_E_OVERFLOW};
const Expect kMismatch{DISP_E_TYPEMISMATCH};
const Expect kTrue = Int(VARIANT_TRUE);
const Expect kFalse = Int(VARIANT_FALSE);

struct Row {
    VARTYPE target;
    Source source;
    Expect expect;
};

const Row kRows[] = {
    // VT_I2 from text: boundaries, rounding, and the forms numbers may take.
    {VT_I2, Str(u"-32769"), kOverflow},
    {VT_I2, Str(u"-32768"), Int(-32768)},
    {VT_I2, Str(u"32767"), Int(32767)},
    {VT_I2, Str(u"32768"), kOverflow},
    {VT_I2, Str(u"40000"), kOverflow},
    {VT_I2, Str(u"1.5"), Int(2)},
    {VT_I2, Str(u"2.5"), Int(2)},
    {VT_I2, Str(u"3.5"), Int(4)},
    {VT_I2, Str(u"-1.5"), Int(-2)},
    {VT_I2, Str(u"-2.5"), Int(-2)},
    {VT_I2, Str(u"0.5"), Int(0)},
    {VT_I2, Str(u"-0.5"), Int(0)},
    {VT_I2, Str(u"2.51"), Int(3)},
    {VT_I2, Str(u"32767.5"), kOverflow},
    {VT_I2, Str(u"32766.5"), Int(32766)},
    {VT_I2, Str(u"-32768.5"), Int(-32768)},
    {VT_I2, Str(u"-32767.5"), Int(-32768)},
    {VT_I2, Str(u""), kMismatch},
    {VT_I2, Str(u"   "), kMismatch},
    {VT_I2, Str(u" 12 "), Int(12)},
    {VT_I2, Str(u"\t-3\r\n"), Int(-3)},
    {VT_I2, Str(u"+7"), Int(7)},
    {VT_I2, Str(u"007"), Int(7)},
    {VT_I2, Str(u"0x10"), kMismatch},
    {VT_I2, Str(u"1e3"), Int(1000)},
    {VT_I2, Str(u"1E+3"), Int(1000)},
    {VT_I2, Str(u"15e-1"), Int(2)},
    {VT_I2, Str(u"1e5"), kOverflow},
    {VT_I2, Str(u"1,5"), Int(15)},
    {VT_I2, Str(u"1,000"), Int(1000)},
    {VT_I2, Str(u",5"), kMismatch},
    {VT_I2, Str(u"&H10"), Int(16)},
    {VT_I2, Str(u"&h7fff"), Int(32767)},
    {VT_I2, Str(u"&HFFFF"), kOverflow},
    {VT_I2, Str(u"&O17"), Int(15)},
    {VT_I2, Str(u"&H"), kMismatch},
    {VT_I2, Str(u"&HG"), kMismatch},
    {VT_I2, Str(u"True"), kMismatch},
    {VT_I2, Str(u"false"), kMismatch},
    {VT_I2, Str(u"abc"), kMismatch},
    {VT_I2, Str(u"12abc"), kMismatch},
    {VT_I2, Str(u"1 2"), kMismatch},
    {VT_I2, Str(u"."), kMismatch},
    {VT_I2, Str(u"-"), kMismatch},
    {VT_I2, Str(u"1e"), kMismatch},
    {VT_I2, Str(u"1.2.3"), kMismatch},
    {VT_I2, Str(u"$5"), kMismatch},
    {VT_I2, Str(u"(5)"), kMismatch},
    // VT_I2 from other types.
    {VT_I2, R8(32767.5), kOverflow},
    {VT_I2, R8(-32768.5), Int(-32768)},
    {VT_I2, R8(-32768.6), kOverflow},
    {VT_I2, R8(2.5), Int(2)},
    {VT_I2, R8(0.49999999999999994), Int(0)},
    {VT_I2, R8(std::numeric_limits<double>::quiet_NaN()), kOverflow},
    {VT_I2, R8(std::numeric_limits<double>::infinity()), kOverflow},
    {VT_I2, R4(1.5f), Int(2)},
    {VT_I2, I4(32768), kOverflow},
    {VT_I2, I4(-32769), kOverflow},
    {VT_I2, I4(-32768), Int(-32768)},
    {VT_I2, Ui1(255), Int(255)},
    {VT_I2, Bool(true), Int(-1)},
    {VT_I2, Bool(false), Int(0)},
    {VT_I2, Empty(), Int(0)},
    {VT_I2, Null(), kMismatch},

    // VT_I4.
    {VT_I4, Str(u"-2147483649"), kOverflow},
    {VT_I4, Str(u"-2147483648"), Int(-2147483648LL)},
    {VT_I4, Str(u"2147483647"), Int(2147483647)},
    {VT_I4, Str(u"2147483648"), kOverflow},
    {VT_I4, Str(u"2147483647.5"), kOverflow},
    {VT_I4, Str(u"2147483646.5"), Int(2147483646)},
    {VT_I4, Str(u"-2147483648.5"), Int(-2147483648LL)},
    {VT_I4, Str(u"1.5"), Int(2)},
    {VT_I4, Str(u"2.5"), Int(2)},
    {VT_I4, Str(u"-1.5"), Int(-2)},
    {VT_I4, Str(u"0.5"), Int(0)},
    {VT_I4, Str(u"40000"), Int(40000)},
    {VT_I4, Str(u"1,000,000"), Int(1000000)},
    {VT_I4, Str(u"&HFFFF"), Int(65535)},
    {VT_I4, Str(u"&H7FFFFFFF"), Int(2147483647)},
    {VT_I4, Str(u"&H80000000"), kOverflow},
    {VT_I4, Str(u"&HFFFFFFFFFFFFFFFFF"), kOverflow},
    {VT_I4, Str(u""), kMismatch},
    {VT_I4, Str(u" 12 "), Int(12)},
    {VT_I4, Str(u"0x10"), kMismatch},
    {VT_I4, Str(u"1e3"), Int(1000)},
    {VT_I4, Str(u"1,5"), Int(15)},
    {VT_I4, Str(u"&H10"), Int(16)},
    {VT_I4, Str(u"True"), kMismatch},
    {VT_I4, Str(u"false"), kMismatch},
    {VT_I4, Str(u"abc"), kMismatch},
    {VT_I4, R8(2147483647.5), kOverflow},
    {VT_I4, R8(-2147483648.5), Int(-2147483648LL)},
    {VT_I4, R8(1e10), kOverflow},
    {VT_I4, R4(-2.5f), Int(-2)},
    {VT_I4, I2(-5), Int(-5)},
    {VT_I4, Bool(true), Int(-1)},
    {VT_I4, Empty(), Int(0)},
    {VT_I4, Null(), kMismatch},

    // VT_UI1: 0..255, and VARIANT_TRUE as a byte is 255.
    {VT_UI1, Str(u"255"), Int(255)},
    {VT_UI1, Str(u"256"), kOverflow},
    {VT_UI1, Str(u"-1"), kOverflow},
    {VT_UI1, Str(u"-0.5"), Int(0)},
    {VT_UI1, Str(u"254.5"), Int(254)},
    {VT_UI1, Str(u"255.5"), kOverflow},
    {VT_UI1, Str(u"1.5"), Int(2)},
    {VT_UI1, Str(u"2.5"), Int(2)},
    {VT_UI1, Str(u"1e3"), kOverflow},
    {VT_UI1, Str(u"1e2"), Int(100)},
    {VT_UI1, Str(u"&HFF"), Int(255)},
    {VT_UI1, Str(u" 12 "), Int(12)},
    {VT_UI1, Str(u""), kMismatch},
    {VT_UI1, Str(u"0x10"), kMismatch},
    {VT_UI1, Str(u"True"), kMismatch},
    {VT_UI1, Str(u"abc"), kMismatch},
    {VT_UI1, I2(-1), kOverflow},
    {VT_UI1, I4(256), kOverflow},
    {VT_UI1, R8(255.4), Int(255)},
    {VT_UI1, Bool(true), Int(255)},
    {VT_UI1, Bool(false), Int(0)},
    {VT_UI1, Empty(), Int(0)},
    {VT_UI1, Null(), kMismatch},

    // VT_R4: anything beyond FLT_MAX overflows.
    {VT_R4, Str(u"1.5"), Real(1.5)},
    {VT_R4, Str(u"0.07"), Real(0.07)},
    {VT_R4, Str(u" 12 "), Real(12)},
    {VT_R4, Str(u"1e3"), Real(1000)},
    {VT_R4, Str(u"1,5"), Real(15)},
    {VT_R4, Str(u"&H10"), Real(16)},
    {VT_R4, Str(u"3.4e38"), Real(3.4e38)},
    {VT_R4, Str(u"1e39"), kOverflow},
    {VT_R4, Str(u"-1e39"), kOverflow},
    {VT_R4, Str(u""), kMismatch},
    {VT_R4, Str(u"0x10"), kMismatch},
    {VT_R4, Str(u"True"), kMismatch},
    {VT_R4, Str(u"abc"), kMismatch},
    {VT_R4, R8(1e300), kOverflow},
    {VT_R4, R8(0.1), Real(0.1)},
    {VT_R4, I4(16777217), Real(16777216)},  // the nearest float, ties to even
    {VT_R4, Bool(true), Real(-1)},
    {VT_R4, Empty(), Real(0)},
    {VT_R4, Null(), kMismatch},

    // VT_R8.
    {VT_R8, Str(u"1.5"), Real(1.5)},
    {VT_R8, Str(u"2.5"), Real(2.5)},
    {VT_R8, Str(u" 12 "), Real(12)},
    {VT_R8, Str(u"-32768.5"), Real(-32768.5)},
    {VT_R8, Str(u"0x10"), kMismatch},
    {VT_R8, Str(u"1e3"), Real(1000)},
    {VT_R8, Str(u"1,5"), Real(15)},
    {VT_R8, Str(u"1,000.25"), Real(1000.25)},
    {VT_R8, Str(u"&H10"), Real(16)},
    {VT_R8, Str(u".5"), Real(0.5)},
    {VT_R8, Str(u"5."), Real(5)},
    {VT_R8, Str(u"-.5e1"), Real(-5)},
    {VT_R8, Str(u"1.7976931348623157e308"), Real(DBL_MAX)},
    {VT_R8, Str(u"1e309"), kOverflow},
    {VT_R8, Str(u"-1e309"), kOverflow},
    {VT_R8, Str(u"1000e306"), kOverflow},
    {VT_R8, Str(u"1e-400"), Real(0)},
    {VT_R8, Str(u"0.0001e-400"), Real(0)},
    {VT_R8, Str(u""), kMismatch},
    {VT_R8, Str(u"True"), kMismatch},
    {VT_R8, Str(u"abc"), kMismatch},
    {VT_R8, R4(0.1f), Real(static_cast<double>(0.1f))},
    {VT_R8, I4(-2147483647 - 1), Real(-2147483648.0)},
    {VT_R8, Bool(true), Real(-1)},
    {VT_R8, Empty(), Real(0)},
    {VT_R8, Null(), kMismatch},

    // VT_BOOL: the words in any case, or a number that is zero or not.
    {VT_BOOL, Str(u"True"), kTrue},
    {VT_BOOL, Str(u"false"), kFalse},
    {VT_BOOL, Str(u"TRUE"), kTrue},
    {VT_BOOL, Str(u"fAlSe"), kFalse},
    {VT_BOOL, Str(u" False "), kFalse},
    {VT_BOOL, Str(u"1"), kTrue},
    {VT_BOOL, Str(u"-1"), kTrue},
    {VT_BOOL, Str(u"0"), kFalse},
    {VT_BOOL, Str(u"0.0"), kFalse},
    {VT_BOOL, Str(u"-2.5"), kTrue},
    {VT_BOOL, Str(u"1e3"), kTrue},
    {VT_BOOL, Str(u""), kMismatch},
    {VT_BOOL, Str(u"yes"), kMismatch},
    {VT_BOOL, Str(u"Truth"), kMismatch},
    {VT_BOOL, Str(u"0x10"), kMismatch},
    {VT_BOOL, Str(u"abc"), kMismatch},
    {VT_BOOL, I2(2), kTrue},
    {VT_BOOL, I2(0), kFalse},
    {VT_BOOL, I4(-32769), kTrue},
    {VT_BOOL, Ui1(1), kTrue},
    {VT_BOOL, R8(0.1), kTrue},
    {VT_BOOL, R8(-0.0), kFalse},
    {VT_BOOL, R4(0.0f), kFalse},
    {VT_BOOL, Empty(), kFalse},
    {VT_BOOL, Null(), kMismatch},

    // VT_BSTR: integers plainly, reals in their shortest round-trip form.
    {VT_BSTR, I2(-32768), Text(u"-32768")},
    {VT_BSTR, I4(2147483647), Text(u"2147483647")},
    {VT_BSTR, Ui1(255), Text(u"255")},
    {VT_BSTR, R8(0.07), Text(u"0.07")},
    {VT_BSTR, R8(1e20), Text(u"1E+20")},
    {VT_BSTR, R8(1e15), Text(u"1E+15")},
    {VT_BSTR, R8(123456789012345.0), Text(u"123456789012345")},
    {VT_BSTR, R8(1e-5), Text(u"1E-05")},
    {VT_BSTR, R8(1.5e-7), Text(u"1.5E-07")},
    {VT_BSTR, R8(0.0001), Text(u"0.0001")},
    {VT_BSTR, R8(1e100), Text(u"1E+100")},
    {VT_BSTR, R8(-2.5), Text(u"-2.5")},
    {VT_BSTR, R8(100), Text(u"100")},
    {VT_BSTR, R8(0.1 + 0.2), Text(u"0.30000000000000004")},
    {VT_BSTR, R8(-0.0), Text(u"0")},
    {VT_BSTR, R4(0.07f), Text(u"0.07")},
    {VT_BSTR, R4(0.1f), Text(u"0.1")},
    {VT_BSTR, R4(1234567.0f), Text(u"1234567")},
    {VT_BSTR, R4(1e7f), Text(u"1E+07")},
    {VT_BSTR, Bool(true), Text(u"True")},
    {VT_BSTR, Bool(false), Text(u"False")},
    {VT_BSTR, Empty(), Text(u"")},
    {VT_BSTR, Str(u" 12 "), Text(u" 12 ")},
    {VT_BSTR, Null(), kMismatch},

    // VT_EMPTY and VT_NULL as targets.
    {VT_EMPTY, I2(5), Int(0)},
    {VT_EMPTY, Null(), Int(0)},
    {VT_NULL, Empty(), Int(0)},
    {VT_NULL, Null(), Int(0)},
    {VT_NULL, I2(5), kMismatch},
    {VT_NULL, Str(u""), kMismatch},
};

VARIANT MakeVariant(const Source& s) {
    VARIANT v;
    VariantInit(&v);
    v.vt = s.vt;
    switch (s.vt) {
        case VT_I2:
            v.iVal = static_cast<SHORT>(s.integer);
            break;
        case VT_I4:
            v.lVal = static_cast<LONG>(s.integer);
            break;
        case VT_UI1:
            v.bVal = static_cast<BYTE>(s.integer);
            break;
        case VT_BOOL:
            v.boolVal = static_cast<VARIANT_BOOL>(s.integer);
            break;
        case VT_R4:
            v.fltVal = static_cast<float>(s.real);
            break;
        case VT_R8:
            v.dblVal = s.real;
            break;
        case VT_BSTR:
            v.bstrVal = SysAllocString(s.text);
            break;
        default:
            break;
    }
    return v;
}

std::string Narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

const char* TypeName(VARTYPE vt) {
    switch (vt) {
        case VT_EMPTY:
            return "EMPTY";
        case VT_NULL:
            return "NULL";
        case VT_I2:
            return "I2";
        case VT_I4:
            return "I4";
        case VT_R4:
            return "R4";
        case VT_R8:
            return "R8";
        case VT_BOOL:
            return "BOOL";
        case VT_BSTR:
            return "BSTR";
        case VT_UI1:
            return "UI1";
        default:
            return "other";
    }
}

std::string Describe(const Source& s) {
    switch (s.vt) {
        case VT_BSTR:
            return "\"" + Narrow(s.text) + "\"";
        case VT_R4:
        case VT_R8: {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.17g", s.real);
            return buffer;
        }
        case VT_EMPTY:
        case VT_NULL:
            return "";
        default:
            return std::to_string(s.integer);
    }
}

void PrintTo(const Row& row, std::ostream* os) {
    *os << TypeName(row.target) << " from " << TypeName(row.source.vt) << " "
        << Describe(row.source);
}

class VariantChangeTypeTable : public ::testing::TestWithParam<Row> {};

TEST_P(VariantChangeTypeTable, ConvertsAsAutomationDoes) {
    const Row& row = GetParam();
    VARIANT source = MakeVariant(row.source);
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = VariantChangeType(&result, &source, 0, row.target);
    ASSERT_EQ(hr, row.expect.hr) << std::hex << "got 0x" << static_cast<unsigned>(hr);
    if (SUCCEEDED(hr)) {
        ASSERT_EQ(result.vt, row.target);
        switch (row.target) {
            case VT_I2:
                EXPECT_EQ(result.iVal, row.expect.integer);
                break;
            case VT_I4:
                EXPECT_EQ(result.lVal, row.expect.integer);
                break;
            case VT_UI1:
                EXPECT_EQ(result.bVal, row.expect.integer);
                break;
            case VT_BOOL:
                EXPECT_EQ(result.boolVal, row.expect.integer);
                break;
            case VT_R4:
                EXPECT_EQ(result.fltVal, static_cast<float>(row.expect.real));
                break;
            case VT_R8:
                EXPECT_EQ(result.dblVal, row.expect.real);
                break;
            case VT_BSTR:
                ASSERT_NE(result.bstrVal, nullptr);
                EXPECT_EQ(Narrow(std::u16string(result.bstrVal, SysStringLen(result.bstrVal))),
                          Narrow(row.expect.text));
                break;
            default:
                break;
        }
    } else {
        EXPECT_EQ(result.vt, VT_EMPTY) << "a failed conversion leaves the destination alone";
    }
    VariantClear(&result);
    VariantClear(&source);
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
    std::string name = std::string(TypeName(info.param.target)) + "_" + std::to_string(info.index) +
                       "_from_" + TypeName(info.param.source.vt);
    const std::string value = Describe(info.param.source);
    if (!value.empty()) name += "_";
    for (char c : value) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            name += c;
        } else if (c == '-') {
            name += "minus";
        } else if (c == '+') {
            name += "plus";
        } else if (c == '.') {
            name += "p";
        } else if (c == ',') {
            name += "comma";
        } else if (c == '&') {
            name += "amp";
        } else if (c != '"') {
            name += "_";
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Rows, VariantChangeTypeTable, ::testing::ValuesIn(kRows), RowName);

// Beyond the table: references, in-place conversion, objects, and the failure paths.

TEST(VariantChangeType, ReadsThroughReferences) {
    SHORT value = 41;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I2;
    ref.piVal = &value;
    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(out.bstrVal), u"41");
    VariantClear(&out);

    VARIANT inner;
    VariantInit(&inner);
    inner.vt = VT_BSTR;
    inner.bstrVal = SysAllocString(u"2.5");
    VARIANT outer;
    VariantInit(&outer);
    outer.vt = VT_BYREF | VT_VARIANT;
    outer.pvarVal = &inner;
    ASSERT_EQ(VariantChangeType(&out, &outer, 0, VT_I2), S_OK);
    EXPECT_EQ(out.iVal, 2);
    // The same type through a reference is a copy of the string, not the caller's string.
    ASSERT_EQ(VariantChangeType(&out, &outer, 0, VT_BSTR), S_OK);
    EXPECT_NE(out.bstrVal, inner.bstrVal);
    EXPECT_EQ(std::u16string(out.bstrVal), u"2.5");
    VariantClear(&out);
    VariantClear(&inner);
}

TEST(VariantChangeType, ConvertsInPlace) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u" 12 ");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I2), S_OK);  // the string is freed: ASan checks
    EXPECT_EQ(v.vt, VT_I2);
    EXPECT_EQ(v.iVal, 12);
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(v.bstrVal), u"12");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BOOL), S_OK);
    EXPECT_EQ(v.boolVal, VARIANT_TRUE);
    VariantClear(&v);
}

TEST(VariantChangeType, FailureLeavesTheDestinationAsItWas) {
    VARIANT dest;
    VariantInit(&dest);
    dest.vt = VT_BSTR;
    dest.bstrVal = SysAllocString(u"keep");
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_BSTR;
    src.bstrVal = SysAllocString(u"40000");
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_I2), DISP_E_OVERFLOW);
    ASSERT_EQ(dest.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(dest.bstrVal), u"keep");
    // In place too: the source survives a failed conversion of itself.
    EXPECT_EQ(VariantChangeType(&src, &src, 0, VT_I2), DISP_E_OVERFLOW);
    ASSERT_EQ(src.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(src.bstrVal), u"40000");
    VariantClear(&dest);
    VariantClear(&src);
}

TEST(VariantChangeType, OutOfMemoryForAStringIsReported) {
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_I4;
    src.lVal = 7;
    VARIANT dest;
    VariantInit(&dest);
    PlatformFailNthAllocation(1);
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_BSTR), E_OUTOFMEMORY);
    PlatformFailNthAllocation(0);
    EXPECT_EQ(dest.vt, VT_EMPTY);
}

TEST(VariantChangeType, ErrorValuesAndUnsupportedTypesAreRefused) {
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_ERROR;
    src.scode = DISP_E_PARAMNOTFOUND;
    VARIANT dest;
    VariantInit(&dest);
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_I2), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_ERROR), S_OK);  // to itself: a copy
    EXPECT_EQ(dest.scode, DISP_E_PARAMNOTFOUND);
    src.vt = VT_I2;
    src.iVal = 1;
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_CY), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_I2 | VT_BYREF), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(nullptr, &src, 0, VT_I2), E_INVALIDARG);
    EXPECT_EQ(VariantChangeTypeEx(&dest, &src, 0x0407, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(dest.bstrVal), u"1");
    VariantClear(&dest);
}

// A counted object that answers IUnknown and, when asked to, IDispatch.
class Probe final : public WithoutDispatch<IDispatch> {
public:
    explicit Probe(bool dispatch) : dispatch_(dispatch) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || (dispatch_ && riid == IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    ULONG references = 1;

private:
    bool dispatch_;
};

TEST(VariantChangeType, ObjectsConvertOnlyBetweenUnknownAndDispatch) {
    Probe dispatchable(true);
    Probe plain(false);
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_DISPATCH;
    src.pdispVal = &dispatchable;
    VARIANT dest;
    VariantInit(&dest);
    ASSERT_EQ(VariantChangeType(&dest, &src, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(dest.vt, VT_UNKNOWN);
    EXPECT_EQ(dispatchable.references, 2u);
    VariantClear(&dest);
    EXPECT_EQ(dispatchable.references, 1u);

    src.vt = VT_UNKNOWN;
    src.punkVal = &plain;
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_DISPATCH), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(plain.references, 1u);
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_I2), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_BSTR), DISP_E_TYPEMISMATCH);

    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    number.lVal = 1;
    EXPECT_EQ(VariantChangeType(&dest, &number, 0, VT_UNKNOWN), DISP_E_TYPEMISMATCH);
    VARIANT empty;
    VariantInit(&empty);
    EXPECT_EQ(VariantChangeType(&dest, &empty, 0, VT_DISPATCH), DISP_E_TYPEMISMATCH);
}

}  // namespace
