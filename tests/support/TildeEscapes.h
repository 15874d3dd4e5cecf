// Data as the component's tilde escapes (HandleTilde on): each escaped byte as "~d" and its
// value in three digits, so that any byte value, zero included, reaches the symbol.
#pragma once

#include <string>
#include <string_view>

// Every byte escaped, or with `keepPrintable` only those that are no printable ASCII
// character, and the tilde itself.
inline std::string TildeEscaped(std::string_view bytes, bool keepPrintable = false) {
    std::string text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (keepPrintable && b >= 0x20 && b < 0x7F && b != '~') {
            text += c;
            continue;
        }
        text += {'~', 'd', static_cast<char>('0' + b / 100), static_cast<char>('0' + b / 10 % 10),
                 static_cast<char>('0' + b % 10)};
    }
    return text;
}
