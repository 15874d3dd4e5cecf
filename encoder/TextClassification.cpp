// Which bytes text compaction can carry, and the sub-mode and value of each of them.
#include <cstdint>

#include "component/state/QuillonState.h"

bool QuillonState::IsTextEncodable(BYTE byte) {
    // Compared as a signed byte, so that 0x80..0xFF, being negative, are never text.
    const std::int8_t c = static_cast<std::int8_t>(byte);
    return (c >= 0x20 && c <= 0x7E) || c == '\t' || c == '\n' || c == '\r';
}

namespace {

struct TextCharClass {
    char Letter;  // 0 for a byte that is not text
    std::int8_t Value;
};

// Characters that more than one sub-mode offers (space, comma, colon, hyphen-minus, full stop,
// dollar, slash, asterisk, CR, TAB) are fixed to one of them here, so every character has
// exactly one class and the state machine never has to choose.
TextCharClass ClassOf(BYTE byte) {
    if (byte >= 'A' && byte <= 'Z') return {'A', static_cast<std::int8_t>(byte - 'A')};
    if (byte >= 'a' && byte <= 'z') return {'B', static_cast<std::int8_t>(byte - 'a')};
    if (byte >= '0' && byte <= '9') return {'C', static_cast<std::int8_t>(byte - '0')};
    switch (byte) {
        case '&':
            return {'C', 10};
        case ',':
            return {'C', 13};
        case ':':
            return {'C', 14};
        case '#':
            return {'C', 15};
        case '-':
            return {'C', 16};
        case '.':
            return {'C', 17};
        case '$':
            return {'C', 18};
        case '/':
            return {'C', 19};
        case '+':
            return {'C', 20};
        case '%':
            return {'C', 21};
        case '*':
            return {'C', 22};
        case '=':
            return {'C', 23};
        case '^':
            return {'C', 24};
        case ' ':
            return {'C', 26};
        case ';':
            return {'D', 0};
        case '<':
            return {'D', 1};
        case '>':
            return {'D', 2};
        case '@':
            return {'D', 3};
        case '[':
            return {'D', 4};
        case '\\':
            return {'D', 5};
        case ']':
            return {'D', 6};
        case '_':
            return {'D', 7};
        case '`':
            return {'D', 8};
        case '~':
            return {'D', 9};
        case '!':
            return {'D', 10};
        case '\r':
            return {'D', 11};
        case '\t':
            return {'D', 12};
        case '\n':
            return {'D', 15};
        case '"':
            return {'D', 20};
        case '|':
            return {'D', 21};
        case '(':
            return {'D', 23};
        case ')':
            return {'D', 24};
        case '?':
            return {'D', 25};
        case '{':
            return {'D', 26};
        case '}':
            return {'D', 27};
        case '\'':
            return {'D', 28};
        default:
            return {0, 0};
    }
}

}  // namespace

void QuillonState::ClassifyTextChar(BYTE byte) {
    const TextCharClass cls = ClassOf(byte);
    if (cls.Letter == 0) return;
    TextSubmodeLetter = cls.Letter;
    TextSubmodeValue = cls.Value;
}
