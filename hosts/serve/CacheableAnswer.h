// The headers and negotiation of an answer that depends on its request alone (the picture,
// the measured size, the demo page): an entity tag of the bytes served, gzip for clients that
// take it, and 304 Not Modified when the client's copy is current.
#pragma once

#include <string_view>

#include "hosts/serve/HttpMessage.h"

// Finishes a 200 answer in place. The entity tag is a hash of the body, so it changes with
// whatever changes the bytes (the settings as the component applies them, or a new build of
// it) and never otherwise, and instances behind one balancer agree on it.
void FinishCacheableAnswer(const HttpRequest& request, std::string_view cache_control,
                           HttpResponse* response);
