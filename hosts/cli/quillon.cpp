// quillon: the barcode component from the command line.
//
//   quillon [OPTION ...] [Name=Value ...]      (quillon --help, quillon(1))
//
// Exit status: 0 success; 1 the runtime or the component failed; 2 a usage error, an unknown
// property, or a value that cannot be converted or that the component refuses; 3 the data
// does not fit in a symbol.
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "TarvexQuillonBuiltIn.h"
#include "component/contract/QuillonProperties.h"
#include "hosts/cli/CommandLine.h"
#include "library/session/PrintableText.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitDoesNotFit = 3;

// The longest input taken as one Data text: 4999 characters of up to four UTF-8 bytes, and a
// line break. Anything longer cannot fit in Data and is refused without reading it all.
constexpr std::size_t kLongestInput = 4 * kMaxDataLength + 2;
// The longest input a Macro PDF417 set takes: what it carries, and a line break.
constexpr std::size_t kLongestSetInput = QUILLON_MAX_MACRO_DATA_BYTES + 2;

int ExitStatusFor(quillon_status status) {
    switch (status) {
        case QUILLON_OK:
            return 0;
        case QUILLON_UNKNOWN_PROPERTY:
        case QUILLON_BAD_VALUE:
        case QUILLON_REFUSED:
        case QUILLON_TOO_LARGE:
            return kExitUsage;
        case QUILLON_DOES_NOT_FIT:
            return kExitDoesNotFit;
        default:
            break;
    }
    return kExitFailure;
}

// Messages name where they come from: nothing for a single symbol, the line in a batch.
struct Reporter {
    long line = 0;  // 0: not a batch

    void Print(const char* kind, const std::string& message) const {
        const std::string where = line > 0 ? "line " + std::to_string(line) + ": " : "";
        std::fprintf(stderr, "quillon: %s%s%s\n", where.c_str(), kind,
                     PrintableText(message).c_str());
    }
    int Fail(int status, const std::string& message) const {
        Print("", message);
        return status;
    }
    int Fail(const BarcodeResult& result) const {
        // The picture size limit is this command's --max-pixels.
        const bool limit = result.message.find("host's limit") != std::string::npos;
        return Fail(ExitStatusFor(result.status),
                    result.message + (limit ? " (see --max-pixels)" : ""));
    }
    void Warn(const std::string& message) const { Print("warning: ", message); }
};

int WriteFile(const std::string& path, const std::string& bytes, const Reporter& reporter) {
    const bool to_stdout = path.empty() || path == "-";
    std::FILE* file = to_stdout ? stdout : std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return reporter.Fail(kExitFailure, "cannot write " + path + ": " + std::strerror(errno));
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = to_stdout ? std::fflush(file) == 0 : std::fclose(file) == 0;
    if (!written || !closed) {
        return reporter.Fail(
            kExitFailure,
            "cannot write " + (to_stdout ? "standard output" : path) + ": " + std::strerror(errno));
    }
    return 0;
}

// The request of the command line, with Data from the input when there is some.
BarcodeRequest RequestFor(const CommandLine& line, const std::string* data, Product product) {
    BarcodeRequest request{line.settings, line.SettingsEncoding(), data, line.InputEncoding(),
                           line.sizing,   line.max_pixels};
    request.compress = line.compress;
    request.product = product;
    return request;
}

// One symbol: the settings, then Data when given, then the figures (returned in *json) or the
// picture (written to `output`). The exit status.
int MakeSymbol(const CommandLine& line, const std::string* data, const std::string& output,
               const Reporter& reporter, std::string* json) {
    const BarcodeResult result =
        MakeBarcode(RequestFor(line, data,
                               line.measure                         ? Product::kMeasurement
                               : line.format == PictureFormat::kSvg ? Product::kSvg
                                                                    : Product::kPng));
    for (const std::string& warning : result.warnings) reporter.Warn(warning);
    if (!result.ok()) return reporter.Fail(result);
    if (line.measure) {
        *json = result.MeasurementJson();
        return 0;
    }
    return WriteFile(output, result.file, reporter);
}

// Whether standard input, neither a terminal nor named with -i, already holds data: then the
// user most likely meant it as the data, and encoding the default instead would hide that.
// A pipe is given a moment for its writer's first bytes.
bool StandardInputHoldsData() {
    struct stat status {};
    if (isatty(STDIN_FILENO) || fstat(STDIN_FILENO, &status) != 0) return false;
    if (S_ISREG(status.st_mode)) {
        const off_t position = lseek(STDIN_FILENO, 0, SEEK_CUR);
        return position >= 0 && status.st_size > position;
    }
    if (!S_ISFIFO(status.st_mode) && !S_ISSOCK(status.st_mode)) return false;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    constexpr int kWriterMomentMs = 100;
    if (poll(&p, 1, kWriterMomentMs) <= 0) return false;
    int available = 0;
    return ioctl(STDIN_FILENO, FIONREAD, &available) == 0 && available > 0;
}

// Opens the input named by -i ('-': standard input). What cannot be opened, and a directory,
// is the name's fault, as a usage error (2) says; a failure while reading is a failure (1).
std::FILE* OpenInput(const std::string& path, const Reporter& reporter, int* status) {
    if (path == "-") return stdin;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    struct stat about {};
    int error = errno;
    if (file != nullptr && fstat(fileno(file), &about) == 0 && S_ISDIR(about.st_mode)) {
        std::fclose(file);
        file = nullptr;
        error = EISDIR;
    }
    if (file == nullptr) {
        *status = reporter.Fail(kExitUsage, "cannot read " + path + ": " + std::strerror(error));
    }
    return file;
}

// The bytes of `path` ('-': standard input): all of them as bytes, or as text, without one
// final line break. Carried bytes that end in a line break are likely a text's, as echo
// writes it, so that is said.
bool ReadInput(const std::string& path, quillon_data_mode encoding, bool set, std::string* text,
               const Reporter& reporter, int* status) {
    std::FILE* file = OpenInput(path, reporter, status);
    if (file == nullptr) return false;
    const std::size_t longest = set ? kLongestSetInput : kLongestInput;
    // Up to one byte more than the longest input, in steps that grow with what comes: a buffer
    // of the longest, zeroed first, touched more memory than a short run's whole symbol.
    text->clear();
    for (std::size_t step = 1024; text->size() <= longest; step *= 2) {
        const std::size_t have = text->size();
        const std::size_t want = std::min(step, longest + 1 - have);
        text->resize(have + want);
        const std::size_t n = std::fread(text->data() + have, 1, want, file);
        text->resize(have + n);
        if (n < want) break;
    }
    const std::size_t n = text->size();
    const int error = std::ferror(file) != 0 ? errno : 0;
    if (file != stdin) std::fclose(file);
    if (error != 0) {
        *status = reporter.Fail(kExitFailure, "cannot read " + path + ": " + std::strerror(error));
        return false;
    }
    if (n > longest) {
        *status = reporter.Fail(
            kExitUsage, "the input " + path + " is longer than " +
                            (set ? "a Macro PDF417 set carries (at most " +
                                       std::to_string(QUILLON_MAX_MACRO_DATA_BYTES)
                                 : "any Data text (at most " + std::to_string(kMaxDataLength)) +
                            " bytes)");
        return false;
    }
    const bool line_break = !text->empty() && text->back() == '\n';
    if (line_break && encoding == QUILLON_DATA_BYTES) {
        reporter.Warn(
            "the input ends in a line break, which the symbol carries as data (--utf8 "
            "reads it as text, less one final line break)");
    } else if (line_break) {
        text->pop_back();
        if (!text->empty() && text->back() == '\r') text->pop_back();
    }
    return true;
}

// Reads one line (without its line break) of at most `longest` bytes; a longer line is read
// to its end and reported as too long. False at the end of the input.
bool ReadLine(std::FILE* file, std::string* line, bool* too_long) {
    line->clear();
    *too_long = false;
    int c = std::getc(file);
    if (c == EOF) return false;
    for (; c != EOF && c != '\n'; c = std::getc(file)) {
        if (line->size() < kLongestInput) {
            line->push_back(static_cast<char>(c));
        } else {
            *too_long = true;
        }
    }
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
}

int RunBatch(const CommandLine& line) {
    const std::string path = line.input.empty() ? "-" : line.input;
    int refused = 0;
    std::FILE* file = OpenInput(path, Reporter{}, &refused);
    if (file == nullptr) return refused;
    int first_failure = 0;
    std::string text;
    bool too_long = false;
    for (long number = 1; ReadLine(file, &text, &too_long); ++number) {
        const Reporter reporter{number};
        std::string json;
        const int status = too_long ? reporter.Fail(kExitUsage, "longer than any Data text")
                                    : MakeSymbol(line, &text, BatchOutputName(line.output, number),
                                                 reporter, &json);
        if (line.measure) std::printf("%s\n", status == 0 ? json.c_str() : "null");
        if (status != 0 && first_failure == 0) first_failure = status;
    }
    if (std::ferror(file) != 0 && first_failure == 0) {
        first_failure =
            Reporter{}.Fail(kExitFailure, "cannot read " + path + ": " + std::strerror(errno));
    }
    if (file != stdin) std::fclose(file);
    return first_failure;
}

// A Macro PDF417 set of the input or of Data=..., one file per symbol.
int WriteMacroSet(const CommandLine& line, const std::string* data, const Reporter& reporter) {
    BarcodeRequest request = RequestFor(line, data, Product::kMacroSet);
    request.macro.segments = *line.macro;
    const BarcodeResult result = MakeBarcode(request);
    for (const std::string& warning : result.warnings) reporter.Warn(warning);
    if (!result.ok()) return reporter.Fail(result);
    for (std::size_t index = 0; index < result.files.size(); ++index) {
        const int status = WriteFile(BatchOutputName(line.output, static_cast<long>(index)),
                                     result.files[index], reporter);
        if (status != 0) return status;
    }
    return 0;
}

int Run(const CommandLine& line) {
    const Reporter reporter;
    const bool to_stdout = line.output.empty() || line.output == "-";
    if (!line.measure && to_stdout && isatty(STDOUT_FILENO)) {
        return reporter.Fail(kExitUsage,
                             "standard output is a terminal; use -o FILE or redirect it");
    }
    if (line.batch) return RunBatch(line);

    std::optional<std::string> data;
    if (!line.input.empty()) {
        int status = 0;
        if (!ReadInput(line.input, line.InputEncoding(), line.macro.has_value(), &data.emplace(),
                       reporter, &status)) {
            return status;
        }
    } else if (!SetsData(line.settings) && StandardInputHoldsData()) {
        return reporter.Fail(kExitUsage,
                             "standard input holds data, but no Data was given: use -i - to "
                             "encode it, or Data=... to encode something else");
    }
    if (line.macro) {
        if (!data && !SetsData(line.settings)) {
            return reporter.Fail(kExitUsage, "--macro splits data: give -i FILE or Data=...");
        }
        return WriteMacroSet(line, data ? &*data : nullptr, reporter);
    }
    std::string json;
    const int status = MakeSymbol(line, data ? &*data : nullptr, line.output, reporter, &json);
    if (status == 0 && line.measure) std::printf("%s\n", json.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    if (const EarlyExit exit = ParseCommandLine(argc, argv, &line)) return *exit;

    // The component's server is built in: registering libTarvexQuillon.so, as the session does
    // beside the runtime (built in too), and creating the class run it, and load no library.
    platform::AddBuiltInServer(&kTarvexQuillonBuiltIn);
    // libquillon joins the component's apartment on its own.
    return Run(line);
}
