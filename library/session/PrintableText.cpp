#include "library/session/PrintableText.h"

#include <cstdio>
#include <vector>

#include "platform/common/Utf8.h"

namespace {

constexpr std::string_view kEllipsis = "...";

// Characters that are invisible yet change how the rest of a line is shown: the C1 controls,
// the line and paragraph separators, and the bidirectional embeddings, overrides and isolates.
bool IsInvisibleControl(char32_t c) {
    return (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

std::string ByteEscape(unsigned char byte) {
    switch (byte) {
        case '\t':
            return "\\t";
        case '\n':
            return "\\n";
        case '\r':
            return "\\r";
        default: {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            return escape;
        }
    }
}

std::string CodePointEscape(char32_t c) {
    char escape[16];
    std::snprintf(escape, sizeof escape, "\\u{%04X}", static_cast<unsigned>(c));
    return escape;
}

}  // namespace

std::string PrintableText(std::string_view text, std::size_t max_bytes, PrintableForm form) {
    std::string out;
    // Where each piece (a character or an escape) ends in `out`, to cut between two of them.
    std::vector<std::size_t> ends;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t start = i;
        char32_t c = 0;
        if (!platform::DecodeUtf8At(text, &i, &c)) {
            out += ByteEscape(static_cast<unsigned char>(text[start]));
        } else if (c < 0x20 || c == 0x7F ||
                   (form == PrintableForm::kQuoted && (c == '"' || c == '\\'))) {
            out += ByteEscape(static_cast<unsigned char>(c));
        } else if (IsInvisibleControl(c) || (form == PrintableForm::kAscii && c > 0x7E)) {
            out += CodePointEscape(c);
        } else {
            out.append(text.substr(start, i - start));
        }
        ends.push_back(out.size());
        if (out.size() > max_bytes) break;
    }
    if (out.size() <= max_bytes) return out;

    const std::size_t room = max_bytes < kEllipsis.size() ? 0 : max_bytes - kEllipsis.size();
    std::size_t keep = 0;
    for (const std::size_t end : ends) {
        if (end > room) break;
        keep = end;
    }
    out.resize(keep);
    return out + std::string(kEllipsis);
}
