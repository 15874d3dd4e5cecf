#include "library/session/DataText.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/Platform.h"
#include "platform/common/Utf8.h"

namespace {

constexpr std::size_t kEscapeLength = 5;  // "~d" and three digits

// For each byte, the character that the thread's code page converts back into that one byte,
// or 0 when there is none (the zero byte never has one: it ends the text).
std::array<char16_t, 256> CharacterForEachByte() {
    std::array<char16_t, 256> table{};
    for (int byte = 1; byte < 256; ++byte) {
        const char in = static_cast<char>(byte);
        char16_t c = 0;
        if (MultiByteToWideChar(CP_THREAD_ACP, 0, &in, 1, &c, 1) != 1) continue;
        char back[2] = {};
        BOOL used_default = FALSE;
        if (WideCharToMultiByte(CP_THREAD_ACP, 0, &c, 1, back, sizeof back, nullptr,
                                &used_default) == 1 &&
            !used_default && back[0] == in) {
            table[byte] = c;
        }
    }
    return table;
}

const std::array<char16_t, 256>& CharacterOfByte() {
    static const std::array<char16_t, 256> table = CharacterForEachByte();
    return table;
}

// Whether the code page keeps the character as a byte of its own.
bool HasByte(char32_t c) {
    static const std::array<char16_t, 256> sorted = [] {
        std::array<char16_t, 256> characters = CharacterOfByte();
        std::sort(characters.begin(), characters.end());
        return characters;
    }();
    return c > 0 && c <= 0xFFFF &&
           std::binary_search(sorted.begin(), sorted.end(), static_cast<char16_t>(c));
}

}  // namespace

bool IsAscii(std::string_view bytes) {
    // Every byte looked at, without a branch each, which the compiler can do many at a time.
    unsigned char any = 0;
    for (const char c : bytes) any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

CarriedBytes CarryBytes(std::string_view bytes) {
    // ASCII without a zero byte, most data, is its own characters: checked and widened many
    // bytes at a time.
    if (IsAscii(bytes) && std::memchr(bytes.data(), 0, bytes.size()) == nullptr) {
        CarriedBytes carried{std::u16string(bytes.size(), u'\0'), false, 0, bytes.size()};
        char16_t* out = carried.data.data();
        for (const char byte : bytes) *out++ = static_cast<char16_t>(byte);
        return carried;
    }
    const std::array<char16_t, 256>& character = CharacterOfByte();
    // The size first, then the text written in place: a character appended at a time cost
    // more than the component's whole encoding of the data.
    std::size_t without = 0, tildes = 0;
    for (const unsigned char byte : bytes) {
        without += character[byte] == 0 ? 1 : 0;
        tildes += byte == '~' ? 1 : 0;
    }
    // Escapes are read only with HandleTilde on, which then reads every '~' as one too.
    const bool escaped = without > 0;
    const std::size_t escapes = escaped ? without + tildes : 0;
    CarriedBytes carried{{}, escaped, escapes, bytes.size() + escapes * (kEscapeLength - 1)};
    carried.data.resize(carried.data_bytes);
    char16_t* out = carried.data.data();
    if (!escaped) {  // every byte has its character
        for (const unsigned char byte : bytes) *out++ = character[byte];
        return carried;
    }
    for (const unsigned char byte : bytes) {
        if (character[byte] != 0 && byte != '~') {
            *out++ = character[byte];
            continue;
        }
        *out++ = u'~';
        *out++ = u'd';
        *out++ = static_cast<char16_t>(u'0' + byte / 100);
        *out++ = static_cast<char16_t>(u'0' + byte / 10 % 10);
        *out++ = static_cast<char16_t>(u'0' + byte % 10);
    }
    return carried;
}

std::size_t FirstMalformedUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t start = i;
        char32_t c = 0;
        if (!platform::DecodeUtf8At(text, &i, &c)) return start;
    }
    return std::string_view::npos;
}

TextLoss TextModeLoss(std::string_view text) {
    TextLoss loss;
    // ASCII, the common case, loses nothing; a zero byte still ends it.
    if (IsAscii(text)) {
        loss.cut_at = text.find('\0');
        return loss;
    }
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        char32_t c = 0;
        const bool well_formed = platform::DecodeUtf8At(text, &i, &c);
        if (well_formed && c == 0) {
            loss.cut_at = start;
            break;
        }
        if (well_formed && HasByte(c)) continue;
        if (loss.replaced++ == 0) loss.first_replaced = start;
    }
    return loss;
}
