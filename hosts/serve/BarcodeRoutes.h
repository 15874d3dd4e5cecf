// The page host's pages: the picture, the measured size and the demo page. Each request gets
// its own component object, made and used on the worker thread that serves it, between an
// OnStartPage and an OnEndPage as a page script's object would be; unless its answer was
// made before and is kept in the server's answer cache, which then answers it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hosts/common/HostBarcode.h"
#include "hosts/serve/AnswerCache.h"
#include "hosts/serve/HttpMessage.h"

struct RouteLimits {
    std::int64_t max_pixels = kDefaultMaxPixels;  // largest picture served
    int quiet_zone = kDefaultQuietZone;           // unless a request says quietzone=N
    // Answers that cost more than drawing this many pixels (a larger picture, or a Macro
    // PDF417 set cut from long data) are made on one of the server's answer threads, so that
    // the event loop answers the others meanwhile (0: all on the event loop).
    std::int64_t later_pixels = std::int64_t{1} << 20;
    AnswerCache* cache = nullptr;  // where answers are kept for the next to ask; null: none
};

// The paths served here, for counting requests by route.
std::vector<std::string> BarcodeRoutePaths();

HttpResponse ServeBarcodeRequest(const HttpRequest& request, const RouteLimits& limits);
