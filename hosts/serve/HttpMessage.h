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

// Parses one request from the front of `buffer`.
ParseResult ParseRequest(std::string_view buffer, HttpRequest* request);

// Name=Value pairs of a query string in their order, '+' and %XX decoded.
std::vector<std::pair<std::string, std::string>> ParseQuery(std::string_view query);
std::string PercentDecode(std::string_view text, bool plus_is_space);

const char* ReasonPhrase(int status);
// The full response: status line, headers (Content-Length included) and, unless head_only,
// the body.
std::string SerializeResponse(const HttpResponse& response, bool keep_alive, bool head_only);
