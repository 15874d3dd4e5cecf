#include "hosts/serve/BarcodeRoutes.h"

#include <string>
#include <vector>

#include "hosts/common/BarcodeSession.h"
#include "hosts/common/OptionTable.h"
#include "hosts/common/PrintableText.h"
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

bool SwitchIsOn(std::string_view value) {
    const std::string v = platform::Lower(value);
    return v == "1" || v == "true" || v == "on" || v == "yes";
}

// What a query says besides the properties: how Data is read (utf8=1, binary=1) and how the
// picture is sized (fit=1, quietzone=N), as the command line's --utf8, --binary, --fit and
// --quiet-zone say. An error message refuses the query.
std::string ReadPageOptions(const std::vector<std::pair<std::string, std::string>>& pairs,
                            const RouteLimits& limits, DataEncoding* encoding,
                            PictureSizing* sizing, Settings* settings) {
    bool utf8 = false, binary = false;
    sizing->quiet_zone = limits.quiet_zone;
    for (const auto& [name, value] : pairs) {
        const std::string option = platform::Lower(name);
        if (option == "utf8") {
            utf8 = SwitchIsOn(value);
        } else if (option == "binary") {
            binary = SwitchIsOn(value);
        } else if (option == "fit") {
            sizing->fit = SwitchIsOn(value);
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
    *encoding = utf8 ? DataEncoding::kUtf8 : binary ? DataEncoding::kBytes : DataEncoding::kText;
    return {};
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

// Runs one page: context, object, hooks, settings, then the picture or the measurement.
HttpResponse RunPage(Page page, const std::vector<std::pair<std::string, std::string>>& pairs,
                     const RouteLimits& limits) {
    DataEncoding encoding = DataEncoding::kText;
    PictureSizing sizing;
    Settings settings;
    if (const std::string refusal = ReadPageOptions(pairs, limits, &encoding, &sizing, &settings);
        !refusal.empty()) {
        return HttpResponse::Text(400, refusal);
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
    if (outcome.ok()) outcome = session.Apply(settings, encoding, &warnings);
    HttpResponse response;
    if (outcome.ok() && page != Page::kMeasure) {
        const bool png = page == Page::kPng;
        response.content_type = png ? "image/png" : "image/svg+xml";
        const PictureRequest request{sizing, png ? PictureFormat::kPng : PictureFormat::kSvg,
                                     limits.max_pixels};
        outcome = session.Picture(request, &response.body, &warnings);
    } else if (outcome.ok()) {
        Measurement measurement;
        outcome = session.Measure(sizing, &measurement, &warnings);
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
        response.headers.emplace_back("X-Quillon-Warning", PrintableText(warning, kLongestWarning));
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
    if (response.status == 200) FinishCacheableAnswer(request, kCacheControl, &response);
    return response;
}
