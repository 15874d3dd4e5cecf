#include "hosts/serve/RequestParser.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "hosts/serve/QueryString.h"
#include "platform/common/AsciiCase.h"

namespace {

constexpr std::size_t kNone = std::string_view::npos;

constexpr bool IsAlphanumeric(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The characters of a method or a header name, as a table: one is looked up for every byte
// of them.
constexpr std::array<bool, 256> kTokenCharacters = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = IsAlphanumeric(static_cast<char>(c)) ||
                   std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != kNone;
    }
    return table;
}();

bool IsTokenCharacter(char c) {
    return kTokenCharacters[static_cast<unsigned char>(c)];
}

bool IsToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenCharacter);
}

bool IsControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

bool IsDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A host as a URL or the Host field names it (RFC 3986's host, then an optional port): a
// name or IPv4 address of unreserved characters, %-escapes and sub-delimiters, or an IPv6
// address in brackets. Empty is allowed: it is what a client sends for a URL without a host.
bool IsHost(std::string_view text) {
    std::string_view host = text;
    std::string_view rest;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == kNone) return false;
        host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (host.empty()) return false;
    } else {
        const std::size_t colon = text.find(':');
        host = text.substr(0, colon);
        rest = colon == kNone ? std::string_view() : text.substr(colon);
    }
    const bool bracketed = host.data() != text.data();
    const bool characters = std::all_of(host.begin(), host.end(), [bracketed](char c) {
        return IsAlphanumeric(c) || std::string_view("-._~%!$&'()*+,;=").find(c) != kNone ||
               (bracketed && c == ':');
    });
    return characters && (rest.empty() || (rest.front() == ':' && IsDigits(rest.substr(1))));
}

// Where the first line end (CR LF) from `from` on ends, before `to`: the LF's position, or
// kNone. A CR just before `from` counts, so a CR LF split between two reads is found.
std::size_t FindLineEnd(std::string_view input, std::size_t from, std::size_t to) {
    for (std::size_t at = std::max<std::size_t>(from, 1); at < to;) {
        const void* found = std::memchr(input.data() + at, '\n', to - at);
        if (found == nullptr) return kNone;
        const auto lf = static_cast<std::size_t>(static_cast<const char*>(found) - input.data());
        if (input[lf - 1] == '\r') return lf;
        at = lf + 1;
    }
    return kNone;
}

}  // namespace

HttpRequest RequestLineAsRead(std::string_view input) {
    HttpRequest request;
    request.method = "-";
    std::string_view line = input.substr(0, kMaxRequestLine);
    line = line.substr(0, line.find_first_of("\r\n"));
    const std::size_t space = line.find(' ');
    if (space == kNone || !IsToken(line.substr(0, space))) return request;
    request.method = line.substr(0, space);
    std::string_view target = line.substr(space + 1);
    target = target.substr(0, target.find(' '));
    if (!target.empty() && target.front() == '/') {
        request.path = PercentDecode(target.substr(0, target.find('?')), false);
    }
    return request;
}

RequestState RequestParser::Parse(std::string_view input) {
    if (state_ == RequestState::kRefused) return state_;
    // No request is longer, so nothing past this is ever looked at.
    input = input.substr(0, kMaxRequest);
    if (phase_ == Phase::kRequestLine) ReadRequestLine(input);
    if (state_ == RequestState::kIncomplete && phase_ == Phase::kHeaders) ReadHeaderLines(input);
    if (state_ == RequestState::kIncomplete && phase_ == Phase::kBody && input.size() >= length_) {
        state_ = RequestState::kComplete;  // the body, which no route reads, has all arrived
    }
    if (state_ == RequestState::kComplete) Point(input);
    return state_;
}

void RequestParser::Next() {
    state_ = RequestState::kIncomplete;
    phase_ = Phase::kRequestLine;
    scanned_ = line_start_ = 0;
    fault_ = refusal_ = 0;
    first_space_ = 0;
    content_lengths_ = hosts_ = 0;
    transfer_encoding_ = expects_continue_ = false;
    fields_.clear();  // clear, not new: their room serves the next request too
    length_ = 0;
    request_.method = request_.query = {};
    request_.path.clear();
    request_.http10 = false;
    request_.keep_alive = true;
    request_.headers.clear();
}

// METHOD SP TARGET SP HTTP/1.x, with no control characters anywhere. Each byte is judged as it
// comes: a control character (but the CR of the line end), or a method that is no token,
// refuses the line before it ends.
void RequestParser::ReadRequestLine(std::string_view input) {
    // A line end that comes later than this ends a line that is too long.
    const std::size_t window = std::min(input.size(), kMaxRequestLine + 2);
    for (std::size_t at = scanned_; at < window; ++at) {
        const char c = input[at];
        const bool after_cr = at > 0 && input[at - 1] == '\r';
        if (after_cr && c == '\n') {
            scanned_ = line_start_ = at + 1;
            phase_ = Phase::kHeaders;
            return CheckRequestLine(input, at - 1);
        }
        if (after_cr || (IsControl(c) && c != '\r')) return Refuse(400);
        if (first_space_ == 0) {
            if (c == ' ' && at > 0) {
                first_space_ = at;
            } else if (!IsTokenCharacter(c)) {
                return Refuse(400);
            }
        }
    }
    scanned_ = window;
    if (input.size() > kMaxRequestLine) Refuse(414);
}

void RequestParser::CheckRequestLine(std::string_view input, std::size_t end) {
    const std::string_view line = input.substr(0, end);
    const std::size_t last_space = line.rfind(' ');
    // One space only: "GET /", an HTTP/0.9 request, which has no head to end it.
    if (first_space_ == 0 || last_space == first_space_) return Refuse(400);
    const std::string_view version = line.substr(last_space + 1);
    if (version != "HTTP/1.1" && version != "HTTP/1.0") return Refuse(505);
    const std::size_t target_length = last_space - first_space_ - 1;
    const std::string_view target = line.substr(first_space_ + 1, target_length);
    if (target.find(' ') != kNone || !FindPath(input, first_space_ + 1, target_length)) {
        return Refuse(400);
    }
    const std::string_view path_and_query = input.substr(target_, target_length_);
    const std::size_t question = path_and_query.find('?');
    if (question != kNone && path_and_query.size() - question - 1 > kMaxQueryLength) {
        return Refuse(414);
    }
    method_length_ = first_space_;
    path_length_ = std::min(question, path_and_query.size());
    request_.http10 = version == "HTTP/1.0";
}

bool RequestParser::FindPath(std::string_view input, std::size_t at, std::size_t length) {
    const std::string_view target = input.substr(at, length);
    std::size_t path = 0;
    if (target.empty() || target.front() != '/') {
        const std::size_t scheme_end = target.find("://");
        const std::string_view scheme = target.substr(0, scheme_end);
        if (scheme_end == kNone || !(platform::EqualsIgnoringCase(scheme, "http") ||
                                     platform::EqualsIgnoringCase(scheme, "https"))) {
            return false;
        }
        const std::size_t host = scheme_end + 3;
        path = std::min(target.find_first_of("/?", host), target.size());
        if (path == host || !IsHost(target.substr(host, path - host))) return false;
    }
    target_ = at + path;
    target_length_ = length - path;
    return true;
}

// The header lines, each ending in CR LF, up to the empty line that ends the head.
void RequestParser::ReadHeaderLines(std::string_view input) {
    // The head's last line end must come within kMaxHead + 4 bytes, however many more have
    // arrived.
    const std::size_t window = std::min(input.size(), kMaxHead + 4);
    for (std::size_t lf; (lf = FindLineEnd(input, scanned_, window)) != kNone;) {
        scanned_ = lf + 1;
        if (lf - 1 == line_start_) return EndHead(input, lf + 1);
        ReadHeaderLine(input, line_start_, lf - 1);
        line_start_ = lf + 1;
    }
    scanned_ = window;
    if (window == kMaxHead + 4) Refuse(431);
}

// A name is a token right before its colon: a space there, or a line folded onto the previous
// one, is refused, since a proxy in front may read such a line differently and so frame the
// requests differently.
void RequestParser::ReadHeaderLine(std::string_view input, std::size_t start, std::size_t end) {
    if (fault_ != 0) return;
    if (fields_.size() == kMaxHeaders) return Fault(431);
    const std::string_view line = input.substr(start, end - start);
    const std::size_t colon = line.find(':');
    if (colon == kNone || !IsToken(line.substr(0, colon))) return Fault(400);
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = TrimBlanks(line.substr(colon + 1));
    if (std::any_of(value.begin(), value.end(), [](char c) { return c != '\t' && IsControl(c); })) {
        return Fault(400);
    }
    content_lengths_ += platform::EqualsIgnoringCase(name, "Content-Length");
    hosts_ += platform::EqualsIgnoringCase(name, "Host");
    transfer_encoding_ =
        transfer_encoding_ || platform::EqualsIgnoringCase(name, "Transfer-Encoding");
    // Positions fit in 32 bits: the head is at most kMaxHead bytes.
    fields_.push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(colon),
                       static_cast<std::uint32_t>(value.data() - input.data()),
                       static_cast<std::uint32_t>(value.size())});
}

void RequestParser::EndHead(std::string_view input, std::size_t length) {
    if (fault_ != 0) return Refuse(fault_);
    // The routes take no body, so there is no reason to accept a framing that proxies may
    // disagree on: a second length, or any transfer coding.
    if (content_lengths_ > 1 || transfer_encoding_) return Refuse(400);
    Point(input);
    const std::string_view connection = request_.Header("Connection");
    request_.keep_alive = request_.http10 ? platform::EqualsIgnoringCase(connection, "keep-alive")
                                          : !platform::EqualsIgnoringCase(connection, "close");
    std::size_t body = 0;
    if (content_lengths_ == 1) {
        const std::string_view text = request_.Header("Content-Length");
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), body);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
            return Refuse(400);
        }
        if (body > kMaxBody) return Refuse(413);
    }
    // HTTP/1.1 requires the Host field, once, naming a host (RFC 9112 section 3.2).
    if ((hosts_ == 0 && !request_.http10) || hosts_ > 1 || !IsHost(request_.Header("Host"))) {
        return Refuse(400);
    }
    if (const std::string_view expect = request_.Header("Expect"); !expect.empty()) {
        if (!platform::EqualsIgnoringCase(expect, "100-continue")) return Refuse(417);
        // An HTTP/1.0 client knows no 100 Continue, and a request without a body needs none.
        expects_continue_ = !request_.http10 && body > 0;
    }
    request_.path = PercentDecode(input.substr(target_, path_length_), false);
    if (request_.path.empty()) request_.path = "/";  // an absolute form without a path
    length_ = length + body;
    phase_ = Phase::kBody;
}

void RequestParser::Point(std::string_view input) {
    request_.method = input.substr(0, method_length_);
    request_.query = target_length_ > path_length_ ? input.substr(target_ + path_length_ + 1,
                                                                  target_length_ - path_length_ - 1)
                                                   : std::string_view();
    request_.headers.clear();
    for (const Field& f : fields_) {
        request_.headers.emplace_back(input.substr(f.name, f.name_length),
                                      input.substr(f.value, f.value_length));
    }
}

void RequestParser::Refuse(int status) {
    state_ = RequestState::kRefused;
    refusal_ = status;
}
