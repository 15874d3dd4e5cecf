#include "hosts/serve/HttpMessage.h"

#include "platform/common/AsciiCase.h"

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string_view HttpRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (platform::EqualsIgnoringCase(key, name)) return value;
    }
    return {};
}

OwnedRequest::OwnedRequest(const HttpRequest& request) : request_(request) {
    std::size_t size = request.method.size() + request.query.size();
    for (const auto& [name, value] : request.headers) size += name.size() + value.size();
    bytes_.reserve(size);  // no reallocation below: the views taken stay valid
    auto keep = [this](std::string_view text) {
        const std::size_t at = bytes_.size();
        bytes_ += text;
        return std::string_view(bytes_).substr(at, text.size());
    };
    request_.method = keep(request.method);
    request_.query = keep(request.query);
    for (auto& [name, value] : request_.headers) {
        name = keep(name);
        value = keep(value);
    }
}

HttpResponse HttpResponse::Busy(std::string text) {
    HttpResponse response = Text(503, std::move(text));
    response.headers.emplace_back("Retry-After", "1");
    return response;
}

HttpResponse HttpResponse::Prepared(std::shared_ptr<const PreparedAnswer> prepared) {
    HttpResponse response;
    response.status = prepared->status;
    response.prepared = std::move(prepared);
    return response;
}

HttpResponse HttpResponse::Text(int status, std::string text) {
    HttpResponse response;
    response.status = status;
    response.body = std::move(text);
    if (response.body.empty() || response.body.back() != '\n') response.body += '\n';
    return response;
}

std::vector<std::string_view> ListItems(std::string_view value, char separator) {
    std::vector<std::string_view> items;
    while (!value.empty()) {
        const std::size_t end = value.find(separator);
        const std::string_view item = TrimBlanks(value.substr(0, end));
        value = end == std::string_view::npos ? std::string_view() : value.substr(end + 1);
        if (!item.empty()) items.push_back(item);
    }
    return items;
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
        case 417:
            return "Expectation Failed";
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

namespace {

// Room for the fixed parts of a head (status line, Server, Content-Length, Connection).
constexpr std::size_t kHeadRoom = 128;

// The status line and the header fields but Connection, of `response` with `status`: a 304
// has neither Content-Type nor Content-Length, as it has no body. With room for `more`.
void AppendHead(const HttpResponse& response, int status, std::string* out, std::size_t more = 0) {
    std::size_t size = kHeadRoom + response.content_type.size();
    for (const auto& [name, value] : response.headers) size += name.size() + value.size() + 4;
    out->reserve(out->size() + size + more);
    *out += "HTTP/1.1 ";
    *out += std::to_string(status);
    *out += ' ';
    *out += ReasonPhrase(status);
    *out += "\r\nServer: quillon-serve\r\n";
    if (status != 304) {
        *out += "Content-Type: ";
        *out += response.content_type;
        *out += "\r\n";
    }
    for (const auto& [name, value] : response.headers) {
        *out += name;
        *out += ": ";
        *out += value;
        *out += "\r\n";
    }
    if (status != 304) {
        *out += "Content-Length: ";
        *out += std::to_string(response.body.size());
        *out += "\r\n";
    }
}

}  // namespace

void AppendResponse(const HttpResponse& response, bool keep_alive, bool head_only,
                    std::string* out) {
    const PreparedAnswer* prepared = response.prepared.get();
    const bool body = !head_only && response.status != 304;
    if (prepared != nullptr) {
        out->reserve(out->size() + prepared->head.size() + kHeadRoom +
                     (body ? prepared->body.size() : 0));
        *out += prepared->head;
    } else {
        AppendHead(response, response.status, out, body ? response.body.size() : 0);
    }
    *out += keep_alive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    if (body) *out += prepared != nullptr ? prepared->body : response.body;
}

PreparedAnswer Prepare(HttpResponse response) {
    PreparedAnswer prepared{response.status, {}, {}};
    AppendHead(response, response.status, &prepared.head);
    if (response.status != 304) prepared.body = std::move(response.body);
    return prepared;
}

PreparedAnswer PrepareNotModified(const HttpResponse& response) {
    PreparedAnswer prepared{304, {}, {}};
    AppendHead(response, 304, &prepared.head);
    return prepared;
}
