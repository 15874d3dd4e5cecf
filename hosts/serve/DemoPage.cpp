#include "hosts/serve/DemoPage.h"

#include <cfloat>
#include <cstdio>
#include <string>

#include "component/contract/QuillonProperties.h"

namespace {

constexpr std::string_view kMarker = "/*@PROPERTIES@*/[]";

// A JSON string that is also safe inside a <script> element.
std::string JsonText(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '<':
                out += "\\u003c";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string JsonNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string PropertiesJson() {
    std::string json = "[";
    for (const QuillonProperty& p : QuillonProperties()) {
        if (json.size() > 1) json += ",";
        json += "{\"name\":" + JsonText(p.name) + ",\"type\":" + JsonText(p.type_name) +
                ",\"default\":" + JsonText(p.default_value) +
                ",\"accepted\":" + JsonText(p.AcceptedText()) + ",\"help\":" + JsonText(p.help);
        if (p.values == PropertyValues::kIntegers) {
            json += ",\"low\":" + std::to_string(p.integers.low) +
                    ",\"high\":" + std::to_string(p.integers.high);
        } else if (p.values == PropertyValues::kReals && p.reals.at_most < FLT_MAX) {
            json += ",\"atMost\":" + JsonNumber(p.reals.at_most);
        }
        json += "}";
    }
    return json + "]";
}

std::string ComposePage() {
    std::string page(DemoPageTemplate());
    const std::size_t at = page.find(kMarker);
    if (at != std::string::npos) page.replace(at, kMarker.size(), PropertiesJson());
    return page;
}

}  // namespace

std::string_view DemoPageHtml() {
    static const std::string page = ComposePage();
    return page;
}
