// The quillon command line: the options of its table (in the forms every host takes:
// -oFILE, -o FILE, --output=FILE, --output FILE, -- to end them) and Name=Value settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "hosts/common/HostBarcode.h"
#include "hosts/common/OptionTable.h"

enum class PictureFormat { kPng, kSvg };

struct CommandLine {
    std::string output;  // empty: not given (standard output)
    std::string input;   // empty: none; "-": standard input
    PictureFormat format = PictureFormat::kPng;
    bool batch = false;
    bool measure = false;
    bool utf8 = false;
    bool binary = false;
    bool compress = false;
    std::optional<int> macro;  // --macro: the symbols of the set (QUILLON_MACRO_AUTO: auto)
    PictureSizing sizing;
    std::int64_t max_pixels = kDefaultMaxPixels;
    Settings settings;

    // How Data=... reaches the symbol, and how the input's data (-i, --batch) does: as bytes
    // unless --utf8.
    quillon_data_mode SettingsEncoding() const;
    quillon_data_mode InputEncoding() const;
};

// Parses the arguments into *line; prints help, version or a usage error itself.
EarlyExit ParseCommandLine(int argc, char** argv, CommandLine* line);

// Whether the settings give Data.
bool SetsData(const Settings& settings);

// The output file of batch line `number`: the pattern with its one %d (or %0Nd) replaced.
std::string BatchOutputName(const std::string& pattern, long number);
// Whether `pattern` has exactly one %d or %0Nd (N < 10) and otherwise only %% escapes.
bool IsBatchPattern(const std::string& pattern);
