// HTTP/1.1 requests and responses as the page host needs them: a request as RequestParser
// reads it, a response and the bytes that carry it, and the lists inside header values.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The views point into the connection's input, and hold while the request is served.
struct HttpRequest {
    std::string_view method;
    std::string path;        // percent-decoded
    std::string_view query;  // as sent, without the '?'
    bool http10 = false;
    bool keep_alive = true;
    std::vector<std::pair<std::string_view, std::string_view>> headers;  // as sent, trimmed

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

// `s` without the spaces and tabs around it, as a header's value is read.
std::string_view TrimBlanks(std::string_view s);
// The items of a header's list ("gzip;q=1, br"), or of one item's parameters with ';', trimmed
// of spaces and tabs, empty ones left out.
std::vector<std::string_view> ListItems(std::string_view value, char separator = ',');

const char* ReasonPhrase(int status);
// The full response: status line, headers (Content-Length included) and, unless head_only,
// the body.
std::string SerializeResponse(const HttpResponse& response, bool keep_alive, bool head_only);
