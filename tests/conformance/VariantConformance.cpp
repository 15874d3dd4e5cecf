#include "tests/conformance/VariantConformance.h"

#include <cfloat>
#include <cstdio>
#include <limits>

namespace conformance {
namespace {

constexpr Source Str(const char16_t* s) {
    return {VT_BSTR, 0, 0, s};
}
constexpr Source I2(long long v) {
    return {VT_I2, v};
}
constexpr Source I4(long long v) {
    return {VT_I4, v};
}
constexpr Source Ui1(long long v) {
    return {VT_UI1, v};
}
constexpr Source R4(float v) {
    return {VT_R4, 0, v};
}
constexpr Source R8(double v) {
    return {VT_R8, 0, v};
}
constexpr Source Bool(bool v) {
    return {VT_BOOL, v ? -1 : 0};
}
constexpr Source Empty() {
    return {VT_EMPTY};
}
constexpr Source Null() {
    return {VT_NULL};
}

constexpr Expect Int(long long v) {
    return {S_OK, v};
}
constexpr Expect Real(double v) {
    return {S_OK, 0, v};
}
constexpr Expect Text(const char16_t* s) {
    return {S_OK, 0, 0, s};
}
constexpr Expect kOverflow{DISP_E_OVERFLOW};
constexpr Expect kMismatch{DISP_E_TYPEMISMATCH};
constexpr Expect kTrue = Int(VARIANT_TRUE);
constexpr Expect kFalse = Int(VARIANT_FALSE);

// A row where Wine gives `wine` and we keep what the row expects, for the reason given.
constexpr WineDifference Kept(Expect wine, const char* why) {
    return {true, wine, why};
}

constexpr Row kRows[] = {
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
    {VT_I2, Str(u"&HFFFF"), Int(-1)},  // hexadecimal fills the target's 16 bits
    {VT_I2, Str(u"&H8000"), Int(-32768)},
    {VT_I2, Str(u"&H10000"), kOverflow},
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
    {VT_I2, Str(u"$5"), Int(5)},  // the English currency symbol
    {VT_I2, Str(u"-$5"), Int(-5)},
    {VT_I2, Str(u"(5)"), Int(-5)},  // negative, as accountants write it
    {VT_I2, Str(u"5$"), Int(5)},
    {VT_I2, Str(u"\u20AC5"), kMismatch},
    // VT_I2 from other types.
    {VT_I2, R8(32767.5), kOverflow},
    {VT_I2, R8(-32768.5), Int(-32768)},
    {VT_I2, R8(-32768.6), kOverflow},
    {VT_I2, R8(2.5), Int(2)},
    {VT_I2, R8(0.49999999999999994), Int(0)},
    {VT_I2, R8(std::numeric_limits<double>::quiet_NaN()), kOverflow,
     Kept(Int(-1),
          "Wine's range check compares false for NaN and lets it through as an "
          "arbitrary integer; NaN is in no integer's range, so ours refuses it")},
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
    {VT_I4, Str(u"&H80000000"), Int(-2147483648LL)},
    {VT_I4, Str(u"&HFFFFFFFF"), Int(-1)},
    {VT_I4, Str(u"&H100000000"), kOverflow},
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
    {VT_R4, Str(u"1.5e-50"), Real(0),
     Kept(kOverflow,
          "Wine refuses a value too small for a float as an overflow; it is nearer "
          "to 0 than to any other float, and ours gives 0 as it does for doubles")},
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
    {VT_R8, Str(u"&HFFFF"), Real(65535)},
    {VT_R8, Str(u"$1,000.5"), Real(1000.5)},
    {VT_R8, Str(u"(2.5)"), Real(-2.5)},
    {VT_R8, Str(u"1,5"), Real(15),
     Kept(Real(1.5),
          "ours reads English number text only: the servers' dispatch and the hosts "
          "convert in the user's default locale, which is English on Linux"),
     0x0407},
    {VT_R8, Str(u".5"), Real(0.5)},
    {VT_R8, Str(u"5."), Real(5)},
    {VT_R8, Str(u"-.5e1"), Real(-5)},
    {VT_R8, Str(u"1.7976931348623157e308"), Real(DBL_MAX),
     Kept(kOverflow,
          "Wine reads the digits by repeated scaling, which takes the largest "
          "double's own text above it; ours reads decimal text exactly")},
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
    {VT_BOOL, Str(u" False "), kMismatch},  // the words stand alone
    {VT_BOOL, Str(u" true"), kMismatch},
    {VT_BOOL, Str(u"#TRUE#"), kTrue},  // the words as Write # puts them in a file
    {VT_BOOL, Str(u"#FALSE#"), kFalse},
    {VT_BOOL, Str(u" 1 "), kTrue},  // a number may have white space around it
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
    {VT_BSTR, R8(0.1 + 0.2), Text(u"0.3")},  // 15 significant digits
    {VT_BSTR, R8(2.0 / 3.0), Text(u"0.666666666666667")},
    {VT_BSTR, R4(2.0f / 3.0f), Text(u"0.6666667")},  // 7 for a float
    {VT_BSTR, R8(-0.0), Text(u"0")},
    {VT_BSTR, R4(0.07f), Text(u"0.07")},
    {VT_BSTR, R4(0.1f), Text(u"0.1")},
    {VT_BSTR, R4(1234567.0f), Text(u"1234567")},
    {VT_BSTR, R4(1e7f), Text(u"1E+07")},
    {VT_BSTR, Bool(true), Text(u"-1")},
    {VT_BSTR, Bool(false), Text(u"0")},
    {VT_BSTR, Bool(true), Text(u"True"), {}, kEnglishUs, VARIANT_ALPHABOOL},
    {VT_BSTR, Bool(false), Text(u"False"), {}, kEnglishUs, VARIANT_ALPHABOOL},
    {VT_BSTR, Empty(), Text(u"")},
    {VT_BSTR, Str(u" 12 "), Text(u" 12 ")},
    {VT_BSTR, Null(), kMismatch},

    // VT_EMPTY and VT_NULL as targets.
    {VT_EMPTY, I2(5), Int(0)},
    {VT_EMPTY, Null(), kMismatch},
    {VT_NULL, Empty(), Int(0)},
    {VT_NULL, Null(), Int(0)},
    {VT_NULL, I2(5), Int(0)},  // anything becomes Null
    {VT_NULL, Str(u""), Int(0)},
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
            v.bstrVal = SysAllocString(reinterpret_cast<const OLECHAR*>(s.text));
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

std::u16string TextOf(BSTR text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

}  // namespace

std::span<const Row> VariantChangeTypeRows() {
    return kRows;
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

std::string DescribeSource(const Source& s) {
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

std::string DescribeRow(const Row& row) {
    std::string text = std::string(TypeName(row.target)) + " from " + TypeName(row.source.vt) +
                       " " + DescribeSource(row.source);
    if (row.lcid != kEnglishUs) text += " in locale " + Hex(static_cast<HRESULT>(row.lcid));
    return text;
}

std::string CheckRow(const Row& row, Oleaut implementation) {
    const Expect& expect =
        implementation == Oleaut::kWine && row.difference.kept ? row.difference.wine : row.expect;
    VARIANT source = MakeVariant(row.source);
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = VariantChangeTypeEx(&result, &source, row.lcid, row.flags, row.target);
    std::string wrong;
    if (hr != expect.hr) {
        wrong = "gave " + Hex(hr) + ", not " + Hex(expect.hr);
    } else if (FAILED(hr)) {
        if (result.vt != VT_EMPTY) wrong = "a failed conversion changed the destination";
    } else if (result.vt != row.target) {
        wrong = std::string("gave a ") + TypeName(result.vt);
    } else {
        std::string got, want;
        switch (row.target) {
            case VT_I2:
                got = std::to_string(result.iVal);
                want = std::to_string(expect.integer);
                break;
            case VT_I4:
                got = std::to_string(result.lVal);
                want = std::to_string(expect.integer);
                break;
            case VT_UI1:
                got = std::to_string(result.bVal);
                want = std::to_string(expect.integer);
                break;
            case VT_BOOL:
                got = std::to_string(result.boolVal);
                want = std::to_string(expect.integer);
                break;
            case VT_R4:
                if (result.fltVal != static_cast<float>(expect.real)) {
                    got = Number(result.fltVal);
                    want = Number(static_cast<float>(expect.real));
                }
                break;
            case VT_R8:
                if (result.dblVal != expect.real) {
                    got = Number(result.dblVal);
                    want = Number(expect.real);
                }
                break;
            case VT_BSTR:
                got = result.bstrVal == nullptr ? "(null)" : Narrow(TextOf(result.bstrVal));
                want = Narrow(expect.text);
                break;
            default:
                break;
        }
        if (got != want) wrong = "gave " + got + ", not " + want;
    }
    VariantClear(&result);
    VariantClear(&source);
    return wrong;
}

}  // namespace conformance
