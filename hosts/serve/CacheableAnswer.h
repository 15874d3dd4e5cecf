// The headers and negotiation of an answer that depends on its request alone (the picture,
// the measured size, the demo page): an entity tag of the bytes served, gzip for clients that
// take it, and 304 Not Modified when the client's copy is current. Such an answer may be kept
// in an AnswerCache and served from there again, with the same bytes.
#pragma once

#include <memory>
#include <string_view>

#include "hosts/serve/AnswerCache.h"
#include "hosts/serve/HttpMessage.h"

// Finishes a 200 answer in place. The entity tag is a hash of the body, so it changes with
// whatever changes the bytes (the settings as the component applies them, or a new build of
// it) and never otherwise, and instances behind one balancer agree on it. With a cache, the
// finished answer is also kept there under `key`, which must name everything the answer
// depends on but If-None-Match and the method (GET or HEAD).
void FinishCacheableAnswer(const HttpRequest& request, std::string_view cache_control,
                           HttpResponse* response, AnswerCache* cache = nullptr,
                           std::string_view key = {});

// The answer `kept` to `request`: as it was made, or 304 when the client's copy is current.
HttpResponse KeptAnswerFor(const HttpRequest& request, std::shared_ptr<const KeptAnswer> kept);
