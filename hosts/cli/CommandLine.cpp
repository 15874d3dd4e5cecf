#include "hosts/cli/CommandLine.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string_view>
#include <vector>

#include "component/contract/QuillonProperties.h"
#include "component/contract/QuillonVersion.h"

namespace {

std::string Usage() {
    return "usage: quillon [OPTION ...] [Name=Value ...]\n"
           "\n"
           "Encodes Data as a PDF417 or MicroPDF417 symbol and writes the picture (PNG, or SVG\n"
           "for print) to a file or to standard output, never to a terminal.\n"
           "\n";
}

std::string Epilogue() {
    std::string text =
        "\n"
        "Without Data=... or -i, the component's default Data is encoded; but when standard\n"
        "input holds data, quillon refuses (exit 2) rather than ignore it: use -i - to encode it.\n"
        "Data=... is text: characters outside Windows-1252 become '?', with a warning, unless\n"
        "--utf8 or --binary says otherwise; the input of -i and --batch is bytes unless --utf8.\n"
        "Without Width and Height the picture is the symbol's size and its quiet zone; a side\n"
        "that is set stays, and a symbol larger than the picture is cut off, with a warning.\n"
        "\n"
        "Properties (names are case-insensitive; the last of repeated names wins; BackColor and\n"
        "BarColor also take #RRGGBB, turned into the component's 0x00BBGGRR):\n";
    char line[1024];
    for (const QuillonProperty& p : QuillonProperties()) {
        std::snprintf(line, sizeof line, "  %-21s %-23s default %-9s accepted: %s\n      %s\n",
                      p.name, p.type_name, p.default_value, p.AcceptedText().c_str(), p.help);
        text += line;
    }
    return text +
           "\nA value outside the accepted range is ignored by the component (a warning\n"
           "is printed). Exit status: 0 success, 1 failure, 2 usage or value error,\n"
           "3 data does not fit in a symbol. See quillon(1).\n";
}

// The properties of PDF417 alone, which a MicroPDF417 symbol ignores: "A, B and C".
std::string Pdf417Only() {
    std::vector<std::string> names;
    for (const QuillonProperty& p : QuillonProperties()) {
        if (p.not_in_micro != nullptr) names.emplace_back(p.name);
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return text;
}

// The options, each with what it does to *line; *format_given records --format.
std::vector<CommandOption> Options(CommandLine* line, bool* format_given) {
    // Moved into the table rather than copied from a list, as a braced list of rows would be:
    // every row carries its help, which a run reads only for --help.
    CommandOption rows[] = {
        {"output", 'o', "FILE",
         "write to FILE ('-': standard output, the default); with --batch a pattern whose %d "
         "(or %03d ...) is the line number",
         Text(&line->output), "%% is a percent sign."},
        {"input", 'i', "FILE",
         "Data is the bytes of FILE ('-': standard input), every one carried as it is; with "
         "--utf8, its text less one final line break",
         Text(&line->input)},
        {"batch", 0, "",
         "one symbol per line of the input (-i, else standard input), in one process; with "
         "--measure one JSON line each ('null' for a line that fails)",
         Flag(&line->batch),
         "Each line is encoded as a separate run would encode it. A line that fails is reported "
         "with its number and the others are still made; the exit status is that of the first "
         "failure."},
        {"format", 0, "FORMAT",
         "the picture's format, png or svg (default: svg when FILE ends in .svg, else png); the "
         "SVG draws exactly the pixels of the PNG",
         Text([line, format_given](std::string_view value) -> std::string {
             if (value != "png" && value != "svg") {
                 return "takes png or svg, not '" + std::string(value) + "'";
             }
             line->format = value == "svg" ? PictureFormat::kSvg : PictureFormat::kPng;
             *format_given = true;
             return {};
         }),
         "Its view box is the picture's size: a rectangle of the background colour, and on it "
         "one rectangle per run of bar pixels, merged over identical rows, in the colours drawn "
         "(one path for each colour, so that the bars can be restyled at once)."},
        {"measure", 0, "", "print {\"rows\",\"columns\",\"width\",\"height\"} as JSON instead",
         Flag(&line->measure),
         "They are the symbol's rows and data columns, and its size in pixels along and across "
         "the rows."},
        {"fit", 0, "",
         "size the picture to the symbol and its quiet zone even when Width or Height is set "
         "(without them it is sized so anyway)",
         Flag(&line->sizing.fit),
         "A side that Width or Height does not set is always sized so; the quiet zone is "
         "--quiet-zone modules on every side, and a border (BorderStyle) is drawn outside it. "
         "For a quarter turn (Orientation 1 or 3), the symbol's width is the picture's height."},
        {"quiet-zone", 0, "N",
         "modules of background on every side of a symbol whose picture quillon sizes (default " +
             std::to_string(kDefaultQuietZone) + ", the least readers are promised)",
         WholeNumber(kQuietZoneRange.low, kQuietZoneRange.high, &line->sizing.quiet_zone),
         "A module is NarrowBarWidth at 96 pixels per inch, rounded to whole pixels."},
        {"utf8", 0, "",
         "Data is UTF-8 text and the symbol carries its UTF-8 bytes, up to " +
             std::to_string(kMaxDataLength) +
             " of them; UTF-8 mode sets HandleTilde itself, so a HandleTilde setting is ignored "
             "with a warning",
         Flag(&line->utf8), "Text that is not UTF-8 is refused."},
        {"binary", 0, "",
         "Data is bytes, and the symbol carries each of them as it is, the zero byte included, "
         "up to " +
             std::to_string(kMaxDataLength) +
             "; the default for the input of -i and --batch. Byte mode sets HandleTilde itself",
         Flag(&line->binary),
         "Without --binary or --utf8, Data=... is text: each character outside Windows-1252 "
         "becomes '?' and a zero character ends it, both with a warning that counts them and "
         "names the first place."},
        {"optimize", 0, "",
         "choose text, byte or numeric compaction per stretch of the data for the fewest "
         "codewords (OptimizeCompaction=True; Mode is then unused)",
         Flag([line] { line->settings.emplace_back("OptimizeCompaction", "True"); }),
         "It takes its place among the settings: a later OptimizeCompaction=False undoes it."},
        {"micro", 0, "",
         "draw a MicroPDF417 symbol (Symbology=1), the small one of 1 to 4 data columns; "
         "MicroColumns and MicroRows choose its size",
         Flag([line] { line->settings.emplace_back("Symbology", "1"); }),
         "It takes its place among the settings: a later Symbology=0 undoes it. " + Pdf417Only() +
             " do not apply to it and are ignored, with a warning; rows under 2 modules high "
             "(Y2XRatio under 2) are warned of too."},
        {"macro", 0, "N",
         "split the data (-i or Data=...) over a Macro PDF417 set of N symbols (1 to " +
             std::to_string(QUILLON_MAX_MACRO_SEGMENTS) +
             ", or auto: the fewest that fit the other settings), written to the files of -o's "
             "pattern, whose %d is the symbol's index from 0",
         Text([line](std::string_view value) -> std::string {
             std::int64_t segments = 0;
             if (value == "auto") {
                 line->macro = QUILLON_MACRO_AUTO;
             } else if (ParseWholeNumber(value, 1, QUILLON_MAX_MACRO_SEGMENTS, &segments)) {
                 line->macro = static_cast<int>(segments);
             } else {
                 return "takes auto or a number of symbols from 1 to " +
                        std::to_string(QUILLON_MAX_MACRO_SEGMENTS) + ", not '" +
                        std::string(value) + "'";
             }
             return {};
         }),
         "A reader that joins the set gets the data back exactly: each symbol carries a piece of "
         "it (text is cut between characters only), its index, the set's size and a file ID "
         "chosen from the data, so that the same command writes the same files anywhere. The "
         "data may be up to " +
             std::to_string(QUILLON_MAX_MACRO_DATA_BYTES) +
             " bytes. Data that does not fit in N symbols is refused (exit 3)."},
        {"compress", 0, "",
         "write a compressed PNG of the same pixels, many times smaller than the component's own "
         "file, whose image data is stored uncompressed",
         Flag(&line->compress),
         "The header and palette are the component's; only the image data is compressed, for "
         "what a barcode picture is (rows that repeat the one above, runs of one colour). The "
         "SVG output is not affected."},
        {"max-pixels", 0, "N",
         "refuse a picture of more than N pixels (default " + std::to_string(kDefaultMaxPixels) +
             ")",
         Text([line](std::string_view value) -> std::string {
             if (!ParseWholeNumber(value, 1, INT64_MAX, &line->max_pixels)) {
                 return "takes a number of pixels, not '" + std::string(value) + "'";
             }
             return {};
         }),
         "The default is quillon-serve's too."},
    };
    return {std::make_move_iterator(std::begin(rows)), std::make_move_iterator(std::end(rows))};
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Checks what the options say together; a usage error's message, or empty.
std::string CheckTogether(CommandLine* line, bool format_given) {
    if (!format_given && EndsWith(line->output, ".svg")) line->format = PictureFormat::kSvg;
    if (line->utf8 && line->binary)
        return "--utf8 and --binary are two ways to read Data: give one";
    if (SetsData(line->settings) && (!line->input.empty() || line->batch)) {
        return "Data comes from the input with -i or --batch; leave out Data=...";
    }
    if (line->macro && (line->batch || line->measure || line->format == PictureFormat::kSvg)) {
        return "--macro writes the PNG files of a set; it is not taken with --batch, --measure "
               "or SVG";
    }
    if (line->macro && !IsBatchPattern(line->output)) {
        return "--macro writes one file per symbol: give -o a pattern with one %d, e.g. "
               "-o seg-%d.png";
    }
    if (line->batch && !line->measure && !IsBatchPattern(line->output)) {
        return "--batch writes one file per line: give -o a pattern with one %d, e.g. "
               "-o code-%03d.png";
    }
    if (!line->batch && !line->macro && line->output.find('%') != std::string::npos &&
        IsBatchPattern(line->output)) {
        return "-o " + line->output + " is a pattern, which only --batch and --macro take";
    }
    return {};
}

}  // namespace

EarlyExit ParseCommandLine(int argc, char** argv, CommandLine* line) {
    bool format_given = false;
    const CommandLineRules rules{
        .program = "quillon",
        .version = QUILLON_VERSION,
        .usage = Usage(),
        .epilogue = Epilogue,
        .help_summary =
            "the options and the properties with their types, defaults and accepted "
            "values",
        .options = Options(line, &format_given),
        .operand = [line](std::string_view arg) -> std::string {
            const std::size_t equals = arg.find('=');
            if (equals == std::string_view::npos || equals == 0) {
                return "'" + std::string(arg) + "' is not Name=Value";
            }
            line->settings.emplace_back(arg.substr(0, equals), arg.substr(equals + 1));
            return {};
        },
        .operands_help = "the arguments that follow are settings",
    };
    if (const EarlyExit exit = ReadCommandLine(argc, argv, rules)) return exit;
    if (const std::string refusal = CheckTogether(line, format_given); !refusal.empty()) {
        return UsageError(rules.program, refusal);
    }
    return std::nullopt;
}

quillon_data_mode CommandLine::SettingsEncoding() const {
    return utf8 ? QUILLON_DATA_UTF8 : binary ? QUILLON_DATA_BYTES : QUILLON_DATA_TEXT;
}

quillon_data_mode CommandLine::InputEncoding() const {
    return utf8 ? QUILLON_DATA_UTF8 : QUILLON_DATA_BYTES;
}

bool SetsData(const Settings& settings) {
    return std::any_of(settings.begin(), settings.end(), [](const auto& setting) {
        return FindQuillonProperty(setting.first) == FindQuillonProperty("Data");
    });
}

bool IsBatchPattern(const std::string& pattern) {
    int conversions = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        if (j + 1 < pattern.size() && pattern[j] == '0' && pattern[j + 1] >= '1' &&
            pattern[j + 1] <= '9') {
            j += 2;
        }
        if (j >= pattern.size() || pattern[j] != 'd') return false;
        ++conversions;
        i = j;
    }
    return conversions == 1;
}

std::string BatchOutputName(const std::string& pattern, long number) {
    std::string name;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            name += pattern[i];
        } else if (pattern[i + 1] == '%') {
            name += '%';
            ++i;
        } else {
            const int width = pattern[i + 1] == '0' ? pattern[i + 2] - '0' : 0;
            char digits[32];
            std::snprintf(digits, sizeof digits, "%0*ld", width, number);
            name += digits;
            i = pattern.find('d', i);
        }
    }
    return name;
}
