// libFuzzer target: the HTTP request parser as a connection drives it (pipelined requests
// taken from the front of one buffer), query decoding, Accept-Encoding, and the text the
// server writes of what a client sent. Invariants that a connection relies on are checked,
// not only crashes:
//   - a complete request consumes at least its head and never more than kMaxRequest bytes;
//   - every shorter prefix of a complete request is incomplete (no answer before the end);
//   - errors are only the statuses the server means to send;
//   - what PrintableText makes of anything, in its quoted form, is valid UTF-8 without
//     control characters or double quotes, within its bound.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "hosts/common/PrintableText.h"
#include "hosts/serve/Gzip.h"
#include "hosts/serve/HttpMessage.h"
#include "platform/common/Utf8.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void CheckShowable(std::string_view text, std::size_t max_bytes) {
    const std::string shown = PrintableText(text, max_bytes, PrintableForm::kQuoted);
    std::u16string utf16;
    Check(platform::Utf8ToUtf16(shown, &utf16));
    for (const char c : shown) {
        const auto u = static_cast<unsigned char>(c);
        Check(u >= 0x20 && u != 0x7F && c != '"');
    }
    Check(shown.size() <= max_bytes);
}

bool IsRefusal(int status) {
    return status == 400 || status == 413 || status == 414 || status == 431 || status == 505;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view rest = input;
    for (int i = 0; i < 16 && !rest.empty(); ++i) {
        HttpRequest request;
        const ParseResult parsed = ParseRequest(rest, &request);
        if (parsed.status == ParseStatus::Error) Check(IsRefusal(parsed.error_status));
        if (parsed.status != ParseStatus::Complete) break;
        // The shortest request: "X / HTTP/1.1", CRLF, CRLF.
        Check(parsed.consumed >= 16 && parsed.consumed <= rest.size());
        Check(parsed.consumed <= kMaxRequest);
        Check(request.headers.size() <= kMaxHeaders);
        Check(request.query.size() <= kMaxQueryLength);
        for (const std::size_t cut : {parsed.consumed / 2, parsed.consumed - 1}) {
            HttpRequest partial;
            Check(ParseRequest(rest.substr(0, cut), &partial).status == ParseStatus::Incomplete);
        }
        for (const auto& [name, value] : ParseQuery(request.query)) {
            Check(name.size() + value.size() <= request.query.size());
            CheckShowable(value, 40);
        }
        AcceptsGzip(request.Header("Accept-Encoding"));
        CheckShowable(request.path, 200);
        rest.remove_prefix(parsed.consumed);
    }
    Check(PercentDecode(input, true).size() <= input.size());
    CheckShowable(input, size % 64 < 3 ? std::string_view::npos : size % 64);
    return 0;
}
