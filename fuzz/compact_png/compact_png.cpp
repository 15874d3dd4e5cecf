// The compressed PNG. A picture in the component's form, of any size, bit depth and rows (rows
// that repeat the one above, runs, a few bytes changed, any bytes), compresses to a file whose
// image data zlib inflates to the same scanlines; and any bytes at all, given as a file, are
// either left as they are or, being a file of that form, compressed to the same image data.
#include <string>

#include "fuzz/support/FuzzInput.h"
#include "fuzz/support/StoredPng.h"
#include "library/compact/CompactPng.h"

namespace {

// Scanlines of height rows of row_bytes each, filter bytes 0, drawn from the input.
std::string Scanlines(FuzzInput& input, std::size_t row_bytes, int height) {
    std::string scanlines, row(row_bytes, '\0');
    for (int y = 0; y < height; ++y) {
        switch (input.Below(4)) {
            case 0:  // the row above again
                break;
            case 1:  // runs of one byte
                for (std::size_t i = 1; i < row_bytes;) {
                    const std::size_t run = std::min<std::size_t>(1 + input.Byte(), row_bytes - i);
                    row.replace(i, run, run, static_cast<char>(input.Byte()));
                    i += run;
                }
                break;
            case 2:  // a few bytes changed
                for (int n = input.Below(4); n > 0; --n)
                    row[1 + input.Below(static_cast<unsigned>(row_bytes - 1))] =
                        static_cast<char>(input.Byte());
                break;
            default:  // any bytes
                for (std::size_t i = 1; i < row_bytes; ++i)
                    row[i] = static_cast<char>(input.Byte());
        }
        scanlines += row;
    }
    return scanlines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    if (input.Bool()) {
        const std::string file(input.Rest());
        std::string compact = file;
        CompactPng(&compact);
        if (compact != file) {
            FUZZ_CHECK(compact.size() < file.size());
            FUZZ_CHECK(stored_png::Inflated(compact, file.size()) ==
                       stored_png::Inflated(file, file.size()));
        }
        return 0;
    }
    const int depth = 1 << input.Below(4);
    const int width = 1 + static_cast<int>(input.Below(1024));
    const int height = 1 + static_cast<int>(input.Below(200));
    const std::size_t row_bytes = 1 + (static_cast<std::size_t>(width) * depth + 7) / 8;
    const std::string scanlines = Scanlines(input, row_bytes, height);
    const std::string stored = stored_png::Make(width, height, depth, scanlines);
    std::string compact = stored;
    CompactPng(&compact);
    FUZZ_CHECK(compact.size() <= stored.size());
    FUZZ_CHECK(stored_png::Inflated(compact, scanlines.size()) == scanlines);
    return 0;
}
