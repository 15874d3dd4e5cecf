// HTTP/1.1 requests and responses as the page host needs them: incremental parsing of a
// request head from a connection's buffer, query strings, and response serialisation.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Longest query string served; a longer one is refused with 414.
constexpr std::size_t kMaxQueryLength = 16 * 1024;
// A request line holds the longest accepted query plus a path of reasonable length.
constexpr std::size_t kMaxRequestLine = kMaxQueryLength + 4096;
// A whole head, request line included; a longer one is refused with 431, as are more header
// lines than kMaxHeaders.
constexpr std::size_t kMaxHead = kMaxRequestLine + 32 * 1024;
constexpr std::size_t kMaxHeaders = 100;
constexpr std::size_t kMaxBody = 64 * 1024;
// Every request, head and body, fits in this many bytes: a buffer that holds this much and no
// whole request holds an error, so a connection never needs to read further ahead.
constexpr std::size_t kMaxRequest = kMaxHead + 4 + kMaxBody;

struct HttpRequest {
    std::string method;
    std::string path;   // percent-decoded
    std::string query;  // as sent, without the '?'
    bool http10 = false;
    bool keep_alive = true;
    std::vector<std::pair<std::string, std::string>> headers;

    // The first header of that name (case-insensitive), or empty.
    std::string_view Header(std::string_view name) const;
};

struct HttpResponse {
    int status = 200;
    std::string content_type = "text/plain; charset=utf-8";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    static HttpResponse Text(int status, std::string text);
};

// What a server calls to answer each request.
using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

enum class ParseStatus { Incomplete, Complete, Error };

struct ParseResult {
    ParseStatus status = ParseStatus::Incomplete;
    std::size_t consumed = 0;  // bytes of the buffer the request took, body included
    int error_status = 0;      // the status to answer with on Error
};

// Parses one request from the front of `buffer`. Whatever the buffer's size, only its first
// kMaxRequest bytes are looked at.
ParseResult ParseRequest(std::string_view buffer, HttpRequest* request);

// The items of a header's list ("gzip;q=1, br"), or of one item's parameters with ';', trimmed
// of spaces and tabs, empty ones left out.
std::vector<std::string_view> ListItems(std::string_view value, char separator = ',');

// Name=Value pairs of a query string in their order, '+' and %XX decoded.
std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view query);
std::string PercentDecode(std::string_view text, bool plus_is_space);

const char* ReasonPhrase(int status);
// The full response: status line, headers (Content-Length included) and, unless head_only,
// the body.
std::string SerializeResponse(const HttpResponse& response, bool keep_alive, bool head_only);
