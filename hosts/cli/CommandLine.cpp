#include "hosts/cli/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "component/contract/QuillonProperties.h"
#include "component/contract/QuillonVersion.h"
#include "hosts/common/PrintableText.h"
#include "hosts/common/Suggestion.h"

namespace {

constexpr int kExitUsage = 2;

struct OptionSpec {
    std::string_view name;  // long form, without the dashes
    char short_name;        // 0: none
    bool takes_value;
};

constexpr OptionSpec kOptions[] = {
    {"output", 'o', true}, {"input", 'i', true},  {"format", 0, true}, {"batch", 0, false},
    {"measure", 0, false}, {"utf8", 0, false},    {"fit", 0, false},   {"max-pixels", 0, true},
    {"help", 'h', false},  {"version", 0, false},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(
        out,
        "usage: quillon [OPTION ...] [Name=Value ...]\n"
        "\n"
        "Encodes Data as a PDF417 symbol and writes the picture (PNG, or SVG for print) to a\n"
        "file or to standard output, never to a terminal.\n"
        "\n"
        "  -o, --output=FILE   write to FILE ('-': standard output, the default); with --batch\n"
        "                      a pattern whose %%d (or %%03d ...) is the line number\n"
        "  -i, --input=FILE    Data is the text of FILE ('-': standard input), less one final\n"
        "                      line break\n"
        "      --batch         one symbol per line of the input (-i, else standard input), in\n"
        "                      one process; with --measure one JSON line each ('null' for a\n"
        "                      line that fails)\n"
        "      --format=FORMAT png or svg (default: svg when FILE ends in .svg, else png); the\n"
        "                      SVG draws exactly the pixels of the PNG\n"
        "      --measure       print {\"rows\",\"columns\",\"width\",\"height\"} as JSON instead\n"
        "      --fit           make the picture the size of the symbol (Width and Height)\n"
        "      --utf8          Data is UTF-8 text and the symbol carries its UTF-8 bytes, up to\n"
        "                      %d of them; UTF-8 mode sets HandleTilde itself, so a HandleTilde\n"
        "                      setting is ignored with a warning\n"
        "      --max-pixels=N  refuse a picture of more than N pixels (default %lld)\n"
        "  -h, --help          this text;  --version  the version\n"
        "      --              the arguments that follow are settings\n"
        "\n"
        "Without Data=... or -i, the component's default Data is encoded; but when standard\n"
        "input holds data, quillon refuses (exit 2) rather than ignore it: use -i - to encode it.\n"
        "A symbol larger than the picture is cut off, with a warning (see --fit).\n"
        "\n"
        "Properties (names are case-insensitive; the last of repeated names wins; BackColor and\n"
        "BarColor also take #RRGGBB, turned into the component's 0x00BBGGRR):\n",
        kMaxDataLength, static_cast<long long>(kDefaultMaxPixels));
    for (const QuillonProperty& p : QuillonProperties()) {
        std::fprintf(out, "  %-21s %-23s default %-9s accepted: %s\n      %s\n", p.name,
                     p.type_name, p.default_value, p.AcceptedText().c_str(), p.help);
    }
    std::fprintf(out,
                 "\nA value outside the accepted range is ignored by the component (a warning\n"
                 "is printed). Exit status: 0 success, 1 failure, 2 usage or value error,\n"
                 "3 data does not fit in a symbol. See quillon(1).\n");
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "quillon: %s (see quillon --help)\n", PrintableText(message).c_str());
    return kExitUsage;
}

const OptionSpec* FindLong(std::string_view name) {
    for (const OptionSpec& o : kOptions) {
        if (o.name == name) return &o;
    }
    return nullptr;
}

const OptionSpec* FindShort(char name) {
    for (const OptionSpec& o : kOptions) {
        if (o.short_name != 0 && o.short_name == name) return &o;
    }
    return nullptr;
}

std::string UnknownOption(std::string_view arg) {
    std::vector<std::string> forms;
    for (const OptionSpec& o : kOptions) forms.push_back("--" + std::string(o.name));
    const std::vector<std::string_view> names(forms.begin(), forms.end());
    const std::string_view given = arg.substr(0, arg.find('='));
    const std::string closest = ClosestName(given, names);
    return "unknown option '" + std::string(given) + "'" +
           (closest.empty() ? "" : "; did you mean '" + closest + "'?");
}

bool ParseCount(std::string_view text, std::int64_t* value) {
    const std::string s(text);
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (errno != 0 || end == s.c_str() || *end != 0 || v < 1) return false;
    *value = v;
    return true;
}

// Applies one option and its value; returns -1, or the exit status to end with.
int Apply(const OptionSpec& option, std::string_view value, CommandLine* line, bool* format_given) {
    const std::string_view name = option.name;
    if (name == "help") {
        PrintUsage(stdout);
        return 0;
    }
    if (name == "version") {
        std::printf("quillon %s\n", QUILLON_VERSION);
        return 0;
    }
    if (name == "output") line->output = value;
    if (name == "input") line->input = value;
    if (name == "batch") line->batch = true;
    if (name == "measure") line->measure = true;
    if (name == "utf8") line->utf8 = true;
    if (name == "fit") line->fit = true;
    if (name == "format") {
        if (value != "png" && value != "svg") {
            return UsageError("--format takes png or svg, not '" + std::string(value) + "'");
        }
        line->format = value == "svg" ? PictureFormat::kSvg : PictureFormat::kPng;
        *format_given = true;
    }
    if (name == "max-pixels" && !ParseCount(value, &line->max_pixels)) {
        return UsageError("--max-pixels takes a number of pixels, not '" + std::string(value) +
                          "'");
    }
    return -1;
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Checks what the options say together; returns -1, or the exit status to end with.
int CheckTogether(CommandLine* line, bool format_given) {
    if (!format_given && EndsWith(line->output, ".svg")) line->format = PictureFormat::kSvg;
    if (SetsData(line->settings) && (!line->input.empty() || line->batch)) {
        return UsageError("Data comes from the input with -i or --batch; leave out Data=...");
    }
    if (line->batch && !line->measure && !IsBatchPattern(line->output)) {
        return UsageError(
            "--batch writes one file per line: give -o a pattern with one %d, e.g. "
            "-o code-%03d.png");
    }
    if (!line->batch && line->output.find('%') != std::string::npos &&
        IsBatchPattern(line->output)) {
        return UsageError("-o " + line->output + " is a pattern, which only --batch takes");
    }
    return -1;
}

}  // namespace

ParseResult ParseCommandLine(int argc, char** argv, CommandLine* line) {
    bool format_given = false;
    bool options_ended = false;
    auto finish = [](int status) -> ParseResult {
        return status < 0 ? ParseResult{} : ParseResult{ParseResult::kExit, status};
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!options_ended && arg == "--") {
            options_ended = true;
            continue;
        }
        const OptionSpec* option = nullptr;
        std::string_view value;
        bool has_value = false;
        if (!options_ended && arg.size() > 2 && arg.substr(0, 2) == "--") {
            const std::size_t equals = arg.find('=');
            option =
                FindLong(arg.substr(2, equals == std::string_view::npos ? arg.npos : equals - 2));
            if (option == nullptr) return finish(UsageError(UnknownOption(arg)));
            if (equals != std::string_view::npos) {
                if (!option->takes_value) {
                    return finish(UsageError("--" + std::string(option->name) + " takes no value"));
                }
                value = arg.substr(equals + 1);
                has_value = true;
            }
        } else if (!options_ended && arg.size() > 1 && arg[0] == '-') {
            option = FindShort(arg[1]);
            if (option == nullptr) return finish(UsageError(UnknownOption(arg)));
            if (arg.size() > 2) {
                if (!option->takes_value) {
                    return finish(UsageError("unknown option '" + std::string(arg) + "'"));
                }
                value = arg.substr(2);
                has_value = true;
            }
        } else {
            const std::size_t equals = arg.find('=');
            if (equals == std::string_view::npos || equals == 0) {
                return finish(UsageError("'" + std::string(arg) + "' is not Name=Value"));
            }
            line->settings.emplace_back(arg.substr(0, equals), arg.substr(equals + 1));
            continue;
        }
        if (option->takes_value && !has_value) {
            if (i + 1 >= argc) {
                return finish(UsageError("--" + std::string(option->name) + " needs a value"));
            }
            value = argv[++i];
        }
        const int status = Apply(*option, value, line, &format_given);
        if (status >= 0) return finish(status);
    }
    return finish(CheckTogether(line, format_given));
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
