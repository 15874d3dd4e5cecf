// One barcode object as a host uses it: properties set by name from text, then a picture or
// the measured size. Every failure comes back as an Outcome whose kind the hosts map to an
// exit status or an HTTP status, and whose message names the property, the value and why.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hosts/common/Automation.h"

// The largest picture a host draws unless told otherwise, in pixels: 16 Mpixels take about
// 64 MB while being drawn.
constexpr std::int64_t kDefaultMaxPixels = 16 * 1024 * 1024;

enum class Failure {
    None,
    UnknownProperty,  // no settable property of that name
    BadValue,         // the text cannot be converted to the property's type
    Refused,          // the component refused the value with an error
    DoesNotFit,       // the data needs more than one symbol can hold
    TooLarge,         // the picture is above the host's pixel limit
    Internal,         // the component or the runtime failed
};

struct Outcome {
    Failure failure = Failure::None;
    std::string message;
    bool ok() const { return failure == Failure::None; }
};

struct Measurement {
    int rows = 0;
    int columns = 0;
    int width = 0;  // along the rows, whatever the orientation
    int height = 0;
    std::string Json() const;
};

enum class Figures { kAll, kSize };

// Name=Value pairs in the order given.
using Settings = std::vector<std::pair<std::string, std::string>>;

class BarcodeSession {
public:
    // Creates "TarvexQuillon.Quillon" on the calling thread, which must be initialised for
    // the component runtime (CoInitializeEx) and stay the only thread using this session.
    Outcome Open();

    // Sets each property in order, as Set does. With utf8, every Data value is UTF-8 text and
    // the symbol carries its UTF-8 bytes whatever else the settings say: HandleTilde belongs
    // to that mode then, and a HandleTilde setting is ignored with a warning.
    Outcome Apply(const Settings& settings, bool utf8, std::vector<std::string>* warnings);

    // Sets a property from its text, converted as a script's string would be; the colours
    // also take #RRGGBB. A value the component ignores (outside its accepted range) is no
    // failure, but `warning` says so.
    Outcome Set(std::string_view name, std::string_view value, std::string* warning);
    // Sets Data so that the symbol carries the UTF-8 bytes of `text`, which must be UTF-8.
    Outcome SetUtf8Data(std::string_view text);

    // Makes the picture the size of the symbol (turned with it).
    Outcome FitPictureTo(const Measurement& symbol);
    // Says so when the symbol is larger than the picture and so is cut off; else empty.
    std::string ClippingWarning(const Measurement& symbol) const;
    // Whether Width or Height has been set (and accepted).
    bool picture_size_set() const { return picture_size_set_; }
    // The pixels of the picture as the settings stand.
    std::int64_t picture_pixels() const { return width_ * height_; }

    // The picture as a PNG file, in the string a host writes or sends as it is. max_pixels
    // (0: no limit) refuses a picture above it.
    Outcome Picture(std::string* png, std::int64_t max_pixels = 0);
    // The symbol's rows and columns and its size, or (kSize) its size alone, which is one
    // encoding less.
    Outcome Measure(Measurement* measurement, Figures figures = Figures::kAll);

    IDispatch* object() const { return object_.get(); }

private:
    Outcome PutText(const char16_t* name, std::u16string_view value);
    bool QuarterTurned() const { return orientation_ % 2 == 1; }

    DispatchPtr object_;
    // The settings the component keeps and cannot be asked for, as last accepted (Open starts
    // them at the contract's defaults).
    std::int64_t width_ = 0;
    std::int64_t height_ = 0;
    int orientation_ = 0;
    bool picture_size_set_ = false;
};
