#include "hosts/serve/SafeText.h"

#include <cstdint>

namespace {

// The length of the well-formed UTF-8 sequence at the front of `text` and its code point, or 0
// for a malformed one (overlong, a surrogate, above U+10FFFF, or cut short).
std::size_t DecodeOne(std::string_view text, char32_t* code_point) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        *code_point = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        value = value << 6 | (byte(i) & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *code_point = value;
    return length;
}

bool ShownAsEscapes(char32_t c) {
    return c < 0x20 || c == '"' || c == '\\' || (c >= 0x7F && c <= 0x9F) ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::string SafeText(std::string_view text, std::size_t max_bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() < max_bytes ? text.size() : max_bytes + 3);
    while (!text.empty()) {
        char32_t c = 0;
        const std::size_t decoded = DecodeOne(text, &c);
        const bool malformed = decoded == 0;
        const std::size_t length = malformed ? 1 : decoded;  // a malformed byte goes alone
        std::string piece;
        if (malformed || ShownAsEscapes(c)) {
            for (std::size_t i = 0; i < length; ++i) {
                const auto b = static_cast<unsigned char>(text[i]);
                piece += {'\\', 'x', kHex[b >> 4], kHex[b & 15]};
            }
        } else {
            piece = text.substr(0, length);
        }
        if (out.size() + piece.size() > max_bytes) return out + "...";
        out += piece;
        text.remove_prefix(length);
    }
    return out;
}
