#include "hosts/serve/QueryString.h"

#include <cstdint>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendDecoded(std::string_view text, bool plus_is_space, std::string* out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        // What needs no decoding goes over in one piece.
        std::size_t plain = i;
        while (plain < text.size() && text[plain] != '%' &&
               (text[plain] != '+' || !plus_is_space)) {
            ++plain;
        }
        out->append(text.substr(i, plain - i));
        if (plain == text.size()) return;
        i = plain;
        const char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out->push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out->push_back(plus_is_space && c == '+' ? ' ' : c);
    }
}

// Calls `each` with the name and value of every item of the query, as sent; an item without
// '=' has an empty value, and empty items are skipped.
template <typename Each>
void ForEachItem(std::string_view query, Each each) {
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view item = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (item.empty()) continue;
        const std::size_t equals = item.find('=');
        each(item.substr(0, equals),
             equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1));
    }
}

// `text` decoded, after its decoded length in four bytes, so that no two lists of texts
// written one after another read the same.
void AppendCounted(std::string_view text, std::string* out) {
    const std::size_t at = out->size();
    out->append(4, '\0');
    AppendDecoded(text, true, out);
    const auto length = static_cast<std::uint32_t>(out->size() - at - 4);
    for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<char>(length >> (8 * i));
}

}  // namespace

std::string PercentDecode(std::string_view text, bool plus_is_space) {
    std::string out;
    out.reserve(text.size());
    AppendDecoded(text, plus_is_space, &out);
    return out;
}

std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view query) {
    std::vector<std::pair<std::string, std::string>> pairs;
    ForEachItem(query, [&](std::string_view name, std::string_view value) {
        pairs.emplace_back(PercentDecode(name, true), PercentDecode(value, true));
    });
    return pairs;
}

void AppendParsedQuery(std::string_view query, std::string* out) {
    ForEachItem(query, [out](std::string_view name, std::string_view value) {
        AppendCounted(name, out);
        AppendCounted(value, out);
    });
}
