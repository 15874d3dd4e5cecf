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

void Compress(HttpResponse* response) {
    response->body = Gzip(response->body);
    response->headers.emplace_back("Content-Encoding", "gzip");
}

}  // namespace

void FinishCacheableAnswer(const HttpRequest& request, std::string_view cache_control,
                           HttpResponse* response, AnswerCache* cache, std::string_view key) {
    const bool gzip = response->body.size() >= kSmallestCompressed &&
                      AcceptsGzip(request.Header("Accept-Encoding"));
    std::string tag = EntityTag(response->content_type, response->body, gzip);
    response->headers.emplace_back("Cache-Control", std::string(cache_control));
    response->headers.emplace_back("ETag", tag);
    response->headers.emplace_back("Vary", "Accept-Encoding");
    if (cache == nullptr) {
        if (Matches(request.Header("If-None-Match"), tag)) {
            response->status = 304;
            response->body.clear();
        } else if (gzip) {
            Compress(response);
        }
        return;
    }
    // Kept both ways it may be sent, whichever this request asked for.
    PreparedAnswer not_modified = PrepareNotModified(*response);
    if (gzip) Compress(response);
    auto kept = std::make_shared<KeptAnswer>(
        KeptAnswer{std::move(tag), Prepare(std::move(*response)), std::move(not_modified)});
    cache->Keep(key, kept);
    *response = KeptAnswerFor(request, std::move(kept));
}

HttpResponse KeptAnswerFor(const HttpRequest& request, std::shared_ptr<const KeptAnswer> kept) {
    const bool current = Matches(request.Header("If-None-Match"), kept->tag);
    const PreparedAnswer* answer = current ? &kept->not_modified : &kept->full;
    // The answer's bytes stay with the rest of what is kept, alive as long as either is used.
    return HttpResponse::Prepared(std::shared_ptr<const PreparedAnswer>(std::move(kept), answer));
}
