// quillon: the barcode component from the command line.
//
//   quillon [-o FILE] [--measure] [--utf8] [Name=Value ...]
//
// Exit status: 0 success; 1 the runtime or the component failed; 2 a usage error, an unknown
// property, or a value that cannot be converted or that the component refuses; 3 the data
// does not fit in a symbol.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "component/contract/QuillonProperties.h"
#include "component/contract/QuillonVersion.h"
#include "hosts/common/BarcodeSession.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitDoesNotFit = 3;

struct Options {
    std::string output = "-";
    bool measure = false;
    bool utf8 = false;
    std::vector<std::pair<std::string, std::string>> settings;
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: quillon [-o FILE] [--measure] [--utf8] [Name=Value ...]\n"
                 "\n"
                 "Encodes Data as a PDF417 symbol and writes the PNG picture to FILE (or to\n"
                 "standard output, never to a terminal).\n"
                 "\n"
                 "  -o FILE     write the PNG to FILE ('-': standard output)\n"
                 "  --measure   print {\"rows\",\"columns\",\"width\",\"height\"} as JSON instead\n"
                 "  --utf8      Data is UTF-8 text; the symbol carries its UTF-8 bytes\n"
                 "  --help      this text;  --version  the version\n"
                 "\n"
                 "Properties (names are case-insensitive; the last of repeated names wins):\n");
    for (const QuillonProperty& p : QuillonProperties()) {
        std::fprintf(out, "  %-21s %-23s default %-9s accepted: %s\n      %s\n", p.name,
                     p.type_name, p.default_value, p.AcceptedText().c_str(), p.help);
    }
    std::fprintf(out,
                 "\nA value outside the accepted range is ignored by the component (a warning\n"
                 "is printed). Exit status: 0 success, 1 failure, 2 usage or value error,\n"
                 "3 data does not fit in a symbol.\n");
}

// Returns -1 when the arguments are fine, else the exit status to end with.
int ParseArguments(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("quillon %s\n", QUILLON_VERSION);
            return 0;
        }
        if (arg == "--measure") {
            options->measure = true;
        } else if (arg == "--utf8") {
            options->utf8 = true;
        } else if (arg == "-o") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "quillon: -o needs a file name\n");
                return kExitUsage;
            }
            options->output = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "quillon: unknown option '%s' (see quillon --help)\n", argv[i]);
            return kExitUsage;
        } else {
            const std::size_t equals = arg.find('=');
            if (equals == std::string_view::npos || equals == 0) {
                std::fprintf(stderr, "quillon: '%s' is not Name=Value (see quillon --help)\n",
                             argv[i]);
                return kExitUsage;
            }
            options->settings.emplace_back(arg.substr(0, equals), arg.substr(equals + 1));
        }
    }
    return -1;
}

int ExitStatusFor(const Outcome& outcome) {
    switch (outcome.failure) {
        case Failure::None:
            return 0;
        case Failure::UnknownProperty:
        case Failure::BadValue:
        case Failure::Refused:
            return kExitUsage;
        case Failure::DoesNotFit:
            return kExitDoesNotFit;
        case Failure::TooLarge:
        case Failure::Internal:
            break;
    }
    return kExitFailure;
}

int Report(const Outcome& outcome) {
    const char* what = outcome.failure == Failure::DoesNotFit ? "the data does not fit: " : "";
    std::fprintf(stderr, "quillon: %s%s\n", what, outcome.message.c_str());
    return ExitStatusFor(outcome);
}

bool IsDataName(const std::string& name) {
    return FindQuillonProperty(name) == FindQuillonProperty("Data");
}

int WritePicture(const std::vector<std::uint8_t>& png, const std::string& output) {
    std::FILE* file = output == "-" ? stdout : std::fopen(output.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "quillon: cannot write %s: %s\n", output.c_str(),
                     std::strerror(errno));
        return kExitFailure;
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    const bool closed = file == stdout ? std::fflush(file) == 0 : std::fclose(file) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "quillon: cannot write %s: %s\n", output.c_str(),
                     std::strerror(errno));
        return kExitFailure;
    }
    return 0;
}

int Run(const Options& options) {
    if (!options.measure && options.output == "-" && isatty(STDOUT_FILENO)) {
        std::fprintf(stderr,
                     "quillon: standard output is a terminal; use -o FILE or redirect it\n");
        return kExitUsage;
    }
    BarcodeSession session;
    Outcome outcome = session.Open();
    if (!outcome.ok()) return Report(outcome);

    for (const auto& [name, value] : options.settings) {
        std::string warning;
        outcome = options.utf8 && IsDataName(name) ? session.SetUtf8Data(value)
                                                   : session.Set(name, value, &warning);
        if (!outcome.ok()) return Report(outcome);
        if (!warning.empty()) std::fprintf(stderr, "quillon: warning: %s\n", warning.c_str());
    }

    if (options.measure) {
        Measurement measurement;
        outcome = session.Measure(&measurement);
        if (!outcome.ok()) return Report(outcome);
        std::printf("%s\n", measurement.Json().c_str());
        return 0;
    }
    std::vector<std::uint8_t> png;
    outcome = session.Picture(&png);
    if (!outcome.ok()) return Report(outcome);
    return WritePicture(png, options.output);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = ParseArguments(argc, argv, &options);
    if (parsed >= 0) return parsed;

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "quillon: the component runtime cannot start\n");
        return kExitFailure;
    }
    const int status = Run(options);
    CoUninitialize();
    return status;
}
