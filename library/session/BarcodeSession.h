// One barcode object as a host uses it: properties set by name from text, Data in the mode the
// user chose, then a picture sized by the host's rule or the measured size. Every failure
// comes back as an Outcome whose kind the hosts map to an exit status or an HTTP status, and
// whose message names the property, the value and why; whatever is done but not quite as
// asked (a value ignored, a character replaced, a symbol cut off) comes back as a warning.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "component/contract/QuillonProperties.h"
#include "library/session/Automation.h"
#include "library/session/MicroWarnings.h"
#include "quillon/quillon.h"

// The limits and defaults of the API: 16 Mpixels take about 64 MB while being drawn; a quiet
// zone of 2 modules is the least that PDF417 readers are promised.
constexpr std::int64_t kDefaultMaxPixels = QUILLON_DEFAULT_MAX_PIXELS;
constexpr int kDefaultQuietZone = QUILLON_DEFAULT_QUIET_ZONE;
constexpr IntegerRange kQuietZoneRange = {0, QUILLON_MAX_QUIET_ZONE};
// A Macro PDF417 set is made whole for every symbol asked for (its cuts depend on all of it):
// these bound its time and memory, about 100 component encodings and one picture a symbol.
constexpr std::size_t kMaxMacroDataBytes = QUILLON_MAX_MACRO_DATA_BYTES;
constexpr std::int32_t kMaxMacroSegments = QUILLON_MAX_MACRO_SEGMENTS;
// UTF-8 mode names its character set in the symbol when the text is not ASCII alone.
constexpr std::int32_t kUtf8Eci = 26;

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
};

// Name=Value pairs in the order given.
using Settings = std::vector<std::pair<std::string, std::string>>;

// How a Data value reaches the symbol.
enum class DataEncoding {
    kText,   // characters, kept as the component keeps text: Windows-1252, others become '?'
    kUtf8,   // UTF-8 text, carried as its UTF-8 bytes; other text is refused
    kBytes,  // any bytes, the zero byte included, carried as they are
};

// How a host sizes the picture. The component's own Width and Height defaults never change:
// a side that the settings leave unset, or every side with `fit`, is passed to it as the
// symbol's extent plus the quiet zone, turned with the symbol, plus room for a border.
struct PictureSizing {
    bool fit = false;
    int quiet_zone = kDefaultQuietZone;  // modules of background on every side
};

enum class PictureFormat { kPng, kSvg };

struct PictureRequest {
    PictureSizing sizing;
    PictureFormat format = PictureFormat::kPng;
    std::int64_t max_pixels = kDefaultMaxPixels;  // refuses a larger picture; 0: no limit
};

// A Macro PDF417 set: how many symbols, and which of them to draw.
struct MacroRequest {
    std::int32_t segments = 0;  // 0: the fewest that fit the settings
    std::int32_t only = -1;     // -1: every symbol; else just this one, from 0
};

struct MacroSet {
    std::int32_t count = 0;          // the symbols in the set
    std::vector<std::string> files;  // the pictures asked for, in the order of the set
};

class BarcodeSession {
public:
    // Creates "TarvexQuillon.Quillon" on the calling thread, which must be initialised for
    // the component runtime (CoInitializeEx) and stay the only thread using this session.
    Outcome Open();

    // Sets each property in order: Data as `encoding` says, the others as Set does. In the
    // UTF-8 and byte modes, HandleTilde belongs to the mode, and a HandleTilde setting is
    // ignored with a warning.
    Outcome Apply(const Settings& settings, DataEncoding encoding,
                  std::vector<std::string>* warnings);

    // Sets a property from its text, converted as a script's string would be; the colours
    // also take #RRGGBB. A value the component ignores (outside its accepted range), and a
    // number read otherwise than it may look (a comma separates thousands), is no failure,
    // but `warning` says so.
    Outcome Set(std::string_view name, std::string_view value, std::string* warning);
    // Sets Data from `data` as `encoding` says. Text mode warns with the count and the first
    // place of what the component's text cannot keep; every mode warns of empty Data.
    Outcome SetData(std::string_view data, DataEncoding encoding,
                    std::vector<std::string>* warnings);

    // The pictures of a Macro PDF417 set that carries `data`, read as `encoding` says, split
    // over request.segments symbols (each a picture as Picture makes it) that a reader joins
    // into the data. Every setting stays as it was, but MacroSegmentIndex and
    // MacroSegmentCount, which the set chooses (a warning says so when they were set), and
    // MacroFileId, chosen from the data unless it was set.
    Outcome MacroPictures(std::string_view data, DataEncoding encoding, const MacroRequest& request,
                          const PictureRequest& picture, MacroSet* set,
                          std::vector<std::string>* warnings);

    // The picture as a PNG or SVG file, in the string a host writes or sends as it is, its
    // size chosen by request.sizing; warns when it cuts the symbol off.
    Outcome Picture(const PictureRequest& request, std::string* file,
                    std::vector<std::string>* warnings);
    // The same PNG file as the component made it: `bytes` lie in `png`, for the caller to copy
    // where it wants them.
    Outcome PngPicture(const PictureRequest& request, ByteArray* png, std::string_view* bytes,
                       std::vector<std::string>* warnings);
    // The symbol's rows, columns and size; warns when the picture that the same settings and
    // sizing give would cut it off, or could not be made.
    Outcome Measure(const PictureSizing& sizing, Measurement* measurement,
                    std::vector<std::string>* warnings);
    // The picture's pixels as the settings and the last picture or measurement sized it, read
    // without asking the component: also after a picture refused for its size.
    std::int64_t picture_pixels() const { return width_.pixels * height_.pixels; }

    // The page hooks of a page host: OnStartPage with its scripting context, and OnEndPage,
    // which the session also calls when it ends while a page is started.
    Outcome StartPage(IUnknown* context);
    Outcome EndPage();
    ~BarcodeSession() { EndPage(); }

private:
    enum class Figures { kAll, kSize };
    struct Side {
        std::int64_t pixels;
        bool set;  // by the settings, rather than left to the host
    };

    Outcome PutText(const char16_t* name, std::u16string_view value);
    // Puts the one argument and clears it, whatever the component answers.
    Outcome PutVariant(const char16_t* name, VARIANT (&args)[1]);
    Outcome PutBytes(std::string_view bytes, const char* unit);
    // Puts Data as `encoding` says, after SetData's checks and warnings.
    Outcome PutData(std::string_view data, DataEncoding encoding);
    // Eci 26 for UTF-8 text that is not ASCII alone, unless Eci was set; else none.
    Outcome ChooseEci(std::string_view data, DataEncoding encoding);
    Outcome PutNumber(const char16_t* name, std::int64_t value);
    // Puts Columns and Mode as last set: the component raises Columns, and turns a text Mode
    // into mixed, for data that needs it, and keeps what it chose. Every symbol of a set, and
    // every trial while cutting it, starts from the settings again, so that each symbol is
    // what the same request alone would give.
    Outcome PutSettingsThatEncodingChanges();
    // Puts each piece as its segment of `count` and asks whether it fits.
    Outcome PieceFits(std::string_view piece, DataEncoding encoding, std::int32_t index,
                      std::int32_t count);
    // Puts back Data and the Macro settings as they were before a set was made.
    Outcome RestoreAfterSet();
    void Remember(const QuillonProperty& property, const VARIANT& converted);
    Outcome MeasureFigures(Figures figures, Measurement* measurement);
    // Measures the symbol (at least `figures` of it), chooses the picture's size and puts it,
    // and warns when the picture cuts the symbol off.
    Outcome SizePicture(const PictureSizing& sizing, Figures figures, Measurement* symbol,
                        std::vector<std::string>* warnings);
    Outcome Png(const PictureRequest& request, ByteArray* png, std::string_view* bytes);
    bool QuarterTurned() const { return orientation_ % 2 == 1; }

    ScriptedObject object_;
    bool page_started_ = false;
    // The settings the component keeps and cannot be asked for, as last accepted (Open starts
    // them at the contract's defaults).
    Side width_ = {0, false};
    Side height_ = {0, false};
    int orientation_ = 0;
    bool truncated_ = false;
    bool handle_tilde_ = false;
    int border_style_ = 0;
    std::uint32_t back_colour_ = 0;  // 0x00BBGGRR
    // Data as last put, for putting it back after a Macro set.
    std::string data_;
    DataEncoding data_encoding_ = DataEncoding::kText;
    std::int32_t eci_ = 0;
    bool eci_set_ = false;  // by the settings, rather than by UTF-8 mode
    std::int32_t macro_index_ = 0;
    std::int32_t macro_count_ = 0;
    std::string macro_file_id_;  // empty: not set
    std::int32_t columns_ = 0;
    std::int32_t mode_ = 0;
    // The symbology, and what a MicroPDF417 symbol is warned of.
    MicroWarnings micro_;
};
