#include "platform/runtime/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace platform {

namespace {

bool IsSpace(OLECHAR c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}
bool IsDigit(OLECHAR c) {
    return c >= u'0' && c <= u'9';
}

int DigitValue(OLECHAR c, int base) {
    int v = -1;
    if (c >= u'0' && c <= u'9') v = c - u'0';
    if (c >= u'a' && c <= u'f') v = c - u'a' + 10;
    if (c >= u'A' && c <= u'F') v = c - u'A' + 10;
    return v < base ? v : -1;
}

// "&H1F" and "&O17": unsigned integers of up to 64 bits.
HRESULT ParsePrefixedInteger(std::u16string_view text, double* value) {
    if (text.size() < 3) return DISP_E_TYPEMISMATCH;
    int base = 0;
    if (text[1] == u'H' || text[1] == u'h') base = 16;
    if (text[1] == u'O' || text[1] == u'o') base = 8;
    if (base == 0) return DISP_E_TYPEMISMATCH;
    std::uint64_t v = 0;
    bool overflow = false;
    for (std::size_t i = 2; i < text.size(); ++i) {
        const int d = DigitValue(text[i], base);
        if (d < 0) return DISP_E_TYPEMISMATCH;
        if (v > (UINT64_MAX - static_cast<unsigned>(d)) / static_cast<unsigned>(base)) {
            overflow = true;
        }
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    }
    if (overflow) return DISP_E_OVERFLOW;
    *value = static_cast<double>(v);
    return S_OK;
}

}  // namespace

HRESULT ParseNumberText(const OLECHAR* text, std::size_t length, double* value, bool* prefixed) {
    std::u16string_view s(text == nullptr ? u"" : text, text == nullptr ? 0 : length);
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    if (s.empty()) return DISP_E_TYPEMISMATCH;
    if (prefixed != nullptr) *prefixed = s.front() == u'&';
    if (s.front() == u'&') return ParsePrefixedInteger(s, value);
    const bool in_parentheses = s.size() > 2 && s.front() == u'(' && s.back() == u')';
    if (in_parentheses) s = s.substr(1, s.size() - 2);

    // The number is copied into plain ASCII without separators, for from_chars.
    std::string ascii;
    ascii.reserve(s.size());
    std::size_t i = 0;
    if (s[i] == u'+' || s[i] == u'-') {
        if (in_parentheses) return DISP_E_TYPEMISMATCH;  // one way of saying minus at a time
        if (s[i] == u'-') ascii.push_back('-');
        ++i;
    }
    if (in_parentheses) ascii.push_back('-');
    if (i < s.size() && s[i] == u'$') {
        ++i;
    } else if (s.back() == u'$') {
        s.remove_suffix(1);  // the symbol after the number instead
    }
    int integer_digits = 0;  // significant ones: leading zeros are not counted
    int fraction_digits = 0;
    int zeros_after_point = 0;  // zeros between the point and the first nonzero digit
    bool seen_nonzero = false;
    for (; i < s.size(); ++i) {
        if (IsDigit(s[i])) {
            if (s[i] != u'0') seen_nonzero = true;
            if (seen_nonzero) ++integer_digits;
            ascii.push_back(static_cast<char>(s[i]));
        } else if (s[i] == u',' && !ascii.empty() && ascii.back() != '-') {
            continue;  // a thousands separator, once the first digit has been read
        } else {
            break;
        }
    }
    const bool has_integer = !ascii.empty() && ascii.back() != '-';
    if (i < s.size() && s[i] == u'.') {
        ascii.push_back('.');
        for (++i; i < s.size() && IsDigit(s[i]); ++i) {
            if (s[i] != u'0') seen_nonzero = true;
            if (!seen_nonzero) ++zeros_after_point;
            ascii.push_back(static_cast<char>(s[i]));
            ++fraction_digits;
        }
    }
    if (!has_integer && fraction_digits == 0) return DISP_E_TYPEMISMATCH;

    long exponent = 0;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        ascii.push_back('e');
        ++i;
        bool negative = false;
        if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
            negative = s[i] == u'-';
            if (negative) ascii.push_back('-');
            ++i;
        }
        if (i == s.size() || !IsDigit(s[i])) return DISP_E_TYPEMISMATCH;
        for (; i < s.size() && IsDigit(s[i]); ++i) {
            ascii.push_back(static_cast<char>(s[i]));
            if (exponent < 1000000) exponent = exponent * 10 + (s[i] - u'0');
        }
        if (negative) exponent = -exponent;
    }
    if (i != s.size()) return DISP_E_TYPEMISMATCH;

    double parsed = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), parsed);
    if (end != ascii.data() + ascii.size()) return DISP_E_TYPEMISMATCH;
    if (error == std::errc::result_out_of_range) {
        // Beyond the range of a double on one side or the other: the decimal exponent of the
        // first significant digit tells which.
        const long magnitude =
            (integer_digits > 0 ? integer_digits - 1 : -(zeros_after_point + 1)) + exponent;
        if (magnitude > 0) return DISP_E_OVERFLOW;
        parsed = 0;
    } else if (error != std::errc()) {
        return DISP_E_TYPEMISMATCH;
    }
    *value = parsed == 0 ? 0.0 : parsed;  // no negative zero
    return S_OK;
}

namespace {

// Lays out the digits of a value, as to_chars writes them in scientific form ("-1.25e+02"),
// in the Automation manner.
std::u16string LayOut(std::string_view scientific, int fixedDigits) {
    if (scientific == "nan" || scientific == "-nan") return u"NaN";
    if (scientific == "inf") return u"Infinity";
    if (scientific == "-inf") return u"-Infinity";
    const bool negative = scientific.front() == '-';
    if (negative) scientific.remove_prefix(1);
    const std::size_t e = scientific.find('e');
    std::string digits;
    for (char c : scientific.substr(0, e)) {
        if (c != '.') digits.push_back(c);
    }
    int exponent = 0;
    std::from_chars(scientific.data() + e + 1 + (scientific[e + 1] == '+'),
                    scientific.data() + scientific.size(), exponent);
    if (digits == "0") return u"0";

    // Built by appending only: GCC 12 at -O3 takes `"." + digits.substr(1)` for an overlapping
    // copy and warns (-Wrestrict) where nothing overlaps.
    std::string out = negative ? "-" : "";
    const int count = static_cast<int>(digits.size());
    if (exponent < -4 || exponent >= fixedDigits) {
        out += digits[0];
        if (count > 1) out.append(1, '.').append(digits, 1);
        out += exponent < 0 ? "E-" : "E+";
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10) out += '0';
        out += std::to_string(magnitude);
    } else if (exponent >= 0) {
        const auto whole = static_cast<std::size_t>(exponent + 1);
        if (static_cast<std::size_t>(count) <= whole) {
            out.append(digits).append(whole - digits.size(), '0');
        } else {
            out.append(digits, 0, whole).append(1, '.').append(digits, whole);
        }
    } else {
        out.append("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
    }
    return std::u16string(out.begin(), out.end());
}

// The value rounded to `significant` digits, trailing zeros dropped, laid out as above.
std::u16string FormatSignificant(double value, int significant, int fixedDigits) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::scientific, significant - 1);
    std::string text(buffer, result.ptr);
    const std::size_t e = text.find('e');
    if (e != std::string::npos) {
        std::size_t end = e;
        while (end > 0 && text[end - 1] == '0') --end;
        if (end > 0 && text[end - 1] == '.') --end;
        text.erase(end, e - end);
    }
    return LayOut(text, fixedDigits);
}

}  // namespace

std::u16string FormatRealText(double value, int fixedDigits) {
    return FormatSignificant(value, 15, fixedDigits);
}

std::u16string FormatRealText(float value) {
    return FormatSignificant(value, 7, 7);
}

std::u16string FormatIntegerText(long long value) {
    const std::string text = std::to_string(value);
    return std::u16string(text.begin(), text.end());
}

}  // namespace platform
