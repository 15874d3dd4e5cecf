// One barcode object as a host uses it: properties set by name from text, then a picture or
// the measured size. Every failure comes back as an Outcome whose kind the hosts map to an
// exit status or an HTTP status, and whose message names the property, the value and why.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/common/Automation.h"

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
    int width = 0;
    int height = 0;
    std::string Json() const;
};

class BarcodeSession {
public:
    // Creates "TarvexQuillon.Quillon" on the calling thread, which must be initialised for
    // the component runtime (CoInitializeEx) and stay the only thread using this session.
    Outcome Open();

    // Sets a property from its text, converted as a script's string would be. A value the
    // component ignores (outside its accepted range) is no failure, but `warning` says so.
    Outcome Set(std::string_view name, std::string_view value, std::string* warning);
    // Sets Data to UTF-8 text through "TarvexUnicode.Converter" and turns HandleTilde on, so
    // the symbol carries the text's UTF-8 bytes.
    Outcome SetUtf8Data(std::string_view text);

    // The picture as a PNG file. max_pixels (0: no limit) refuses a picture above it.
    Outcome Picture(std::vector<std::uint8_t>* png, std::int64_t max_pixels = 0);
    Outcome Measure(Measurement* measurement);

    IDispatch* object() const { return object_.get(); }

private:
    Outcome PutText(const char16_t* name, std::u16string_view value);

    DispatchPtr object_;
    DispatchPtr converter_;
    std::int64_t width_ = 300;  // the picture size as the component holds it
    std::int64_t height_ = 200;
};
