#include "library/session/BarcodeSession.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <tuple>

#include "library/session/DataText.h"
#include "library/session/MacroSplit.h"
#include "library/session/PrintableText.h"
#include "library/session/Suggestion.h"
#include "library/session/SvgPicture.h"
#include "platform/common/Utf8.h"
#include "render/SymbolGeometry.h"

namespace {

// Values in messages are cut, and their control characters shown as escapes.
constexpr std::size_t kLongestValueShown = 40;
// A border is drawn on the picture's outermost pixels, the dashed one a pixel further in at
// the top: this many pixels on every side keep it off the quiet zone.
constexpr std::int64_t kBorderPixels = 2;

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

// A property's name as a member name, made once for each property.
std::u16string_view MemberName(const QuillonProperty& property) {
    static const std::vector<std::u16string> names = [] {
        std::vector<std::u16string> all;
        for (const QuillonProperty& p : QuillonProperties()) {
            all.push_back(platform::Utf8ToUtf16Lossy(p.name));
        }
        return all;
    }();
    return names[static_cast<std::size_t>(&property - QuillonProperties().data())];
}

// The members the session calls: the properties, and the requests and page hooks. Never
// destroyed: objects may be made and called until the process ends.
const MemberIds* MembersOfTheComponent() {
    static const MemberIds* ids = [] {
        std::vector<std::u16string> names;
        for (const QuillonProperty& p : QuillonProperties()) names.emplace_back(MemberName(p));
        for (const char16_t* method :
             {u"GetActualRC", u"GetActualSize", u"PNGImage", u"OnStartPage", u"OnEndPage"}) {
            names.emplace_back(method);
        }
        return new MemberIds(std::move(names));
    }();
    return ids;
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

// A number as the component keeps it, for a message: "25", "0.5".
std::string NumberText(const VARIANT& number) {
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeType(&text, &number, 0, VT_BSTR))) return "?";
    const std::string utf8 = platform::Utf16ToUtf8(text.bstrVal);
    VariantClear(&text);
    return utf8;
}

// A measuring request's figure, a 16- or 32-bit integer as the component returns it, or any
// value that converts to one.
bool Whole(const VARIANT& figure, int* value) {
    if (figure.vt == VT_I2 || figure.vt == VT_I4) {
        *value = figure.vt == VT_I2 ? figure.iVal : figure.lVal;
        return true;
    }
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, &figure, 0, VT_I4))) return false;
    *value = converted.lVal;
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

// The component's descriptions are sentences ("The data does not fit ..."); the hosts' messages
// follow "quillon: " or a status, so they start in lower case as the hosts' own do.
Outcome RequestFailed(const CallError& error) {
    std::string message = error.message;
    if (message.size() > 1 && std::isupper(static_cast<unsigned char>(message[0])) &&
        std::islower(static_cast<unsigned char>(message[1]))) {
        message[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(message[0])));
    }
    return Failed(RequestFailure(error.hr), std::move(message));
}

// The whole character at the start of UTF-8 text, or its first byte when that is malformed.
std::string_view FirstCharacter(std::string_view text) {
    std::size_t end = 0;
    char32_t c = 0;
    if (!platform::DecodeUtf8At(text, &end, &c)) end = 1;
    return text.substr(0, end);
}

const char* ModeName(DataEncoding encoding) {
    return encoding == DataEncoding::kUtf8 ? "UTF-8 mode" : "byte mode";
}

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// What the component's text keeps of `data`, as warnings: the characters it replaces, and
// what a zero character cuts off.
void TextModeWarnings(std::string_view data, std::vector<std::string>* warnings) {
    const TextLoss loss = TextModeLoss(data);
    if (loss.replaced > 0) {
        const bool one = loss.replaced == 1;
        warnings->push_back(
            "Data: " + Count(loss.replaced, "character becomes", "characters become") +
            " '?', having no Windows-1252 byte (the first at byte " +
            std::to_string(loss.first_replaced) + ": '" +
            Shown(FirstCharacter(data.substr(loss.first_replaced))) +
            "'); UTF-8 or byte mode carries " + (one ? "it" : "them") + " exactly");
    }
    if (loss.cut_at != std::string_view::npos) {
        warnings->push_back("Data is cut at byte " + std::to_string(loss.cut_at) +
                            ": a zero byte ends the text, and " +
                            Count(data.size() - loss.cut_at, "byte is", "bytes are") +
                            " left out; byte mode carries them");
    }
}

// The characters of UTF-8 text, each malformed byte one, as the component's text counts them.
std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count) {
        const std::size_t start = i;
        char32_t c = 0;
        if (!platform::DecodeUtf8At(text, &i, &c)) i = start + 1;
    }
    return count;
}

Outcome Utf8Refusal(std::string_view data) {
    const std::size_t malformed = FirstMalformedUtf8(data);
    if (malformed == std::string_view::npos) return {};
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(data[malformed]));
    return Failed(Failure::BadValue, "Data=" + Shown(data) + ": not UTF-8 text (byte " + byte +
                                         " at offset " + std::to_string(malformed) + ")");
}

}  // namespace

Outcome BarcodeSession::StartPage(IUnknown* context) {
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_UNKNOWN;
    argument.punkVal = context;
    VARIANT args[] = {argument};
    CallError error;
    object_.Invoke(u"OnStartPage", DISPATCH_METHOD, args, nullptr, &error);
    page_started_ = SUCCEEDED(error.hr);
    if (!page_started_) return Failed(Failure::Internal, "OnStartPage: " + error.message);
    return {};
}

Outcome BarcodeSession::EndPage() {
    if (!page_started_) return {};
    page_started_ = false;
    CallError error;
    object_.Invoke(u"OnEndPage", DISPATCH_METHOD, {}, nullptr, &error);
    if (FAILED(error.hr)) return Failed(Failure::Internal, "OnEndPage: " + error.message);
    return {};
}

Outcome BarcodeSession::Open() {
    // A new object's settings, as the interface's description gives them, read once.
    static const struct Defaults {
        std::int64_t width = DefaultOf("Width");
        std::int64_t height = DefaultOf("Height");
        int orientation = static_cast<int>(DefaultOf("Orientation"));
        bool truncated =
            FindQuillonProperty("TruncateSymbol")->default_value == std::string("True");
        bool handle_tilde =
            FindQuillonProperty("HandleTilde")->default_value == std::string("True");
        int border_style = static_cast<int>(DefaultOf("BorderStyle"));
        std::uint32_t back_colour = static_cast<std::uint32_t>(DefaultOf("BackColor"));
        std::string data = FindQuillonProperty("Data")->default_value;
        std::int32_t eci = static_cast<std::int32_t>(DefaultOf("Eci"));
        std::int32_t columns = static_cast<std::int32_t>(DefaultOf("Columns"));
        std::int32_t mode = static_cast<std::int32_t>(DefaultOf("Mode"));
        std::int32_t macro_index = static_cast<std::int32_t>(DefaultOf("MacroSegmentIndex"));
        std::int32_t macro_count = static_cast<std::int32_t>(DefaultOf("MacroSegmentCount"));
    } defaults;
    width_ = {defaults.width, false};
    height_ = {defaults.height, false};
    orientation_ = defaults.orientation;
    truncated_ = defaults.truncated;
    handle_tilde_ = defaults.handle_tilde;
    border_style_ = defaults.border_style;
    back_colour_ = defaults.back_colour;
    data_ = defaults.data;
    data_encoding_ = DataEncoding::kText;
    eci_ = defaults.eci;
    columns_ = defaults.columns;
    mode_ = defaults.mode;
    eci_set_ = false;
    macro_index_ = defaults.macro_index;
    macro_count_ = defaults.macro_count;
    macro_file_id_.clear();
    micro_ = {};
    CallError error;
    DispatchPtr created = CreateByProgId(kQuillonProgId, QUILLON_SERVER_FILE_NAME, &error);
    if (!created) return Failed(Failure::Internal, error.message);
    object_ = ScriptedObject(std::move(created), MembersOfTheComponent());
    return {};
}

Outcome BarcodeSession::PutText(const char16_t* name, std::u16string_view value) {
    VARIANT args[] = {TextVariant(value)};
    return PutVariant(name, args);
}

Outcome BarcodeSession::PutVariant(const char16_t* name, VARIANT (&args)[1]) {
    CallError error;
    object_.Invoke(name, DISPATCH_PROPERTYPUT, args, nullptr, &error);
    VariantClear(&args[0]);
    if (error.hr == S_OK) return {};
    return Failed(Failure::Refused, error.message);
}

Outcome BarcodeSession::Apply(const Settings& settings, DataEncoding encoding,
                              std::vector<std::string>* warnings) {
    for (const auto& [name, value] : settings) {
        const QuillonProperty* property = FindQuillonProperty(name);
        std::string warning;
        Outcome outcome;
        if (encoding != DataEncoding::kText && IsProperty(property, DISPID_QUILLON_HANDLETILDE)) {
            warning = "HandleTilde=" + Shown(value) + " is ignored: " + ModeName(encoding) +
                      " sets HandleTilde itself so that the symbol carries the " +
                      (encoding == DataEncoding::kUtf8 ? "text's UTF-8 bytes" : "bytes given");
        } else if (IsProperty(property, DISPID_QUILLON_DATA)) {
            outcome = SetData(value, encoding, warnings);
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
    // How messages and warnings name the setting; made only when one is.
    const std::string_view given = value;
    const auto setting = [&] { return std::string(property->name) + "=" + Shown(given); };

    std::string colour;
    const bool is_colour = IsProperty(property, DISPID_QUILLON_BACKCOLOR) ||
                           IsProperty(property, DISPID_QUILLON_BARCOLOR);
    if (is_colour && !value.empty() && value[0] == '#') {
        if (!ColourNumber(value, &colour)) {
            return Failed(Failure::BadValue, setting() + ": '" + Shown(value) +
                                                 "' is not a colour #RRGGBB (six hex digits)");
        }
        value = colour;
    }

    const std::u16string text = platform::Utf8ToUtf16Lossy(value);
    VARIANT args[] = {TextVariant(text)};
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT conversion = VariantChangeType(&converted, &args[0], 0, property->type);

    // The value converted here is the one the put would convert the text to, by the same
    // rules: it goes as it is, and the text, whose conversion then fails the same way in the
    // put, only when it does not convert.
    CallError error;
    object_.Invoke(MemberName(*property), DISPATCH_PROPERTYPUT,
                   std::span(SUCCEEDED(conversion) ? &converted : &args[0], 1), nullptr, &error);
    VariantClear(&args[0]);

    Outcome outcome;
    if (error.hr == DISP_E_TYPEMISMATCH || error.hr == DISP_E_OVERFLOW) {
        outcome = Failed(Failure::BadValue,
                         setting() + ": '" + Shown(value) + "' " +
                             (error.hr == DISP_E_OVERFLOW ? "is out of range for" : "is not") +
                             " a " + property->type_name);
    } else if (FAILED(error.hr)) {
        outcome = Failed(Failure::Refused, setting() + ": " + error.message);
    } else if (SUCCEEDED(conversion)) {
        // The Automation rules read a comma as a thousands separator: "2,5" is 25. The rule
        // stays, as scripts rely on it, but a reader of "2,5" likely meant something else.
        const bool number = property->type != VT_BSTR && property->type != VT_BOOL;
        const std::string comma =
            number && value.find(',') != std::string_view::npos
                ? " is read as " + NumberText(converted) +
                      " (a comma separates thousands; a decimal point is written '.')"
                : "";
        if (!property->Accepts(converted)) {
            *warning = setting() + comma + (comma.empty() ? " is" : ", which is") +
                       " outside the accepted range (" + property->AcceptedText() + ")" +
                       (comma.empty() ? "" : ",") + " and is ignored";
        } else {
            if (!comma.empty()) *warning = setting() + comma;
            Remember(*property, converted);
            micro_.Accepted(*property, converted, property->not_in_micro ? setting() : "");
        }
    }
    VariantClear(&converted);
    return outcome;
}

void BarcodeSession::Remember(const QuillonProperty& property, const VARIANT& converted) {
    switch (property.dispid) {
        case DISPID_QUILLON_WIDTH:
            width_ = {converted.iVal, true};
            break;
        case DISPID_QUILLON_HEIGHT:
            height_ = {converted.iVal, true};
            break;
        case DISPID_QUILLON_ORIENTATION:
            orientation_ = converted.iVal;
            break;
        case DISPID_QUILLON_TRUNCATESYMBOL:
            truncated_ = converted.boolVal != VARIANT_FALSE;
            break;
        case DISPID_QUILLON_HANDLETILDE:
            handle_tilde_ = converted.boolVal != VARIANT_FALSE;
            break;
        case DISPID_QUILLON_BORDERSTYLE:
            border_style_ = converted.iVal;
            break;
        case DISPID_QUILLON_BACKCOLOR:
            back_colour_ = static_cast<std::uint32_t>(converted.lVal);
            break;
        case DISPID_QUILLON_COLUMNS:
            columns_ = converted.iVal;
            break;
        case DISPID_QUILLON_MODE:
            mode_ = converted.iVal;
            break;
        case DISPID_QUILLON_ECI:
            eci_ = converted.lVal;
            eci_set_ = true;
            break;
        case DISPID_QUILLON_MACROSEGMENTINDEX:
            macro_index_ = converted.lVal;
            break;
        case DISPID_QUILLON_MACROSEGMENTCOUNT:
            macro_count_ = converted.lVal;
            break;
        case DISPID_QUILLON_MACROFILEID:
            macro_file_id_ = platform::Utf16ToUtf8(converted.bstrVal);
            break;
        default:
            break;
    }
}

Outcome BarcodeSession::SetData(std::string_view data, DataEncoding encoding,
                                std::vector<std::string>* warnings) {
    if (encoding == DataEncoding::kUtf8) {
        if (Outcome refusal = Utf8Refusal(data); !refusal.ok()) return refusal;
    }
    Outcome outcome = PutData(data, encoding);
    if (outcome.ok()) {
        data_ = data;
        data_encoding_ = encoding;
        outcome = ChooseEci(data, encoding);
    }
    if (outcome.ok() && encoding == DataEncoding::kText) TextModeWarnings(data, warnings);
    if (outcome.ok() && data.empty()) {
        warnings->push_back("Data is empty: the symbol holds no data, and readers report nothing");
    }
    return outcome;
}

Outcome BarcodeSession::PutData(std::string_view data, DataEncoding encoding) {
    if (encoding != DataEncoding::kText) {
        return PutBytes(data, encoding == DataEncoding::kUtf8 ? "UTF-8 bytes" : "bytes");
    }
    std::string unused;  // Data's text is never outside its range: too long is refused
    return Set("Data", data, &unused);
}

Outcome BarcodeSession::ChooseEci(std::string_view data, DataEncoding encoding) {
    if (eci_set_) return {};
    const std::int32_t eci = encoding == DataEncoding::kUtf8 && !IsAscii(data)
                                 ? kUtf8Eci
                                 : static_cast<std::int32_t>(kNoEci);
    if (eci == eci_) return {};
    Outcome outcome = PutNumber(u"Eci", eci);
    if (outcome.ok()) eci_ = eci;
    return outcome;
}

Outcome BarcodeSession::PutNumber(const char16_t* name, std::int64_t value) {
    // A number the component's own conversion takes as it is, with no text made and read back;
    // one too large for a Long goes as text, so that the component words its refusal.
    if (value < std::numeric_limits<LONG>::min() || value > std::numeric_limits<LONG>::max()) {
        return PutText(name, platform::Utf8ToUtf16Lossy(std::to_string(value)));
    }
    VARIANT args[1];
    VariantInit(&args[0]);
    args[0].vt = VT_I4;
    args[0].lVal = static_cast<LONG>(value);
    return PutVariant(name, args);
}

Outcome BarcodeSession::PutBytes(std::string_view bytes, const char* unit) {
    const CarriedBytes carried = CarryBytes(bytes);
    if (carried.data_bytes > static_cast<std::size_t>(kMaxDataLength)) {
        std::string message =
            "Data=" + Shown(bytes) + ": the text is " + std::to_string(bytes.size()) + " " + unit;
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
        outcome.message = "Data=" + Shown(bytes) + ": " + outcome.message;
        return outcome;
    }
    if (carried.handle_tilde == handle_tilde_) return {};
    outcome = PutText(u"HandleTilde", carried.handle_tilde ? u"True" : u"False");
    if (outcome.ok()) handle_tilde_ = carried.handle_tilde;
    return outcome;
}

Outcome BarcodeSession::SizePicture(const PictureSizing& sizing, Figures figures,
                                    Measurement* symbol, std::vector<std::string>* warnings) {
    // Sizing needs the module's pixels, which the columns give; so do MicroPDF417's warnings.
    const bool sized = sizing.fit || !width_.set || !height_.set;
    Outcome outcome = MeasureFigures(sized || micro_.micro() ? Figures::kAll : figures, symbol);
    if (!outcome.ok()) return outcome;
    micro_.Warn(symbol->rows, symbol->columns, symbol->width, symbol->height, warnings);
    const std::int64_t across = QuarterTurned() ? symbol->height : symbol->width;
    const std::int64_t down = QuarterTurned() ? symbol->width : symbol->height;
    std::int64_t width = width_.pixels;
    std::int64_t height = height_.pixels;
    if (sized) {
        // The measured width is whole modules, whatever the module's pixels.
        const std::int64_t module =
            symbol->width / SymbolRowModules(micro_.symbology(), symbol->columns, truncated_);
        const std::int64_t margins =
            2 * (sizing.quiet_zone * module + (border_style_ != 0 ? kBorderPixels : 0));
        if (sizing.fit || !width_.set) width = across + margins;
        if (sizing.fit || !height_.set) height = down + margins;
        if (!kPictureSideRange.Contains(width) || !kPictureSideRange.Contains(height)) {
            return Failed(Failure::TooLarge,
                          "the symbol of " + std::to_string(across) + " x " + std::to_string(down) +
                              " pixels and its quiet zone need a picture of " +
                              std::to_string(width) + " x " + std::to_string(height) +
                              ", more than " + std::to_string(kPictureSideRange.high) +
                              " pixels a side; lower the NarrowBarWidth");
        }
        for (const auto& [name, side, pixels] :
             {std::tuple{u"Width", &width_, width}, std::tuple{u"Height", &height_, height}}) {
            if (side->pixels == pixels) continue;
            outcome = PutNumber(name, pixels);
            if (!outcome.ok()) return outcome;
            side->pixels = pixels;
        }
    }
    if (across > width || down > height) {
        warnings->push_back("the symbol (" + std::to_string(across) + " x " + std::to_string(down) +
                            " pixels) is larger than the picture (" + std::to_string(width) +
                            " x " + std::to_string(height) +
                            ") and is cut off; leave out Width and Height, or fit the picture "
                            "to it (--fit, fit=1)");
    }
    return {};
}

Outcome BarcodeSession::Picture(const PictureRequest& request, std::string* file,
                                std::vector<std::string>* warnings) {
    ByteArray png;
    std::string_view bytes;
    Outcome outcome = PngPicture(request, &png, &bytes, warnings);
    if (!outcome.ok()) return outcome;
    if (request.format == PictureFormat::kPng) {
        file->assign(bytes);
        return outcome;
    }
    const std::uint32_t bgr = back_colour_;
    const std::uint32_t rgb = ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
    if (std::string error; !SvgFromPng(bytes, rgb, file, &error)) {
        return Failed(Failure::Internal, "cannot make the SVG: " + error);
    }
    return outcome;
}

Outcome BarcodeSession::PngPicture(const PictureRequest& request, ByteArray* png,
                                   std::string_view* bytes, std::vector<std::string>* warnings) {
    Measurement symbol;
    Outcome outcome = SizePicture(request.sizing, Figures::kSize, &symbol, warnings);
    return outcome.ok() ? Png(request, png, bytes) : outcome;
}

Outcome BarcodeSession::Measure(const PictureSizing& sizing, Measurement* measurement,
                                std::vector<std::string>* warnings) {
    const Outcome outcome = SizePicture(sizing, Figures::kAll, measurement, warnings);
    // The figures stand whatever the picture would be.
    if (outcome.failure == Failure::TooLarge) {
        warnings->push_back(outcome.message);
        return {};
    }
    return outcome;
}

Outcome BarcodeSession::Png(const PictureRequest& request, ByteArray* png,
                            std::string_view* bytes) {
    const std::int64_t width = width_.pixels;
    const std::int64_t height = height_.pixels;
    if (request.max_pixels > 0 && width * height > request.max_pixels) {
        return Failed(Failure::TooLarge, "the picture of " + std::to_string(width) + " x " +
                                             std::to_string(height) +
                                             " pixels is above this host's limit of " +
                                             std::to_string(request.max_pixels) + " pixels");
    }
    CallError error;
    object_.Invoke(u"PNGImage", DISPATCH_PROPERTYGET, {}, png->result(), &error);
    if (FAILED(error.hr)) return RequestFailed(error);
    if (!png->Read(bytes)) return Failed(Failure::Internal, "PNGImage did not return a byte array");
    return {};
}

Outcome BarcodeSession::MeasureFigures(Figures figures, Measurement* measurement) {
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
        const VARIANT args[] = {by_reference(&first), by_reference(&second)};
        CallError error;
        object_.Invoke(request.method, DISPATCH_METHOD, args, nullptr, &error);
        const bool numbers = Whole(first, request.first) && Whole(second, request.second);
        VariantClear(&first);
        VariantClear(&second);
        if (FAILED(error.hr)) return RequestFailed(error);
        if (!numbers) return Failed(Failure::Internal, "the measuring request returned no numbers");
    }
    return {};
}

Outcome BarcodeSession::PutSettingsThatEncodingChanges() {
    Outcome outcome = PutNumber(u"Columns", columns_);
    return outcome.ok() ? PutNumber(u"Mode", mode_) : outcome;
}

Outcome BarcodeSession::PieceFits(std::string_view piece, DataEncoding encoding, std::int32_t index,
                                  std::int32_t count) {
    // More than Data holds never fits, and is no failure of the settings.
    const std::size_t length =
        encoding == DataEncoding::kText ? CharacterCount(piece) : CarryBytes(piece).data_bytes;
    if (length > static_cast<std::size_t>(kMaxDataLength)) {
        return Failed(Failure::DoesNotFit, "longer than Data holds");
    }
    for (Outcome outcome :
         {PutSettingsThatEncodingChanges(), PutData(piece, encoding),
          PutNumber(u"MacroSegmentIndex", index), PutNumber(u"MacroSegmentCount", count)}) {
        if (!outcome.ok()) return outcome;
    }
    Measurement unused;
    return MeasureFigures(Figures::kAll, &unused);
}

Outcome BarcodeSession::RestoreAfterSet() {
    const std::string file_id = macro_file_id_.empty()
                                    ? std::string(FindQuillonProperty("MacroFileId")->default_value)
                                    : macro_file_id_;
    for (Outcome outcome :
         {PutSettingsThatEncodingChanges(), PutData(data_, data_encoding_),
          ChooseEci(data_, data_encoding_), PutNumber(u"MacroSegmentIndex", macro_index_),
          PutNumber(u"MacroSegmentCount", macro_count_),
          PutText(u"MacroFileId", platform::Utf8ToUtf16Lossy(file_id))}) {
        if (!outcome.ok()) return outcome;
    }
    return {};
}

Outcome BarcodeSession::MacroPictures(std::string_view data, DataEncoding encoding,
                                      const MacroRequest& request, const PictureRequest& picture,
                                      MacroSet* set, std::vector<std::string>* warnings) {
    if (request.segments < 0 || request.segments > kMaxMacroSegments) {
        return Failed(Failure::Refused,
                      "a Macro PDF417 set has 1 to " + std::to_string(kMaxMacroSegments) +
                          " symbols here, not " + std::to_string(request.segments));
    }
    if (data.size() > kMaxMacroDataBytes) {
        return Failed(Failure::Refused, "the data is " + std::to_string(data.size()) +
                                            " bytes; a Macro PDF417 set carries at most " +
                                            std::to_string(kMaxMacroDataBytes));
    }
    if (encoding == DataEncoding::kUtf8) {
        if (Outcome refusal = Utf8Refusal(data); !refusal.ok()) return refusal;
    }
    if (encoding == DataEncoding::kText) {
        TextModeWarnings(data, warnings);
        data = data.substr(0, TextModeLoss(data).cut_at);
    }
    if (data.empty()) return Failed(Failure::Refused, "a Macro PDF417 set needs data");
    if (macro_index_ != DefaultOf("MacroSegmentIndex") ||
        macro_count_ != DefaultOf("MacroSegmentCount")) {
        warnings->push_back(
            "MacroSegmentIndex and MacroSegmentCount are ignored: the set numbers its symbols");
    }

    // The whole set is cut before any symbol is drawn: where a piece ends depends on the others.
    // The file ID's length is what counts while cutting; its digits come from the cuts.
    Outcome outcome = ChooseEci(data, encoding);
    if (outcome.ok() && macro_file_id_.empty()) outcome = PutText(u"MacroFileId", u"000000");
    std::vector<std::string_view> pieces;
    if (outcome.ok()) {
        outcome = SplitForMacroSet(
            data, PieceBoundaries(data, encoding), request.segments, kMaxMacroSegments,
            [&](std::string_view piece, std::int32_t index, std::int32_t count) {
                return PieceFits(piece, encoding, index, count);
            },
            &pieces);
    }
    const auto count = static_cast<std::int32_t>(pieces.size());
    if (outcome.ok() && request.only >= count) {
        outcome = Failed(Failure::Refused, "there is no symbol " + std::to_string(request.only) +
                                               " in a set of " + std::to_string(count) +
                                               " (they are numbered from 0)");
    }
    if (outcome.ok() && macro_file_id_.empty()) {
        outcome = PutText(u"MacroFileId", platform::Utf8ToUtf16Lossy(MacroFileIdFor(data, pieces)));
    }
    set->count = count;
    set->files.clear();
    for (std::int32_t index = 0; outcome.ok() && index < count; ++index) {
        if (request.only >= 0 && index != request.only) continue;
        outcome = PieceFits(pieces[static_cast<std::size_t>(index)], encoding, index, count);
        if (outcome.ok()) outcome = Picture(picture, &set->files.emplace_back(), warnings);
    }
    // Putting back what was there is no part of the answer unless it fails.
    const Outcome restored = RestoreAfterSet();
    return outcome.ok() ? restored : outcome;
}
