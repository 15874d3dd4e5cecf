#include "hosts/serve/BarcodeRoutes.h"

#include <string>
#include <vector>

#include "hosts/common/OptionTable.h"
#include "hosts/serve/CacheableAnswer.h"
#include "hosts/serve/DemoPage.h"
#include "hosts/serve/Gzip.h"
#include "hosts/serve/PageContext.h"
#include "hosts/serve/QueryString.h"
#include "library/session/PrintableText.h"
#include "platform/common/AsciiCase.h"

namespace {

constexpr const char* kCacheControl = "public, max-age=86400";
// Longest warning header, and longest path quoted in a message, in bytes.
constexpr std::size_t kLongestWarning = 512;
constexpr std::size_t kLongestPath = 200;

bool SwitchIsOn(std::string_view value) {
    const std::string v = platform::Lower(value);
    return v == "1" || v == "true" || v == "on" || v == "yes";
}

// segments=N (or auto) and segment=I: symbol I, from 0, of a Macro PDF417 set of the data, as
// the command line's --macro writes it. An error message refuses the query.
std::string ReadMacroOptions(std::string_view segments, std::string_view segment,
                             BarcodeRequest* request) {
    if (segments.empty() && segment.empty()) return {};
    if (request->product != Product::kPng) return "segments= and segment= are for /barcode.png";
    if (segments.empty() || segment.empty()) {
        return "a symbol of a Macro PDF417 set needs both segments=N (or auto) and segment=I";
    }
    std::int64_t number = 0;
    if (segments == "auto") {
        request->macro.segments = QUILLON_MACRO_AUTO;
    } else if (ParseWholeNumber(segments, 1, QUILLON_MAX_MACRO_SEGMENTS, &number)) {
        request->macro.segments = static_cast<int>(number);
    } else {
        return "segments=" + PrintableText(segments, 40) + ": a set has 1 to " +
               std::to_string(QUILLON_MAX_MACRO_SEGMENTS) + " symbols, or auto";
    }
    if (!ParseWholeNumber(segment, 0, QUILLON_MAX_MACRO_SEGMENTS - 1, &number)) {
        return "segment=" + PrintableText(segment, 40) +
               ": the symbol's index in the set, from 0 to at most " +
               std::to_string(QUILLON_MAX_MACRO_SEGMENTS - 1);
    }
    request->macro.only = static_cast<int>(number);
    request->product = Product::kMacroSet;
    return {};
}

// What a query says besides the properties: how Data is read (utf8=1, binary=1), how the
// picture is sized (fit=1, quietzone=N), optimize=1 for OptimizeCompaction=True, compress=1
// for the compressed PNG, micro=1 for Symbology=1, and which symbol of a Macro PDF417 set
// (segments=N, segment=I), as the command line's --utf8, --binary, --fit, --quiet-zone,
// --optimize, --compress, --micro and --macro say. An error message refuses the query.
std::string ReadPageOptions(const std::vector<std::pair<std::string, std::string>>& pairs,
                            const RouteLimits& limits, BarcodeRequest* request) {
    PictureSizing* sizing = &request->sizing;
    Settings* settings = &request->settings;
    bool utf8 = false, binary = false;
    std::string_view segments, segment;
    sizing->quiet_zone = limits.quiet_zone;
    for (const auto& [name, value] : pairs) {
        const std::string option = platform::Lower(name);
        if (option == "utf8") {
            utf8 = SwitchIsOn(value);
        } else if (option == "binary") {
            binary = SwitchIsOn(value);
        } else if (option == "fit") {
            sizing->fit = SwitchIsOn(value);
        } else if (option == "compress") {
            request->compress = SwitchIsOn(value);
        } else if (option == "optimize") {
            settings->emplace_back("OptimizeCompaction", SwitchIsOn(value) ? "True" : "False");
        } else if (option == "micro") {
            settings->emplace_back("Symbology", SwitchIsOn(value) ? "1" : "0");
        } else if (option == "segments") {
            segments = value;
        } else if (option == "segment") {
            segment = value;
        } else if (option == "quietzone") {
            std::int64_t modules = 0;
            if (!ParseWholeNumber(value, kQuietZoneRange.low, kQuietZoneRange.high, &modules)) {
                return "quietzone=" + PrintableText(value, 40) +
                       ": the quiet zone is a whole number of modules from " +
                       std::to_string(kQuietZoneRange.low) + " to " +
                       std::to_string(kQuietZoneRange.high);
            }
            sizing->quiet_zone = static_cast<int>(modules);
        } else {
            settings->emplace_back(name, value);
        }
    }
    if (utf8 && binary) return "utf8=1 and binary=1 are two ways to read Data: give one";
    if (std::string refusal = ReadMacroOptions(segments, segment, request); !refusal.empty()) {
        return refusal;
    }
    request->settings_mode = utf8     ? QUILLON_DATA_UTF8
                             : binary ? QUILLON_DATA_BYTES
                                      : QUILLON_DATA_TEXT;
    return {};
}

int StatusFor(quillon_status status) {
    switch (status) {
        case QUILLON_OK:
            return 200;
        case QUILLON_UNKNOWN_PROPERTY:
        case QUILLON_BAD_VALUE:
        case QUILLON_REFUSED:
            return 400;
        case QUILLON_DOES_NOT_FIT:
            return 422;
        case QUILLON_TOO_LARGE:
            return 413;
        default:
            break;
    }
    return 500;
}

enum class Page { kPng, kSvg, kMeasure };

HttpResponse ServePage(const HttpRequest& request, const RouteLimits& limits, Page page,
                       std::string_view key);

// What a picture holds at its peak while it is made, measured: under a byte a pixel for a
// PNG (its rows, the file, the answer), and for SVG twice that, as it reads the PNG's pixels
// back.
std::size_t PictureMemory(Page page, std::int64_t pixels) {
    return static_cast<std::size_t>(pixels) * (page == Page::kSvg ? 2 : 1);
}

// A costly answer, made later on an answer thread, holding `memory` bytes meanwhile: the
// whole page runs again there, with an object of that thread's own, as objects stay on the
// thread that made them.
HttpResponse MadeLater(Page page, std::size_t memory, const RouteLimits& limits,
                       std::string_view key) {
    RouteLimits there = limits;
    there.later_pixels = 0;
    HttpResponse response;
    response.later = std::make_shared<LaterAnswer>(
        LaterAnswer{[there, page, key = std::string(key)](const HttpRequest& request) {
                        return ServePage(request, there, page, key);
                    },
                    memory});
    return response;
}

// What cutting a Macro PDF417 set costs, in the pixels of a picture that takes as long to
// draw, as the query tells before anything is made. The set is cut whole, whichever symbol
// is asked for, by encoding trial pieces of its data about a hundred times: the cost grows
// with the data, several times over when compaction is optimized. Measured on 2 cores, where
// a picture of 1 Mpixel took 4 ms: 15,000 letters took 12 ms, optimized 50 ms, and 15,000
// digits optimized 110 ms; 2,000 digits optimized, 3.6 ms.
std::int64_t MacroSetCost(const Settings& settings) {
    constexpr std::int64_t kPixelsPerByte = 256, kOptimizedPixelsPerByte = 2048;
    std::size_t data = 0;
    bool optimized = false;
    for (const auto& [name, value] : settings) {
        if (platform::EqualsIgnoringCase(name, "Data")) data = value.size();
        if (platform::EqualsIgnoringCase(name, "OptimizeCompaction")) {
            optimized = !platform::EqualsIgnoringCase(value, "False") && value != "0";
        }
    }
    return static_cast<std::int64_t>(data) * (optimized ? kOptimizedPixelsPerByte : kPixelsPerByte);
}

// Runs one page: context, object, hooks, settings, then the picture or the measurement.
HttpResponse RunPage(Page page, const std::vector<std::pair<std::string, std::string>>& pairs,
                     const RouteLimits& limits, std::string_view key) {
    // On an event loop, what costs more than drawing later_pixels is not made. A picture
    // above that is not drawn: the library refuses it at that limit once it has sized it,
    // before drawing, and it is made again on a drawing thread with the full one. A Macro
    // PDF417 set that costs more to cut is not cut at all.
    const bool costly_made_later =
        page != Page::kMeasure && limits.later_pixels > 0 &&
        (limits.max_pixels == 0 || limits.later_pixels < limits.max_pixels);
    BarcodeRequest request;
    request.max_pixels = costly_made_later ? limits.later_pixels : limits.max_pixels;
    request.product = page == Page::kPng   ? Product::kPng
                      : page == Page::kSvg ? Product::kSvg
                                           : Product::kMeasurement;
    if (const std::string refusal = ReadPageOptions(pairs, limits, &request); !refusal.empty()) {
        return HttpResponse::Text(400, refusal);
    }
    // Its picture's size is known only once it is cut: it holds at most what a picture drawn
    // here would, or so it is counted.
    if (costly_made_later && request.product == Product::kMacroSet &&
        MacroSetCost(request.settings) > limits.later_pixels) {
        return MadeLater(page, PictureMemory(page, limits.later_pixels), limits, key);
    }

    IScriptingContext* context = ThreadScriptingContext();
    if (context == nullptr) return HttpResponse::Text(503, "out of memory");
    request.page_context = static_cast<IUnknown*>(context);
    BarcodeResult result = MakeBarcode(request);

    if (costly_made_later && result.status == QUILLON_TOO_LARGE &&
        result.picture_pixels > limits.later_pixels &&
        (limits.max_pixels == 0 || result.picture_pixels <= limits.max_pixels)) {
        return MadeLater(page, PictureMemory(page, result.picture_pixels), limits, key);
    }
    if (!result.ok()) {
        return HttpResponse::Text(StatusFor(result.status), PrintableText(result.message));
    }
    HttpResponse response;
    response.content_type = page == Page::kPng   ? "image/png"
                            : page == Page::kSvg ? "image/svg+xml"
                                                 : "application/json";
    response.body =
        page == Page::kMeasure ? result.MeasurementJson() + "\n" : std::move(result.file);
    if (request.product == Product::kMacroSet) {
        response.headers.emplace_back("X-Quillon-Segments", std::to_string(result.segment_count));
    }
    for (const std::string& warning : result.warnings) {
        response.headers.emplace_back("X-Quillon-Warning", PrintableText(warning, kLongestWarning));
    }
    return response;
}

// The page's answer, finished and kept under `key` when it succeeds.
HttpResponse ServePage(const HttpRequest& request, const RouteLimits& limits, Page page,
                       std::string_view key) {
    HttpResponse response = RunPage(page, ParseQuery(request.query), limits, key);
    if (response.status == 200 && !response.later) {
        FinishCacheableAnswer(request, kCacheControl, &response, limits.cache, key);
    }
    return response;
}

// Writes the key of the answer to `request`: everything it depends on but the method and
// If-None-Match. Those are the server's defaults, the route, whether the client takes gzip,
// and the query's pairs as the page reads them (decoded, in order: every option, whether
// this build knows it or not), but for the demo page, which reads its query itself.
void WriteAnswerKey(const HttpRequest& request, const RouteLimits& limits, std::string* key) {
    key->clear();
    // As their bytes: the key is compared, never read.
    for (const std::int64_t limit : {std::int64_t{limits.quiet_zone}, limits.max_pixels}) {
        key->append(reinterpret_cast<const char*>(&limit), sizeof limit);
    }
    *key += AcceptsGzip(request.Header("Accept-Encoding")) ? "gzip " : "identity ";
    *key += request.path;
    if (request.path != "/") AppendParsedQuery(request.query, key);
}

}  // namespace

std::vector<std::string> BarcodeRoutePaths() {
    return {"/", "/barcode.png", "/barcode.svg", "/measure"};
}

HttpResponse ServeBarcodeRequest(const HttpRequest& request, const RouteLimits& limits) {
    if (request.method != "GET" && request.method != "HEAD") {
        HttpResponse response = HttpResponse::Text(405, "only GET and HEAD are served");
        response.headers.emplace_back("Allow", "GET, HEAD");
        return response;
    }
    const bool demo_page = request.path == "/";
    const Page page = request.path == "/barcode.png"   ? Page::kPng
                      : request.path == "/barcode.svg" ? Page::kSvg
                                                       : Page::kMeasure;
    if (!demo_page && page == Page::kMeasure && request.path != "/measure") {
        return HttpResponse::Text(404, "no page at " + PrintableText(request.path, kLongestPath));
    }
    // A buffer of each thread's, so that looking an answer up allocates nothing.
    thread_local std::string key_buffer;
    std::string_view key;
    RouteLimits made = limits;  // with the cache that keeps what is made, if it is worth it
    if (limits.cache != nullptr) {
        WriteAnswerKey(request, limits, &key_buffer);
        key = key_buffer;
        AnswerCache::Found found = limits.cache->Find(key);
        if (found.answer) return KeptAnswerFor(request, std::move(found.answer));
        if (!found.worth_keeping) made.cache = nullptr;
    }
    if (demo_page) {
        HttpResponse response;
        response.content_type = "text/html; charset=utf-8";
        response.body = DemoPageHtml();
        FinishCacheableAnswer(request, "no-cache", &response, made.cache, key);
        return response;
    }
    return ServePage(request, made, page, key);
}
