#include "hosts/common/BarcodeSession.h"

#include "component/contract/QuillonProperties.h"
#include "converter/IConverter.h"
#include "platform/common/Utf8.h"

namespace {

// Long values (a whole Data text) are cut in messages.
std::string Shown(std::string_view value) {
    constexpr std::size_t kLongest = 40;
    if (value.size() <= kLongest) return std::string(value);
    return std::string(value.substr(0, kLongest)) + "...";
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
    CallError error;
    object_ = CreateByProgId(kQuillonProgId, "libTarvexQuillon.so", &error);
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

Outcome BarcodeSession::Set(std::string_view name, std::string_view value, std::string* warning) {
    const QuillonProperty* property = FindQuillonProperty(name);
    const std::string setting = std::string(name) + "=" + Shown(value);
    if (property == nullptr) {
        return Failed(Failure::UnknownProperty, "unknown property '" + std::string(name) + "'");
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
        } else if (std::string_view(property->name) == "Width") {
            width_ = converted.iVal;
        } else if (std::string_view(property->name) == "Height") {
            height_ = converted.iVal;
        }
    }
    VariantClear(&converted);
    return outcome;
}

Outcome BarcodeSession::SetUtf8Data(std::string_view text) {
    if (!converter_) {
        CallError error;
        converter_ = CreateByProgId(kConverterProgId, "libTarvexUnicode.so", &error);
        if (!converter_) return Failed(Failure::Internal, error.message);
    }
    std::vector<VARIANT> args{TextVariant(platform::Utf8ToUtf16Lossy(text))};
    VARIANT escaped;
    VariantInit(&escaped);
    CallError error;
    InvokeByName(converter_.get(), u"GetUTF8String", DISPATCH_METHOD, args, &escaped, &error);
    VariantClear(&args[0]);
    if (FAILED(error.hr)) {
        return Failed(Failure::Refused, "Data=" + Shown(text) + ": " + error.message);
    }
    const std::u16string escapes =
        escaped.vt == VT_BSTR && escaped.bstrVal != nullptr
            ? std::u16string(escaped.bstrVal, SysStringLen(escaped.bstrVal))
            : std::u16string();
    VariantClear(&escaped);

    Outcome outcome = PutText(u"Data", escapes);
    if (!outcome.ok()) {
        outcome.message = "Data=" + Shown(text) + " (as UTF-8 escapes): " + outcome.message;
        return outcome;
    }
    return PutText(u"HandleTilde", u"True");
}

Outcome BarcodeSession::Picture(std::vector<std::uint8_t>* png, std::int64_t max_pixels) {
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
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        png->assign(bytes, bytes + result.parray->rgsabound[0].cElements);
        SafeArrayUnaccessData(result.parray);
    }
    VariantClear(&result);
    return outcome;
}

Outcome BarcodeSession::Measure(Measurement* measurement) {
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
