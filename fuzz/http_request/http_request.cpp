// libFuzzer target: the HTTP request parser as a connection drives it (pipelined requests
// read from the front of one buffer, each also given in pieces as reads would bring it),
// query decoding, Accept-Encoding, and the text the server writes of what a client sent.
// Invariants that a connection relies on are checked, not only crashes:
//   - a complete request is at least its head and never more than kMaxRequest bytes;
//   - the answer does not depend on the reads: given in pieces, into a buffer that moves, a
//     request gets the answer, length and fields it gets in one piece, and a complete one no
//     answer before its last byte;
//   - refusals are only the statuses the server means to send, and what the log names of a
//     refused request is the method its line starts with, or "-";
//   - what PrintableText makes of anything, in its quoted form, is valid UTF-8 without
//     control characters or double quotes, within its bound.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "hosts/serve/Gzip.h"
#include "hosts/serve/QueryString.h"
#include "hosts/serve/RequestParser.h"
#include "library/session/PrintableText.h"
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
    return status == 400 || status == 413 || status == 414 || status == 417 || status == 431 ||
           status == 505;
}

// Gives `input` to a fresh parser `piece` bytes at a time, into a buffer that grows and now
// and then moves, until it answers; checks that answer against `whole`'s.
void CheckInPieces(std::string_view input, std::size_t piece, const RequestParser& whole) {
    RequestParser parser;
    std::string buffer;
    RequestState state = RequestState::kIncomplete;
    std::size_t before = 0;  // the buffer's size before the last read
    for (std::size_t reads = 1; state == RequestState::kIncomplete && buffer.size() < input.size();
         ++reads) {
        before = buffer.size();
        buffer += input.substr(buffer.size(), piece);
        if (reads % 16 == 0) buffer = std::string(buffer);
        state = parser.Parse(buffer);
    }
    Check(state == whole.state());
    Check(parser.refusal() == whole.refusal());
    Check(parser.ExpectsContinue() == whole.ExpectsContinue());
    if (state != RequestState::kComplete) return;
    Check(parser.length() == whole.length());
    Check(before < whole.length());  // no answer before the last byte
    const HttpRequest& a = parser.request();
    const HttpRequest& b = whole.request();
    Check(a.method == b.method && a.path == b.path && a.query == b.query &&
          a.headers == b.headers && a.keep_alive == b.keep_alive && a.http10 == b.http10);
    Check(a.method.data() == buffer.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view rest = input;
    for (int i = 0; i < 16 && !rest.empty(); ++i) {
        RequestParser whole;
        const RequestState state = whole.Parse(rest);
        if (state == RequestState::kRefused) {
            Check(IsRefusal(whole.refusal()));
            // What the log names of it: a method the line shows (which may itself be "-"), or
            // "-" and no path.
            const HttpRequest read = RequestLineAsRead(rest);
            Check(read.method.data() == rest.data() || (read.method == "-" && read.path.empty()));
            CheckShowable(read.path, 200);
        }
        Check(!whole.ExpectsContinue() || state == RequestState::kIncomplete);
        CheckInPieces(rest, 1 + (size * 31 + static_cast<std::size_t>(i)) % 61, whole);
        if (state != RequestState::kComplete) break;
        const HttpRequest& request = whole.request();
        // The shortest request: "X / HTTP/1.1", CRLF, CRLF.
        Check(whole.length() >= 16 && whole.length() <= rest.size());
        Check(whole.length() <= kMaxRequest);
        Check(request.headers.size() <= kMaxHeaders);
        Check(request.query.size() <= kMaxQueryLength);
        RequestParser partial;
        Check(partial.Parse(rest.substr(0, whole.length() - 1)) == RequestState::kIncomplete);
        for (const auto& [name, value] : ParseQuery(request.query)) {
            Check(name.size() + value.size() <= request.query.size());
            CheckShowable(value, 40);
        }
        AcceptsGzip(request.Header("Accept-Encoding"));
        CheckShowable(request.path, 200);
        rest.remove_prefix(whole.length());
    }
    Check(PercentDecode(input, true).size() <= input.size());
    CheckShowable(input, size % 64 < 3 ? std::string_view::npos : size % 64);
    return 0;
}
