// PNGImage, and the C API around it as the hosts use it, against zint + libpng: for each case
// every side makes a PNG file of the same picture for the same data (2-pixel modules, the
// symbol in the picture the hosts size for it: a quiet zone of 2 modules on every side), and
// PNGImage alone makes a 4000 × 4000 picture. Prints the median time of each side and how many
// times faster the C API is than zint + libpng writing compressed (libpng's default) and stored
// (level 0, the same kind of file as ours) PNGs.
//
//   quillon_bench [REPETITIONS]          (default 31)
//   quillon_bench --only CASE CALLS      (CASE 0..5 as listed, 6 for 4000 × 4000)
//   quillon_bench --only-api CASE CALLS  (CASE 0..5)
//
// The other forms run PNGImage (or the C API's set and PNG) alone CALLS times and print
// nothing: the work to count under `valgrind --tool=callgrind`, whose instruction counts
// compare two builds where the shared machine's times cannot.
//
// Every timed call takes the other of two data of the same length and kind (BenchCases.h),
// so that nothing kept from the call before answers it. The sides take turns, a batch each,
// REPETITIONS times, and each side's median batch is reported, timed in processor time of the
// thread. All run on the same steady heap: glibc would otherwise trim the heap after a large
// free and fault it back in on the next call, which costs the peer (whose buffers are freed
// every time) far more than the work itself.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <zint.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchCases.h"
#include "bench/ZintPng.h"
#include "quillon/quillon.h"
#include "tests/support/TestQuillon.h"

namespace {

struct Case {
    bench::DataSet data;
    const char* name;
    int orientation = 0;
    const char* back = nullptr;  // #RRGGBB, or the default
    const char* bar = nullptr;
    bool against_zint = true;
};

std::vector<Case> MakeCases() {
    const std::vector<bench::DataSet> sets = bench::DataSets();
    return {
        {sets[0], sets[0].name},
        {sets[1], sets[1].name},
        {sets[2], sets[2].name},
        {sets[1], "(b) coloured", 0, "#C0C0C0", "#800000", false},
        {sets[1], "(b) Orientation 1", 1, nullptr, nullptr, false},
        {sets[1], "(b) Orientation 3", 3, nullptr, nullptr, false},
    };
}

// The C API as the hosts call it: the settings put once, then for each picture Data and the
// PNG into the caller's buffer, Width and Height left to the library's sizing.
class ApiSide {
public:
    explicit ApiSide(const Case& c) : case_(c), buffer_(64 << 20) {
        quillon_set_int(barcode_, "Mode", c.data.mode);
        quillon_set_double(barcode_, "NarrowBarWidth", bench::kTwoPixelModuleCm);
        quillon_set_int(barcode_, "Orientation", c.orientation);
        if (c.back != nullptr) quillon_set(barcode_, "BackColor", c.back);
        if (c.bar != nullptr) quillon_set(barcode_, "BarColor", c.bar);
        Call();
        // The picture's size, from the PNG's header.
        const auto word = [&](int at) {
            return buffer_[at] << 24 | buffer_[at + 1] << 16 | buffer_[at + 2] << 8 |
                   buffer_[at + 3];
        };
        width = word(16);
        height = word(20);
    }
    ~ApiSide() { quillon_free(barcode_); }
    void Call() {
        const std::string& bytes = case_.data.bytes[turn_ ^= 1];
        if (quillon_set_data(barcode_, bytes.data(), bytes.size(), QUILLON_DATA_BYTES) !=
                QUILLON_OK ||
            quillon_png_into(barcode_, buffer_.data(), buffer_.size(), &size) != QUILLON_OK) {
            std::fprintf(stderr, "quillon_bench: %s\n", quillon_message(barcode_));
            std::abort();
        }
    }
    int width = 0, height = 0;
    std::size_t size = 0;

private:
    const Case& case_;
    quillon_barcode* barcode_ = quillon_create();
    std::vector<unsigned char> buffer_;
    int turn_ = 0;
};

// The data as a Data string: bytes outside printable ASCII, and '~', as tilde escapes.
std::u16string Escaped(const std::string& bytes) {
    std::u16string text;
    for (const unsigned char b : bytes) {
        if (b >= 32 && b < 127 && b != '~') {
            text += static_cast<char16_t>(b);
        } else {
            for (const char c : "~d" + std::to_string(1000 + b).substr(1)) text += c;
        }
    }
    return text;
}

// The component called directly, as the server's objects call it, drawing a picture of the
// size the C API chose.
class DirectSide {
public:
    DirectSide(const Case& c, int width, int height) {
        for (int i = 0; i < 2; ++i) {
            const std::u16string text = Escaped(c.data.bytes[i]);
            data_[i] = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        }
        q_->put_HandleTilde(VARIANT_TRUE);
        q_->put_Mode(static_cast<SHORT>(c.data.mode));
        q_->put_NarrowBarWidth(bench::kTwoPixelModuleCm);
        q_->put_Orientation(static_cast<SHORT>(c.orientation));
        if (c.back != nullptr) q_->put_BackColor(0xC0C0C0);
        if (c.bar != nullptr) q_->put_BarColor(0x000080);
        q_->put_Width(static_cast<SHORT>(width));
        q_->put_Height(static_cast<SHORT>(height));
    }
    ~DirectSide() {
        for (BSTR d : data_) SysFreeString(d);
    }
    void Call() {
        q_->put_Data(data_[turn_ ^= 1]);
        VARIANT v;
        VariantInit(&v);
        if (q_->get_PNGImage(&v) != S_OK) std::abort();
        size = v.parray->rgsabound[0].cElements;
        VariantClear(&v);
    }
    std::size_t size = 0;

private:
    std::unique_ptr<TestQuillon> q_ = std::make_unique<TestQuillon>();
    BSTR data_[2] = {};
    int turn_ = 0;
};

class ZintSide {
public:
    ZintSide(const Case& c, int width, int height, int compression) : case_(c) {
        picture_.symbology = BARCODE_PDF417;
        picture_.width = width;
        picture_.height = height;
        picture_.compression = compression;
    }
    void Call() {
        bench::ZintPng(picture_, case_.data.bytes[turn_ ^= 1], png_);
        benchmark::DoNotOptimize(png_.data());
    }
    std::size_t size() const { return png_.size(); }

private:
    const Case& case_;
    bench::ZintPicture picture_;
    std::vector<unsigned char> png_;
    int turn_ = 0;
};

// The large picture: modules of 38 pixels, so the symbol fills much of it, and a border.
void ConfigureLarge(TestQuillon& large) {
    large.put_Width(4000);
    large.put_Height(4000);
    large.put_NarrowBarWidth(1.0);
    large.put_BorderStyle(2);
}

std::size_t LargePng(TestQuillon& large) {
    VARIANT v;
    VariantInit(&v);
    if (large.get_PNGImage(&v) != S_OK) std::abort();
    const std::size_t bytes = v.parray->rgsabound[0].cElements;
    VariantClear(&v);
    return bytes;
}

int RunOnly(bool api, int which, int calls) {
    const std::vector<Case> cases = MakeCases();
    if (which < 0 || which > static_cast<int>(cases.size()) || calls < 1) return 2;
    if (which == static_cast<int>(cases.size())) {
        if (api) return 2;
        TestQuillon large;
        ConfigureLarge(large);
        for (int i = 0; i < calls; ++i) LargePng(large);
        return 0;
    }
    const Case& c = cases[static_cast<std::size_t>(which)];
    ApiSide api_side(c);
    if (api) {
        for (int i = 0; i < calls; ++i) api_side.Call();
        return 0;
    }
    DirectSide direct(c, api_side.width, api_side.height);
    for (int i = 0; i < calls; ++i) direct.Call();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The steady heap of every side: no trimming, and blocks below 32 MB from the heap.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    if (argc == 4 && (std::string(argv[1]) == "--only" || std::string(argv[1]) == "--only-api")) {
        return RunOnly(std::string(argv[1]) == "--only-api", std::atoi(argv[2]),
                       std::atoi(argv[3]));
    }
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;

    std::printf(
        "Medians of %d turns; each call takes the other of two data; the pictures as the hosts "
        "size them.\nzint + libpng: its default compression, and stored blocks (level 0) as "
        "ours; ratios: zint + libpng's time over the C API's.\n\n",
        repetitions);
    std::printf("%-18s %10s %8s %9s %9s %9s %9s %8s %8s\n", "case", "picture", "bytes", "PNGImage",
                "C API", "zint def", "zint st", "x def", "x stored");
    for (const Case& c : MakeCases()) {
        ApiSide api(c);
        DirectSide direct(c, api.width, api.height);
        ZintSide zint_default(c, api.width, api.height, -1);
        ZintSide zint_stored(c, api.width, api.height, 0);
        std::vector<std::function<void()>> sides = {[&] { direct.Call(); }, [&] { api.Call(); }};
        if (c.against_zint) {
            sides.push_back([&] { zint_default.Call(); });
            sides.push_back([&] { zint_stored.Call(); });
        }
        const std::vector<double> t = bench::MediansInTurns(sides, repetitions);
        if (direct.size != api.size) {
            std::fprintf(stderr, "quillon_bench: %s: the PNGs differ in size (%zu, %zu)\n", c.name,
                         direct.size, api.size);
            return 1;
        }
        char picture[32];
        std::snprintf(picture, sizeof picture, "%d x %d", api.width, api.height);
        std::printf("%-18s %10s %8zu %6.2f us %6.2f us", c.name, picture, api.size, t[0] * 1e6,
                    t[1] * 1e6);
        if (c.against_zint) {
            std::printf(" %6.1f us %6.1f us %7.1fx %7.1fx", t[2] * 1e6, t[3] * 1e6, t[2] / t[1],
                        t[3] / t[1]);
        }
        std::printf("\n");
    }

    TestQuillon large;
    ConfigureLarge(large);
    const std::vector<double> t = bench::MediansInTurns({[&] { LargePng(large); }}, repetitions);
    std::printf("\n%-18s %10s %17.3f ms %26.2f Gpixel/s\n", "4000 x 4000", "", t[0] * 1e3,
                4000.0 * 4000.0 / t[0] / 1e9);
    return 0;
}
