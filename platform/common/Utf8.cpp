#include "platform/common/Utf8.h"

namespace platform {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Writes c at out; returns where the next character goes.
char16_t* PutUtf16(char32_t c, char16_t* out) {
    if (c < 0x10000) {
        *out++ = static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        *out++ = static_cast<char16_t>(0xD800 + (c >> 10));
        *out++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
    return out;
}

// Decodes the sequence at text[*i]; returns false (consuming one byte) when it is malformed.
bool NextCodePoint(std::string_view text, size_t* i, char32_t* c) {
    const auto lead = static_cast<unsigned char>(text[(*i)++]);
    if (lead < 0x80) {
        *c = lead;
        return true;
    }
    int continuation = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        continuation = 1;
        minimum = 0x80;
        *c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        continuation = 2;
        minimum = 0x800;
        *c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        continuation = 3;
        minimum = 0x10000;
        *c = lead & 0x07;
    } else {
        return false;
    }
    for (int k = 0; k < continuation; ++k) {
        if (*i >= text.size()) return false;
        const auto byte = static_cast<unsigned char>(text[*i]);
        if ((byte & 0xC0) != 0x80) return false;
        ++*i;
        *c = (*c << 6) | (byte & 0x3F);
    }
    return *c >= minimum && *c <= 0x10FFFF && !(*c >= 0xD800 && *c <= 0xDFFF);
}

// Converts text into *out, each malformed sequence passed to malformed (which returns false to
// stop, or the character it stands for). Written in place rather than appended a character at
// a time: no text has more UTF-16 units than UTF-8 bytes, and registering a server converts
// every name and value of its script.
template <class Malformed>
bool ConvertUtf8(std::string_view text, std::u16string* out, Malformed malformed) {
    out->resize(text.size());
    char16_t* next = out->data();
    size_t i = 0;
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            *next++ = static_cast<char16_t>(text[i++]);
            continue;
        }
        char32_t c = 0;
        if (!NextCodePoint(text, &i, &c) && !malformed(&c)) return false;
        next = PutUtf16(c, next);
    }
    out->resize(static_cast<size_t>(next - out->data()));
    return true;
}

}  // namespace

bool Utf8ToUtf16(std::string_view text, std::u16string* out) {
    return ConvertUtf8(text, out, [](char32_t*) { return false; });
}

bool DecodeUtf8At(std::string_view text, std::size_t* i, char32_t* c) {
    const std::size_t start = *i;
    if (NextCodePoint(text, i, c)) return true;
    *i = start + 1;
    return false;
}

std::u16string Utf8ToUtf16Lossy(std::string_view text) {
    std::u16string out;
    ConvertUtf8(text, &out, [](char32_t* c) {
        *c = kReplacement;
        return true;
    });
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            c = kReplacement;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace platform
