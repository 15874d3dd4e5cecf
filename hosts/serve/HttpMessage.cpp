#include "hosts/serve/HttpMessage.h"

#include "platform/common/AsciiCase.h"

#include <algorithm>
#include <charconv>

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// The characters of a method or a header name.
bool IsToken(std::string_view text) {
    constexpr std::string_view kSymbols = "!#$%&'*+-.^_`|~";
    return !text.empty() && std::all_of(text.begin(), text.end(), [&](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               kSymbols.find(c) != std::string_view::npos;
    });
}

bool IsControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

ParseResult Error(int status) {
    return {ParseStatus::Error, 0, status};
}

}  // namespace

std::string_view HttpRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (platform::EqualsIgnoringCase(key, name)) return value;
    }
    return {};
}

HttpResponse HttpResponse::Text(int status, std::string text) {
    HttpResponse response;
    response.status = status;
    response.body = std::move(text);
    if (response.body.empty() || response.body.back() != '\n') response.body += '\n';
    return response;
}

std::string PercentDecode(std::string_view text, bool plus_is_space) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(plus_is_space && c == '+' ? ' ' : c);
    }
    return out;
}

std::vector<std::string_view> ListItems(std::string_view value, char separator) {
    std::vector<std::string_view> items;
    while (!value.empty()) {
        const std::size_t end = value.find(separator);
        const std::string_view item = Trim(value.substr(0, end));
        value = end == std::string_view::npos ? std::string_view() : value.substr(end + 1);
        if (!item.empty()) items.push_back(item);
    }
    return items;
}

std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view query) {
    std::vector<std::pair<std::string, std::string>> pairs;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view item = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (item.empty()) continue;
        const std::size_t equals = item.find('=');
        pairs.emplace_back(PercentDecode(item.substr(0, equals), true),
                           equals == std::string_view::npos
                               ? std::string()
                               : PercentDecode(item.substr(equals + 1), true));
    }
    return pairs;
}

ParseResult ParseRequest(std::string_view buffer, HttpRequest* request) {
    // No request is longer, so nothing past this is ever searched.
    buffer = buffer.substr(0, kMaxRequest);
    const std::size_t line_end = buffer.find("\r\n");
    if (line_end == std::string_view::npos) {
        return buffer.size() > kMaxRequestLine ? Error(414) : ParseResult{};
    }
    if (line_end > kMaxRequestLine) return Error(414);
    // The head ends with an empty line, which must come within kMaxHead bytes, however many
    // more have arrived.
    const std::size_t head_end = buffer.substr(0, kMaxHead + 4).find("\r\n\r\n");
    if (head_end == std::string_view::npos) {
        return buffer.size() >= kMaxHead + 4 ? Error(431) : ParseResult{};
    }

    // Request line: METHOD SP TARGET SP HTTP/1.x, with no control characters anywhere.
    const std::string_view line = buffer.substr(0, line_end);
    const std::size_t first_space = line.find(' ');
    const std::size_t last_space = line.rfind(' ');
    if (first_space == std::string_view::npos || last_space == first_space) return Error(400);
    const std::string_view version = line.substr(last_space + 1);
    if (version != "HTTP/1.1" && version != "HTTP/1.0") return Error(505);
    const std::string_view method = line.substr(0, first_space);
    const std::string_view target = line.substr(first_space + 1, last_space - first_space - 1);
    if (!IsToken(method) || target.empty() || target.front() != '/') return Error(400);
    if (std::any_of(target.begin(), target.end(),
                    [](char c) { return c == ' ' || IsControl(c); })) {
        return Error(400);
    }

    *request = HttpRequest{};
    request->method = std::string(method);
    request->http10 = version == "HTTP/1.0";
    const std::size_t question = target.find('?');
    request->path = PercentDecode(target.substr(0, question), false);
    if (question != std::string_view::npos) {
        request->query = std::string(target.substr(question + 1));
        if (request->query.size() > kMaxQueryLength) return Error(414);
    }

    // The header lines, each ending in CRLF. A name is a token right before its colon: a
    // space there, or a line folded onto the previous one, is refused, since a proxy in front
    // may read such a line differently and so frame the requests differently.
    std::string_view rest = buffer.substr(line_end + 2, head_end - line_end);
    std::size_t content_lengths = 0;
    bool transfer_encoding = false;
    while (!rest.empty()) {
        const std::size_t end = rest.find("\r\n");
        const std::string_view header = rest.substr(0, end);
        rest.remove_prefix(end + 2);
        if (header.empty()) continue;
        if (request->headers.size() == kMaxHeaders) return Error(431);
        const std::size_t colon = header.find(':');
        if (colon == std::string_view::npos || !IsToken(header.substr(0, colon))) {
            return Error(400);
        }
        const std::string_view name = header.substr(0, colon);
        const std::string_view value = Trim(header.substr(colon + 1));
        if (std::any_of(value.begin(), value.end(),
                        [](char c) { return c != '\t' && IsControl(c); })) {
            return Error(400);
        }
        content_lengths += platform::EqualsIgnoringCase(name, "Content-Length");
        transfer_encoding =
            transfer_encoding || platform::EqualsIgnoringCase(name, "Transfer-Encoding");
        request->headers.emplace_back(std::string(name), std::string(value));
    }
    // The routes take no body, so there is no reason to accept a framing that proxies may
    // disagree on: a second length, or any transfer coding.
    if (content_lengths > 1 || transfer_encoding) return Error(400);

    const std::string_view connection = request->Header("Connection");
    request->keep_alive = request->http10 ? platform::EqualsIgnoringCase(connection, "keep-alive")
                                          : !platform::EqualsIgnoringCase(connection, "close");
    std::size_t body = 0;
    if (content_lengths == 1) {
        const std::string_view length = request->Header("Content-Length");
        const auto [end, ec] = std::from_chars(length.data(), length.data() + length.size(), body);
        if (length.empty() || ec != std::errc() || end != length.data() + length.size()) {
            return Error(400);
        }
        if (body > kMaxBody) return Error(413);
    }
    const std::size_t total = head_end + 4 + body;
    if (buffer.size() < total) return {};  // the body (ignored) has not all arrived yet
    return {ParseStatus::Complete, total, 0};
}

const char* ReasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 304:
            return "Not Modified";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 413:
            return "Payload Too Large";
        case 414:
            return "URI Too Long";
        case 422:
            return "Unprocessable Content";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 503:
            return "Service Unavailable";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Unknown";
    }
}

std::string SerializeResponse(const HttpResponse& response, bool keep_alive, bool head_only) {
    std::string out;
    out.reserve(256 + (head_only ? 0 : response.body.size()));
    out += "HTTP/1.1 ";
    out += std::to_string(response.status);
    out += ' ';
    out += ReasonPhrase(response.status);
    out += "\r\nServer: quillon-serve\r\n";
    if (response.status != 304) {
        out += "Content-Type: ";
        out += response.content_type;
        out += "\r\n";
    }
    for (const auto& [name, value] : response.headers) {
        out += name;
        out += ": ";
        out += value;
        out += "\r\n";
    }
    if (response.status != 304) {
        out += "Content-Length: ";
        out += std::to_string(response.body.size());
        out += "\r\n";
    }
    out += keep_alive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    if (!head_only && response.status != 304) out += response.body;
    return out;
}
