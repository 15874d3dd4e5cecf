// A MicroPDF417 PNG of 20 ASCII characters: PNGImage against zint + libpng (bench/ZintPng.h)
// writing the same picture, 2-pixel modules and rows of 2 modules (as zint draws them) with a
// quiet zone of 2 modules, zint given our data columns. Every timed call takes the other of two
// data of the same length and kind, so that nothing kept from the call before answers it.
// Prints one line: the medians and how many times faster PNGImage is than zint + libpng
// writing compressed (libpng's default) and stored (level 0, as ours) PNGs.
//
//   micro_bench [REPETITIONS]   (default 31)
//   micro_bench --only CALLS    (PNGImage alone, printing nothing: for callgrind)
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <zint.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/BenchCases.h"
#include "bench/ZintPng.h"
#include "tests/support/TestQuillon.h"

namespace {

const std::string kData[2] = {"Lot 4711-B exp 09/27", "Lot 8265-C exp 11/28"};
constexpr int kQuietZone = 2;  // modules

class MicroSide {
public:
    MicroSide() {
        for (int i = 0; i < 2; ++i) {
            const std::u16string text(kData[i].begin(), kData[i].end());
            data_[i] = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        }
        q_.Symbology = kSymbologyMicroPdf417;
        q_.put_NarrowBarWidth(bench::kTwoPixelModuleCm);
        q_.put_Y2XRatio(2.0f);
        q_.put_Data(data_[0]);
        VARIANT w, h;
        VariantInit(&w);
        VariantInit(&h);
        if (q_.GetActualSize(&w, &h) != S_OK) std::abort();
        width = w.lVal + 2 * kQuietZone * q_.ModuleWidth;
        height = h.lVal + 2 * kQuietZone * q_.ModuleWidth;
        columns = q_.Columns;
        q_.put_Width(static_cast<SHORT>(width));
        q_.put_Height(static_cast<SHORT>(height));
    }
    ~MicroSide() {
        for (BSTR d : data_) SysFreeString(d);
    }
    void Call() {
        q_.put_Data(data_[turn_ ^= 1]);
        VARIANT v;
        VariantInit(&v);
        if (q_.get_PNGImage(&v) != S_OK) std::abort();
        size = v.parray->rgsabound[0].cElements;
        VariantClear(&v);
    }
    int width = 0, height = 0, columns = 0;
    std::size_t size = 0;

private:
    TestQuillon q_;
    BSTR data_[2] = {};
    int turn_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    // The steady heap of every side, as quillon_bench keeps it.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    MicroSide ours;
    if (argc == 3 && std::string(argv[1]) == "--only") {
        for (int i = std::atoi(argv[2]); i > 0; --i) ours.Call();
        return 0;
    }
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;

    bench::ZintPicture picture{BARCODE_MICROPDF417, 0, ours.columns, ours.width, ours.height};
    std::vector<unsigned char> png;
    int turn = 0;
    auto zint = [&](int compression) {
        return [&, compression] {
            picture.compression = compression;
            bench::ZintPng(picture, kData[turn ^= 1], png);
            benchmark::DoNotOptimize(png.data());
        };
    };
    const std::vector<double> t =
        bench::MediansInTurns({[&] { ours.Call(); }, zint(-1), zint(0)}, repetitions);
    std::printf(
        "MicroPDF417, 20 ASCII characters, %d x %d pixels, %zu PNG bytes: PNGImage %.2f us; zint "
        "+ libpng %.2f us compressed (%.1fx), %.2f us stored (%.1fx); medians of %d turns\n",
        ours.width, ours.height, ours.size, t[0] * 1e6, t[1] * 1e6, t[1] / t[0], t[2] * 1e6,
        t[2] / t[0], repetitions);
    return 0;
}
