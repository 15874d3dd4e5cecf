#include "hosts/serve/BarcodeRoutes.h"

#include <string>
#include <vector>

#include "hosts/common/BarcodeSession.h"
#include "hosts/common/PrintableText.h"
#include "hosts/common/SvgPicture.h"
#include "hosts/serve/CacheableAnswer.h"
#include "hosts/serve/DemoPage.h"
#include "hosts/serve/PageContext.h"
#include "hosts/serve/QueryString.h"
#include "platform/common/AsciiCase.h"

namespace {

constexpr const char* kCacheControl = "public, max-age=86400";
// Longest warning header, and longest path quoted in a message, in bytes.
constexpr std::size_t kLongestWarning = 512;
constexpr std::size_t kLongestPath = 200;

bool IsUtf8Switch(const std::string& name) {
    return platform::EqualsIgnoringCase(name, "utf8");
}

bool SwitchIsOn(std::string_view value) {
    const std::string v = platform::Lower(value);
    return v == "1" || v == "true" || v == "on" || v == "yes";
}

int StatusFor(Failure failure) {
    switch (failure) {
        case Failure::None:
            return 200;
        case Failure::UnknownProperty:
        case Failure::BadValue:
        case Failure::Refused:
            return 400;
        case Failure::DoesNotFit:
            return 422;
        case Failure::TooLarge:
            return 413;
        case Failure::Internal:
            break;
    }
    return 500;
}

enum class Page { kPng, kSvg, kMeasure };

// A large picture, drawn later on an answer thread: the whole page runs again there, with an
// object of that thread's own, as objects stay on the thread that made them. What it holds
// at its peak, measured: under a byte a pixel for a PNG (its rows, the file, the answer), and
// for SVG twice that, as it reads the PNG's pixels back.
HttpResponse DrawnLater(Page page, std::int64_t pixels, const RouteLimits& limits) {
    RouteLimits there = limits;
    there.later_pixels = 0;
    HttpResponse response;
    response.later = std::make_shared<LaterAnswer>(LaterAnswer{
        [there](const HttpRequest& request) { return ServeBarcodeRequest(request, there); },
        static_cast<std::size_t>(pixels) * (page == Page::kSvg ? 2 : 1)});
    return response;
}

// Runs one page: context, object, hooks, settings, then the picture or the measurement.
HttpResponse RunPage(Page page, const std::vector<std::pair<std::string, std::string>>& pairs,
                     const RouteLimits& limits) {
    bool utf8 = false;
    Settings settings;
    for (const auto& [name, value] : pairs) {
        if (IsUtf8Switch(name)) {
            utf8 = SwitchIsOn(value);
        } else {
            settings.emplace_back(name, value);
        }
    }

    IScriptingContext* context = CreateScriptingContext();
    if (context == nullptr) return HttpResponse::Text(503, "out of memory");
    BarcodeSession session;
    Outcome outcome = session.Open();
    bool page_started = false;
    if (outcome.ok()) {
        VARIANT argument;
        VariantInit(&argument);
        argument.vt = VT_UNKNOWN;
        argument.punkVal = context;
        std::vector<VARIANT> args{argument};
        CallError error;
        InvokeByName(session.object(), u"OnStartPage", DISPATCH_METHOD, args, nullptr, &error);
        page_started = SUCCEEDED(error.hr);
        if (!page_started) outcome = {Failure::Internal, "OnStartPage: " + error.message};
    }
    context->Release();  // the component holds what it needs of it

    std::vector<std::string> warnings;
    if (outcome.ok()) outcome = session.Apply(settings, utf8, &warnings);
    for (std::string& warning : warnings) warning = PrintableText(warning, kLongestWarning);
    HttpResponse response;
    const std::int64_t pixels = session.picture_pixels();
    if (outcome.ok() && page != Page::kMeasure && limits.later_pixels > 0 &&
        pixels > limits.later_pixels && pixels <= limits.max_pixels) {
        response = DrawnLater(page, pixels, limits);
    } else if (outcome.ok() && page != Page::kMeasure) {
        if (page == Page::kPng) {
            response.content_type = "image/png";
            outcome = session.Picture(&response.body, limits.max_pixels);
        } else {
            response.content_type = "image/svg+xml";
            std::string png, error;
            outcome = session.Picture(&png, limits.max_pixels);
            if (outcome.ok() && !SvgFromPng(png, &response.body, &error)) {
                outcome = {Failure::Internal, "cannot make the SVG: " + error};
            }
        }
    } else if (outcome.ok()) {
        Measurement measurement;
        outcome = session.Measure(&measurement);
        // Whether the picture clips the symbol costs an encoding more than a picture alone,
        // so the measurement says it, for a picture size the query sets.
        if (outcome.ok() && session.picture_size_set()) {
            const std::string clipped = session.ClippingWarning(measurement);
            if (!clipped.empty()) warnings.push_back(PrintableText(clipped, kLongestWarning));
        }
        response.content_type = "application/json";
        response.body = measurement.Json() + "\n";
    }
    if (page_started) {
        std::vector<VARIANT> none;
        CallError error;
        InvokeByName(session.object(), u"OnEndPage", DISPATCH_METHOD, none, nullptr, &error);
    }
    if (!outcome.ok()) {
        return HttpResponse::Text(StatusFor(outcome.failure), PrintableText(outcome.message));
    }
    for (const std::string& warning : warnings) {
        response.headers.emplace_back("X-Quillon-Warning", warning);
    }
    return response;
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
    if (request.path == "/") {
        HttpResponse response;
        response.content_type = "text/html; charset=utf-8";
        response.body = DemoPageHtml();
        FinishCacheableAnswer(request, "no-cache", &response);
        return response;
    }
    const Page page = request.path == "/barcode.png"   ? Page::kPng
                      : request.path == "/barcode.svg" ? Page::kSvg
                                                       : Page::kMeasure;
    if (page == Page::kMeasure && request.path != "/measure") {
        return HttpResponse::Text(404, "no page at " + PrintableText(request.path, kLongestPath));
    }

    HttpResponse response = RunPage(page, ParseQuery(request.query), limits);
    if (response.status == 200 && !response.later) {
        FinishCacheableAnswer(request, kCacheControl, &response);
    }
    return response;
}
