#include "hosts/common/BarcodeSession.h"

#include <cstdlib>

#include "component/contract/QuillonProperties.h"
#include "hosts/common/PrintableText.h"
#include "hosts/common/Suggestion.h"
#include "hosts/common/Utf8Data.h"
#include "platform/common/Utf8.h"

namespace {

// Values in messages are cut, and their control characters shown as escapes.
constexpr std::size_t kLongestValueShown = 40;

std::string Shown(std::string_view value) {
    return PrintableText(value, kLongestValueShown);
}

VARIANT TextVariant(std::u16string_view text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return v;
}

Outcome Failed(Failure failure, std::string message) {
    return {failure, std::move(message)};
}

std::int64_t DefaultOf(const char* name) {
    return std::atoll(FindQuillonProperty(name)->default_value);
}

bool IsProperty(const QuillonProperty* property, DISPID dispid) {
    return property != nullptr && property->dispid == dispid;
}

std::string UnknownPropertyMessage(std::string_view name) {
    std::vector<std::string_view> names;
    for (const QuillonProperty& p : QuillonProperties()) names.emplace_back(p.name);
    const std::string closest = ClosestName(name, names);
    return "unknown property '" + Shown(name) + "'" +
           (closest.empty() ? "" : "; did you mean '" + closest + "'?");
}

// "#RRGGBB" as the component's colour number 0x00BBGGRR, in decimal; false when `value` is
// not of that form.
bool ColourNumber(std::string_view value, std::string* number) {
    if (value.size() != 7 || value[0] != '#') return false;
    unsigned long rgb = 0;
    for (const char c : value.substr(1)) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) return false;
        rgb = rgb * 16 + static_cast<unsigned long>(digit);
    }
    const unsigned long bgr = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | (rgb >> 16);
    *number = std::to_string(bgr);
    return true;
}

// What a failed request means: the settings refused (a symbol too large to draw), the data
// too long for a symbol, the picture too large for memory, or the component's own failure.
Failure RequestFailure(HRESULT hr) {
    switch (hr) {
        case E_INVALIDARG:
            return Failure::Refused;
        case QUILLON_E_DATA_DOES_NOT_FIT:
            return Failure::DoesNotFit;
        case E_OUTOFMEMORY:
            return Failure::TooLarge;
        default:
            return Failure::Internal;
    }
}

}  // namespace

std::string Measurement::Json() const {
    return "{\"rows\":" + std::to_string(rows) + ",\"columns\":" + std::to_string(columns) +
           ",\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height) + "}";
}

Outcome BarcodeSession::Open() {
    width_ = DefaultOf("Width");
    height_ = DefaultOf("Height");
    orientation_ = static_cast<int>(DefaultOf("Orientation"));
    CallError error;
    object_ = CreateByProgId(kQuillonProgId, QUILLON_SERVER_FILE_NAME, &error);
    if (!object_) return Failed(Failure::Internal, error.message);
    return {};
}

Outcome BarcodeSession::PutText(const char16_t* name, std::u16string_view value) {
    std::vector<VARIANT> args{TextVariant(value)};
    CallError error;
    InvokeByName(object_.get(), name, DISPATCH_PROPERTYPUT, args, nullptr, &error);
    VariantClear(&args[0]);
    if (error.hr == S_OK) return {};
    return Failed(Failure::Refused, error.message);
}

Outcome BarcodeSession::Apply(const Settings& settings, bool utf8,
                              std::vector<std::string>* warnings) {
    for (const auto& [name, value] : settings) {
        const QuillonProperty* property = FindQuillonProperty(name);
        std::string warning;
        Outcome outcome;
        if (utf8 && IsProperty(property, DISPID_QUILLON_HANDLETILDE)) {
            warning = "HandleTilde=" + Shown(value) +
                      " is ignored: UTF-8 mode sets HandleTilde itself so that the symbol "
                      "carries the text's UTF-8 bytes";
        } else if (utf8 && IsProperty(property, DISPID_QUILLON_DATA)) {
            outcome = SetUtf8Data(value);
        } else {
            outcome = Set(name, value, &warning);
        }
        if (!outcome.ok()) return outcome;
        if (!warning.empty()) warnings->push_back(std::move(warning));
    }
    return {};
}

Outcome BarcodeSession::Set(std::string_view name, std::string_view value, std::string* warning) {
    const QuillonProperty* property = FindQuillonProperty(name);
    if (property == nullptr) return Failed(Failure::UnknownProperty, UnknownPropertyMessage(name));
    const std::string setting = std::string(property->name) + "=" + Shown(value);

    std::string colour;
    const bool is_colour = IsProperty(property, DISPID_QUILLON_BACKCOLOR) ||
                           IsProperty(property, DISPID_QUILLON_BARCOLOR);
    if (is_colour && !value.empty() && value[0] == '#') {
        if (!ColourNumber(value, &colour)) {
            return Failed(Failure::BadValue, setting + ": '" + Shown(value) +
                                                 "' is not a colour #RRGGBB (six hex digits)");
        }
        value = colour;
    }

    const std::u16string text = platform::Utf8ToUtf16Lossy(value);
    std::vector<VARIANT> args{TextVariant(text)};
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT conversion = VariantChangeType(&converted, &args[0], 0, property->type);

    CallError error;
    const std::u16string member = platform::Utf8ToUtf16Lossy(property->name);
    InvokeByName(object_.get(), member, DISPATCH_PROPERTYPUT, args, nullptr, &error);
    VariantClear(&args[0]);

    Outcome outcome;
    if (error.hr == DISP_E_TYPEMISMATCH || error.hr == DISP_E_OVERFLOW) {
        outcome = Failed(Failure::BadValue,
                         setting + ": '" + Shown(value) + "' " +
                             (error.hr == DISP_E_OVERFLOW ? "is out of range for" : "is not") +
                             " a " + property->type_name);
    } else if (FAILED(error.hr)) {
        outcome = Failed(Failure::Refused, setting + ": " + error.message);
    } else if (SUCCEEDED(conversion)) {
        if (!property->Accepts(converted)) {
            *warning = setting + " is outside the accepted range (" + property->AcceptedText() +
                       ") and is ignored";
        } else if (IsProperty(property, DISPID_QUILLON_WIDTH)) {
            width_ = converted.iVal;
            picture_size_set_ = true;
        } else if (IsProperty(property, DISPID_QUILLON_HEIGHT)) {
            height_ = converted.iVal;
            picture_size_set_ = true;
        } else if (IsProperty(property, DISPID_QUILLON_ORIENTATION)) {
            orientation_ = converted.iVal;
        }
    }
    VariantClear(&converted);
    return outcome;
}

Outcome BarcodeSession::SetUtf8Data(std::string_view text) {
    const std::size_t malformed = FirstMalformedUtf8(text);
    if (malformed != std::string_view::npos) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(text[malformed]));
        return Failed(Failure::BadValue, "Data=" + Shown(text) + ": not UTF-8 text (byte " + byte +
                                             " at offset " + std::to_string(malformed) + ")");
    }
    const CarriedBytes carried = CarryBytes(text);
    if (carried.data_bytes > static_cast<std::size_t>(kMaxDataLength)) {
        std::string message =
            "Data=" + Shown(text) + ": the text is " + std::to_string(text.size()) + " UTF-8 bytes";
        if (carried.escapes > 0) {
            message += ", " + std::to_string(carried.escapes) +
                       " of them written as 5-character ~dNNN escapes, which fill " +
                       std::to_string(carried.data_bytes) + " bytes";
        }
        return Failed(Failure::Refused, message + "; Data holds at most " +
                                            std::to_string(kMaxDataLength) + " bytes");
    }
    Outcome outcome = PutText(u"Data", carried.data);
    if (!outcome.ok()) {
        outcome.message = "Data=" + Shown(text) + ": " + outcome.message;
        return outcome;
    }
    return PutText(u"HandleTilde", carried.handle_tilde ? u"True" : u"False");
}

Outcome BarcodeSession::FitPictureTo(const Measurement& symbol) {
    const std::int64_t across = QuarterTurned() ? symbol.height : symbol.width;
    const std::int64_t down = QuarterTurned() ? symbol.width : symbol.height;
    const IntegerRange& sides = kPictureSideRange;
    if (!sides.Contains(across) || !sides.Contains(down)) {
        return Failed(Failure::TooLarge, "the symbol of " + std::to_string(across) + " x " +
                                             std::to_string(down) +
                                             " pixels does not fit in a picture of at most " +
                                             std::to_string(sides.high) + " pixels a side");
    }
    std::string warning;
    Outcome outcome = Set("Width", std::to_string(across), &warning);
    if (outcome.ok()) outcome = Set("Height", std::to_string(down), &warning);
    return outcome;
}

std::string BarcodeSession::ClippingWarning(const Measurement& symbol) const {
    const std::int64_t across = QuarterTurned() ? symbol.height : symbol.width;
    const std::int64_t down = QuarterTurned() ? symbol.width : symbol.height;
    if (across <= width_ && down <= height_) return {};
    return "the symbol (" + std::to_string(across) + " x " + std::to_string(down) +
           " pixels) is larger than the picture (" + std::to_string(width_) + " x " +
           std::to_string(height_) + ") and is cut off; make the picture larger or fit it";
}

Outcome BarcodeSession::Picture(std::string* png, std::int64_t max_pixels) {
    if (max_pixels > 0 && width_ * height_ > max_pixels) {
        return Failed(Failure::TooLarge, "the picture of " + std::to_string(width_) + " x " +
                                             std::to_string(height_) +
                                             " pixels is above this host's limit of " +
                                             std::to_string(max_pixels) + " pixels");
    }
    std::vector<VARIANT> none;
    VARIANT result;
    VariantInit(&result);
    CallError error;
    InvokeByName(object_.get(), u"PNGImage", DISPATCH_PROPERTYGET, none, &result, &error);
    if (FAILED(error.hr)) {
        return Failed(RequestFailure(error.hr), error.message);
    }
    Outcome outcome;
    void* data = nullptr;
    if (result.vt != (VT_ARRAY | VT_UI1) || FAILED(SafeArrayAccessData(result.parray, &data))) {
        outcome = Failed(Failure::Internal, "PNGImage did not return a byte array");
    } else {
        png->assign(static_cast<const char*>(data), result.parray->rgsabound[0].cElements);
        SafeArrayUnaccessData(result.parray);
    }
    VariantClear(&result);
    return outcome;
}
Outcome BarcodeSession::Measure(Measurement* measurement, Figures figures) {
    VARIANT first, second;
    VariantInit(&first);
    VariantInit(&second);
    auto by_reference = [](VARIANT* target) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BYREF | VT_VARIANT;
        v.pvarVal = target;
        return v;
    };
    const struct {
        const char16_t* method;
        int* first;
        int* second;
    } requests[] = {{u"GetActualRC", &measurement->rows, &measurement->columns},
                    {u"GetActualSize", &measurement->width, &measurement->height}};
    for (const auto& request : requests) {
        if (figures == Figures::kSize && request.first == &measurement->rows) continue;
        std::vector<VARIANT> args{by_reference(&first), by_reference(&second)};
        CallError error;
        InvokeByName(object_.get(), request.method, DISPATCH_METHOD, args, nullptr, &error);
        VARIANT a, b;
        VariantInit(&a);
        VariantInit(&b);
        const bool numbers = SUCCEEDED(VariantChangeType(&a, &first, 0, VT_I4)) &&
                             SUCCEEDED(VariantChangeType(&b, &second, 0, VT_I4));
        VariantClear(&first);
        VariantClear(&second);
        if (FAILED(error.hr)) {
            return Failed(RequestFailure(error.hr), error.message);
        }
        if (!numbers) return Failed(Failure::Internal, "the measuring request returned no numbers");
        *request.first = a.lVal;
        *request.second = b.lVal;
    }
    return {};
}
