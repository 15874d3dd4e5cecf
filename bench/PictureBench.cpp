// PNGImage against zint + libpng for the same data, modules of 2 pixels and a picture just
// large enough for the symbol; and PNGImage for a 4000 × 4000 picture. Prints, after the
// timings, how many times faster PNGImage is than the peer for each data set.
#include <benchmark/benchmark.h>
#include <png.h>
#include <zint.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TestQuillon.h"

namespace {

// The component called directly, as the server's objects call it, without the server.
using BenchQuillon = TestQuillon;

struct DataSet {
    const char* name;
    int mode;
    std::vector<unsigned char> bytes;
};

std::vector<DataSet> MakeDataSets() {
    std::vector<DataSet> sets;
    sets.push_back({"defaults", 0, {'1', '2'}});
    std::vector<unsigned char> ascii;
    const std::string sentence = "The quick brown fox jumps over the lazy dog, 0123456789! ";
    for (int i = 0; i < 100; ++i)
        ascii.push_back(static_cast<unsigned char>(sentence[i % sentence.size()]));
    sets.push_back({"ascii100", 1, ascii});
    // Runs of text and runs of arbitrary bytes, 1000 in all.
    std::vector<unsigned char> mixed;
    unsigned state = 12345;
    while (mixed.size() < 1000) {
        state = state * 1103515245u + 12345u;
        const bool text = (state >> 16) % 3 != 0;
        const int run = 5 + static_cast<int>((state >> 8) % 20);
        for (int i = 0; i < run && mixed.size() < 1000; ++i) {
            state = state * 1103515245u + 12345u;
            mixed.push_back(text ? static_cast<unsigned char>('a' + (state >> 16) % 26)
                                 : static_cast<unsigned char>((state >> 16) & 0xFF));
        }
    }
    sets.push_back({"mixed1000", 2, mixed});
    return sets;
}

// The data as a Data string: bytes outside printable ASCII as tilde escapes.
std::u16string Escaped(const std::vector<unsigned char>& bytes) {
    std::u16string text;
    for (unsigned char b : bytes) {
        if (b >= 32 && b < 127 && b != '~') {
            text += static_cast<char16_t>(b);
        } else {
            text += u"~d";
            text += static_cast<char16_t>(u'0' + b / 100);
            text += static_cast<char16_t>(u'0' + b / 10 % 10);
            text += static_cast<char16_t>(u'0' + b % 10);
        }
    }
    return text;
}

struct Configured {
    std::unique_ptr<BenchQuillon> q = std::make_unique<BenchQuillon>();
    int width = 0, height = 0, columns = 0;
};

// An object set up for the data set with 2-pixel modules, its picture as large as the symbol.
Configured Configure(const DataSet& set) {
    Configured c;
    const std::u16string text = Escaped(set.bytes);
    BSTR data = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    c.q->put_Data(data);
    SysFreeString(data);
    c.q->put_HandleTilde(VARIANT_TRUE);
    c.q->put_Mode(static_cast<SHORT>(set.mode));
    c.q->put_NarrowBarWidth(2 * 2.54 / 96);
    VARIANT w, h;
    VariantInit(&w);
    VariantInit(&h);
    if (c.q->GetActualSize(&w, &h) != S_OK) std::abort();
    c.width = w.lVal;
    c.height = h.lVal;
    c.columns = c.q->Columns;
    c.q->put_Width(static_cast<SHORT>(c.width));
    c.q->put_Height(static_cast<SHORT>(c.height));
    return c;
}

void PictureRequest(benchmark::State& state, const DataSet& set) {
    Configured c = Configure(set);
    std::size_t bytes = 0;
    for (auto _ : state) {
        VARIANT v;
        VariantInit(&v);
        if (c.q->get_PNGImage(&v) != S_OK) std::abort();
        bytes = v.parray->rgsabound[0].cElements;
        VariantClear(&v);
    }
    state.counters["width"] = c.width;
    state.counters["height"] = c.height;
    state.counters["png_bytes"] = static_cast<double>(bytes);
}

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void NoFlush(png_structp) {}

// zint's raster of the symbol, written as a 1-bit PNG into memory by libpng.
std::size_t ZintPng(const DataSet& set, int columns, std::vector<unsigned char>& out, int* width,
                    int* height) {
    zint_symbol* symbol = ZBarcode_Create();
    symbol->symbology = BARCODE_PDF417;
    symbol->option_1 = 2;  // error-correction level, as ours
    symbol->option_2 = columns;
    symbol->input_mode = DATA_MODE;
    symbol->scale = 1.0f;  // 2 pixels a module
    if (ZBarcode_Encode_and_Buffer(symbol, set.bytes.data(), static_cast<int>(set.bytes.size()),
                                   0) >= ZINT_ERROR) {
        std::fprintf(stderr, "zint: %s\n", symbol->errtxt);
        std::abort();
    }
    *width = symbol->bitmap_width;
    *height = symbol->bitmap_height;
    out.clear();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, AppendToVector, NoFlush);
    png_set_IHDR(png, info, symbol->bitmap_width, symbol->bitmap_height, 1, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<unsigned char> row((symbol->bitmap_width + 7) / 8);
    const unsigned char* rgb = symbol->bitmap;
    for (int y = 0; y < symbol->bitmap_height; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (int x = 0; x < symbol->bitmap_width; ++x, rgb += 3) {
            if (rgb[0] >= 128) row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    ZBarcode_Delete(symbol);
    return out.size();
}

void ZintPicture(benchmark::State& state, const DataSet& set) {
    const Configured c = Configure(set);
    std::vector<unsigned char> out;
    int width = 0, height = 0;
    for (auto _ : state) {
        ZintPng(set, c.columns, out, &width, &height);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["width"] = width;
    state.counters["height"] = height;
    state.counters["png_bytes"] = static_cast<double>(out.size());
}

void LargePicture(benchmark::State& state) {
    auto q = std::make_unique<BenchQuillon>();
    q->put_Width(4000);
    q->put_Height(4000);
    q->put_NarrowBarWidth(1.0);  // modules of 38 pixels: the symbol fills much of the picture
    q->put_BorderStyle(2);
    for (auto _ : state) {
        VARIANT v;
        VariantInit(&v);
        if (q->get_PNGImage(&v) != S_OK) std::abort();
        VariantClear(&v);
    }
    state.counters["pixels/s"] =
        benchmark::Counter(4000.0 * 4000.0, benchmark::Counter::kIsIterationInvariantRate);
}

// Records each run's time per iteration, to compare the two paths when all have run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                seconds_[run.benchmark_name()] = run.real_accumulated_time / run.iterations;
            }
        }
    }
    void PrintRatios(const std::vector<DataSet>& sets) const {
        std::printf("\nPNGImage against zint + libpng (how many times faster):\n");
        for (const DataSet& set : sets) {
            const auto ours = seconds_.find(std::string("PNGImage/") + set.name);
            const auto peer = seconds_.find(std::string("ZintLibpng/") + set.name);
            if (ours == seconds_.end() || peer == seconds_.end()) continue;
            std::printf("  %-10s %8.1f us vs %8.1f us: %.1fx\n", set.name, ours->second * 1e6,
                        peer->second * 1e6, peer->second / ours->second);
        }
    }

private:
    std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<DataSet> sets = MakeDataSets();
    for (const DataSet& set : sets) {
        benchmark::RegisterBenchmark((std::string("PNGImage/") + set.name).c_str(), PictureRequest,
                                     set)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("ZintLibpng/") + set.name).c_str(), ZintPicture,
                                     set)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("PNGImage/4000x4000", LargePicture)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios(sets);
    benchmark::Shutdown();
    return 0;
}
