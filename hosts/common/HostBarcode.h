// One barcode as a host makes it, through libquillon: the settings in order, Data from
// elsewhere (a file, a batch line) when there is some, then the picture or the measurement,
// with every warning on the way. A page host's request also runs between the component's
// page hooks.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "component/contract/QuillonProperties.h"
#include "quillon/quillon.h"

// Name=Value pairs in the order given.
using Settings = std::vector<std::pair<std::string, std::string>>;

constexpr std::int64_t kDefaultMaxPixels = QUILLON_DEFAULT_MAX_PIXELS;
constexpr int kDefaultQuietZone = QUILLON_DEFAULT_QUIET_ZONE;
constexpr IntegerRange kQuietZoneRange = {0, QUILLON_MAX_QUIET_ZONE};

// How the host sizes the picture (quillon_set_fit, quillon_set_quiet_zone).
struct PictureSizing {
    bool fit = false;
    int quiet_zone = kDefaultQuietZone;
};

// kMacroSet: the PNGs of a Macro PDF417 set of the data (the settings' Data, or `data`).
enum class Product { kPng, kSvg, kMeasurement, kMacroSet };

struct MacroChoice {
    int segments = QUILLON_MACRO_AUTO;
    int only = -1;  // -1: every symbol; else just this one, from 0
};

struct BarcodeRequest {
    Settings settings;
    quillon_data_mode settings_mode = QUILLON_DATA_TEXT;  // how Data=... is read
    const std::string* data = nullptr;                    // Data given apart from the settings
    quillon_data_mode data_mode = QUILLON_DATA_BYTES;
    PictureSizing sizing;
    std::int64_t max_pixels = kDefaultMaxPixels;  // 0: no limit
    bool compress = false;  // the compressed PNG (quillon_set_compression) for the stored one
    Product product = Product::kPng;
    MacroChoice macro = {};        // for kMacroSet
    void* page_context = nullptr;  // a page host's IScriptingContext, for the page hooks
};

struct BarcodeResult {
    quillon_status status = QUILLON_OK;
    std::string message;  // why it failed
    std::vector<std::string> warnings;
    std::string file;                   // the PNG or SVG file (with MacroChoice::only, its PNG)
    std::vector<std::string> files;     // a whole Macro PDF417 set's PNGs
    int segment_count = 0;              // the symbols in that set
    quillon_measurement measurement{};  // the symbol's figures
    std::int64_t picture_pixels = 0;    // of the picture sized, also one refused as too large
    bool ok() const { return status == QUILLON_OK; }
    std::string MeasurementJson() const;
};

BarcodeResult MakeBarcode(const BarcodeRequest& request);

// Why the component cannot be created here, or nothing.
std::string ComponentProblem();
