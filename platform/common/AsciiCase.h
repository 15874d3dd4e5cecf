// Letter case as automation member names, registration-script keywords and HTTP header names
// treat it: only the ASCII letters A-Z fold, whatever the character type, so that no locale
// can change what matches.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace platform {

template <class Char>
constexpr Char LowerAscii(Char c) {
    return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <class Char>
constexpr bool EqualsIgnoringCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](Char x, Char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}
constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return EqualsIgnoringCase<char>(a, b);
}
constexpr bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return EqualsIgnoringCase<char16_t>(a, b);
}

inline std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), LowerAscii<char>);
    return out;
}

}  // namespace platform
