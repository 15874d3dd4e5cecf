// Compressed PNGs (quillon_set_compression(b, 1)) against zint + libpng at its default
// compression, for the data sets of quillon_bench: "12", 100 ASCII characters, 1000 mixed
// bytes. Our side is the C API with the hosts' sizing (Width and Height unset: the symbol and
// its quiet zone) and 2-pixel modules; zint draws the same data with the same columns into
// its one-byte-a-pixel bitmap, which is centred in a picture of our size, packed to one bit a
// pixel (a row equal to the one before reused as it is) and written by libpng. Every timed
// call first sets Data to the other of two strings of the same length and kind, so that
// nothing kept from the last call answers it.
//
//   compressed_png_bench [REPETITIONS]      (default 31)
//   compressed_png_bench --only CASE CALLS  (CASE 0..2: our compressed PNGs alone, for callgrind)
//
// Per case: both files' bytes, the median time of each side and the ratio; then the stored
// PNG's time through the same calls, and the compressor alone on the stored file (time and,
// for a count that does not wander, run it under `valgrind --tool=callgrind
// --toggle-collect='CompactPng*'` with --only).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <png.h>
#include <zint.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "library/compact/CompactPng.h"
#include "quillon/quillon.h"

namespace {

constexpr double kModuleCm = 2 * 2.54 / 96;  // 2 pixels

std::string Ascii100(std::size_t shift) {
    const std::string sentence = "The quick brown fox jumps over the lazy dog, 0123456789! ";
    std::string ascii;
    for (std::size_t i = 0; i < 100; ++i) ascii += sentence[(i + shift) % sentence.size()];
    return ascii;
}

// Runs of letters and of arbitrary bytes, 1000 in all, as quillon_bench's, turned by `shift`.
std::string Mixed1000(std::size_t shift) {
    unsigned state = 12345;
    std::string mixed;
    while (mixed.size() < 1000) {
        state = state * 1103515245u + 12345u;
        const bool text = (state >> 16) % 3 != 0;
        const int run = 5 + static_cast<int>((state >> 8) % 20);
        for (int i = 0; i < run && mixed.size() < 1000; ++i) {
            state = state * 1103515245u + 12345u;
            mixed += text ? static_cast<char>('a' + (state >> 16) % 26)
                          : static_cast<char>((state >> 16) & 0xFF);
        }
    }
    std::rotate(mixed.begin(), mixed.begin() + static_cast<std::ptrdiff_t>(shift), mixed.end());
    return mixed;
}

struct Case {
    const char* name;
    int mode;
    std::string data[2];  // taken in turns
};

std::vector<Case> Cases() {
    return {{"(a) \"12\"", 0, {"12", "34"}},
            {"(b) 100 ASCII", 1, {Ascii100(0), Ascii100(1)}},
            {"(c) 1000 mixed", 2, {Mixed1000(0), Mixed1000(1)}}};
}

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// libquillon with the hosts' sizing, Data alternating.
class Ours {
public:
    Ours(const Case& c, int compression) : case_(c), buffer_(16 << 20) {
        quillon_set_int(b_, "Mode", c.mode);
        quillon_set_double(b_, "NarrowBarWidth", kModuleCm);
        quillon_set_compression(b_, compression);
    }
    ~Ours() { quillon_free(b_); }
    std::size_t Call() {
        const std::string& data = case_.data[turn_ ^= 1];
        std::size_t size = 0;
        if (quillon_set_data(b_, data.data(), data.size(), QUILLON_DATA_BYTES) != QUILLON_OK ||
            quillon_png_into(b_, buffer_.data(), buffer_.size(), &size) != QUILLON_OK) {
            std::fprintf(stderr, "compressed_png_bench: %s\n", quillon_message(b_));
            std::abort();
        }
        return size;
    }
    // The file of data[which].
    std::string File(int which) {
        turn_ = which ^ 1;
        const std::size_t size = Call();
        return {reinterpret_cast<const char*>(buffer_.data()), size};
    }
    int Columns() {
        quillon_measurement m{};
        quillon_measure(b_, &m);
        return m.columns;
    }

private:
    const Case& case_;
    quillon_barcode* b_ = quillon_create();
    std::vector<unsigned char> buffer_;
    int turn_ = 0;
};

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void NoFlush(png_structp) {}

// zint's symbol centred in a width × height picture, written by libpng at its default
// compression as a two-colour palette image.
class Zint {
public:
    Zint(const Case& c, int columns, int width, int height)
        : case_(c), columns_(columns), width_(width), height_(height) {}
    std::size_t CallWith(int which) {
        turn_ = which ^ 1;
        return Call();
    }
    std::size_t Call() {
        const std::string& data = case_.data[turn_ ^= 1];
        zint_symbol* symbol = ZBarcode_Create();
        symbol->symbology = BARCODE_PDF417;
        symbol->option_1 = 2;  // error-correction level, as ours
        symbol->option_2 = columns_;
        symbol->input_mode = DATA_MODE;
        symbol->scale = 1.0f;  // 2 pixels a module
        symbol->output_options |= OUT_BUFFER_INTERMEDIATE;
        if (ZBarcode_Encode_and_Buffer(symbol, reinterpret_cast<const unsigned char*>(data.data()),
                                       static_cast<int>(data.size()), 0) >= ZINT_ERROR) {
            std::fprintf(stderr, "zint: %s\n", symbol->errtxt);
            std::abort();
        }
        out_.clear();
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_write_fn(png, &out_, AppendToVector, NoFlush);
        png_set_IHDR(png, info, static_cast<png_uint_32>(width_), static_cast<png_uint_32>(height_),
                     1, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_color palette[2] = {{255, 255, 255}, {0, 0, 0}};
        png_set_PLTE(png, info, palette, 2);
        png_write_info(png, info);
        const int left = (width_ - symbol->bitmap_width) / 2;
        const int top = (height_ - symbol->bitmap_height) / 2;
        std::vector<unsigned char> blank(static_cast<std::size_t>(width_ + 7) / 8, 0);
        std::vector<unsigned char> row(blank.size());
        const unsigned char* previous = nullptr;
        for (int y = 0; y < height_; ++y) {
            const int sy = y - top;
            if (sy < 0 || sy >= symbol->bitmap_height) {
                png_write_row(png, blank.data());
                previous = nullptr;
                continue;
            }
            const unsigned char* pixels =
                reinterpret_cast<const unsigned char*>(symbol->bitmap) +
                static_cast<std::size_t>(sy) * static_cast<std::size_t>(symbol->bitmap_width);
            const bool same =
                previous != nullptr && std::memcmp(pixels, previous, symbol->bitmap_width) == 0;
            if (!same) {
                std::fill(row.begin(), row.end(), 0);
                for (int x = 0; x < symbol->bitmap_width; ++x) {
                    const int px = left + x;
                    if (pixels[x] == '1' && px >= 0 && px < width_)
                        row[px / 8] |= static_cast<unsigned char>(0x80 >> (px % 8));
                }
            }
            previous = pixels;
            png_write_row(png, row.data());
        }
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        ZBarcode_Delete(symbol);
        benchmark::DoNotOptimize(out_.data());
        return out_.size();
    }

private:
    const Case& case_;
    int columns_, width_, height_;
    std::vector<unsigned char> out_;
    int turn_ = 0;
};

// The compressor alone, on the stored files of both strings in turn.
class CompressorAlone {
public:
    explicit CompressorAlone(Ours* stored) : files_{stored->File(0), stored->File(1)} {}
    std::size_t Call() {
        copy_ = files_[turn_ ^= 1];
        CompactPng(&copy_);
        return copy_.size();
    }

private:
    std::string files_[2];
    std::string copy_;
    int turn_ = 0;
};

template <typename Side>
double BatchSeconds(Side& side, int calls) {
    const double start = ThreadSeconds();
    for (int i = 0; i < calls; ++i) side.Call();
    return (ThreadSeconds() - start) / calls;
}

// Calls in a batch of about 5 ms, so that the clock's resolution does not count.
template <typename Side>
int CallsPerBatch(Side& side) {
    side.Call();
    return std::max(1, static_cast<int>(5e-3 / std::max(BatchSeconds(side, 3), 1e-9)));
}

int PictureSide(const std::string& png, int offset) {
    return static_cast<int>(
        (static_cast<unsigned>(static_cast<unsigned char>(png[offset])) << 24) |
        (static_cast<unsigned>(static_cast<unsigned char>(png[offset + 1])) << 16) |
        (static_cast<unsigned>(static_cast<unsigned char>(png[offset + 2])) << 8) |
        static_cast<unsigned char>(png[offset + 3]));
}

}  // namespace

int main(int argc, char** argv) {
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    const std::vector<Case> cases = Cases();
    if (argc == 4 && std::string(argv[1]) == "--only") {
        const int which = std::atoi(argv[2]), calls = std::atoi(argv[3]);
        if (which < 0 || which >= static_cast<int>(cases.size()) || calls < 1) return 2;
        Ours ours(cases[static_cast<std::size_t>(which)], 1);
        for (int i = 0; i < calls; ++i) ours.Call();
        return 0;
    }
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;
    std::printf(
        "Medians of %d turns, processor time of the thread; zint + libpng writes a picture "
        "of our size.\n\n",
        repetitions);
    std::printf("%-16s %9s %9s %10s %10s %7s   %10s %12s\n", "case", "our bytes", "zint bytes",
                "ours us", "zint us", "ratio", "stored us", "compressor us");
    for (const Case& c : cases) {
        Ours ours(c, 1);
        Ours stored(c, 0);
        const std::string file = ours.File(0);
        Zint zint(c, ours.Columns(), PictureSide(file, 16), PictureSide(file, 20));
        CompressorAlone alone(&stored);
        const int our_calls = CallsPerBatch(ours), zint_calls = CallsPerBatch(zint);
        const int stored_calls = CallsPerBatch(stored), alone_calls = CallsPerBatch(alone);
        std::vector<double> our_times, zint_times, stored_times, alone_times;
        for (int r = 0; r < repetitions; ++r) {
            our_times.push_back(BatchSeconds(ours, our_calls));
            zint_times.push_back(BatchSeconds(zint, zint_calls));
            stored_times.push_back(BatchSeconds(stored, stored_calls));
            alone_times.push_back(BatchSeconds(alone, alone_calls));
        }
        const double o = Median(our_times) * 1e6, z = Median(zint_times) * 1e6;
        std::printf("%-16s %9zu %9zu %10.2f %10.2f %6.2fx   %10.2f %12.2f\n", c.name, file.size(),
                    zint.CallWith(0), o, z, z / o, Median(stored_times) * 1e6,
                    Median(alone_times) * 1e6);
    }
    return 0;
}
