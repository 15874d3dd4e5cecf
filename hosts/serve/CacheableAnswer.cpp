#include "hosts/serve/CacheableAnswer.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "hosts/serve/ContentHash.h"
#include "hosts/serve/Gzip.h"

namespace {

// Bodies this small gain next to nothing from gzip.
constexpr std::size_t kSmallestCompressed = 256;

std::string EntityTag(std::string_view content_type, std::string_view body, bool gzip) {
    const std::uint64_t hash = ContentHash(body, ContentHash(content_type));
    char tag[40];
    std::snprintf(tag, sizeof tag, "\"%016llx%s\"", static_cast<unsigned long long>(hash),
                  gzip ? "-gzip" : "");
    return tag;
}

// If-None-Match: "*" or a list of tags, each maybe weak (W/"..."), compared weakly.
bool Matches(std::string_view if_none_match, std::string_view tag) {
    for (std::string_view item : ListItems(if_none_match)) {
        if (item.substr(0, 2) == "W/") item.remove_prefix(2);
        if (item == "*" || item == tag) return true;
    }
    return false;
}

}  // namespace

void FinishCacheableAnswer(const HttpRequest& request, std::string_view cache_control,
                           HttpResponse* response) {
    const bool gzip = response->body.size() >= kSmallestCompressed &&
                      AcceptsGzip(request.Header("Accept-Encoding"));
    const std::string tag = EntityTag(response->content_type, response->body, gzip);
    response->headers.emplace_back("Cache-Control", std::string(cache_control));
    response->headers.emplace_back("ETag", tag);
    response->headers.emplace_back("Vary", "Accept-Encoding");
    if (Matches(request.Header("If-None-Match"), tag)) {
        response->status = 304;
        response->body.clear();
        return;
    }
    if (gzip) {
        response->body = Gzip(response->body);
        response->headers.emplace_back("Content-Encoding", "gzip");
    }
}
