// PNGImage against zint + libpng: for each case both make a PNG file of the same picture size
// for the same data (zint draws the symbol at 2 pixels a module and libpng writes it, centred
// in a picture of PNGImage's size, as a palette image), and PNGImage alone for a 4000 × 4000
// picture. Prints the median time of each and how many times faster PNGImage is.
//
//   quillon_bench [REPETITIONS]      (default 31)
//   quillon_bench --only CASE CALLS  (CASE 0..5 as listed, 6 for 4000 × 4000)
//
// The second form runs PNGImage alone CALLS times and prints nothing: the work to count
// under `valgrind --tool=callgrind`, whose instruction counts compare two builds where the
// shared machine's times cannot.
//
// The machine is shared and noisy, so the two sides take turns: a batch of PNGImage calls,
// then a batch of the peer's, REPETITIONS times, and each side's median batch is reported,
// timed in processor time of the thread.
// Both run on the same steady heap: glibc would otherwise trim the heap after a large free and
// fault it back in on the next call, which costs the peer (whose buffers are freed every
// time) far more than the work itself.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <png.h>
#include <zint.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TestQuillon.h"

namespace {

// The component called directly, as the server's objects call it, without the server.
using BenchQuillon = TestQuillon;

std::vector<unsigned char> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::vector<unsigned char> Ascii100() {
    const std::string sentence = "The quick brown fox jumps over the lazy dog, 0123456789! ";
    std::vector<unsigned char> ascii;
    for (int i = 0; i < 100; ++i)
        ascii.push_back(static_cast<unsigned char>(sentence[i % sentence.size()]));
    return ascii;
}

// Runs of text and runs of arbitrary bytes, 1000 in all.
std::vector<unsigned char> Mixed1000() {
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
    return mixed;
}

struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
    int mode = 0;
    int orientation = 0;
    COLORREF back = 0xFFFFFF;  // 0x00BBGGRR
    COLORREF bar = 0x000000;
};

std::vector<Case> MakeCases() {
    constexpr COLORREF kSilver = 0xC0C0C0;
    constexpr COLORREF kMaroon = 0x000080;
    return {
        {"(a) \"12\"", Bytes("12"), 0},
        {"(b) 100 ASCII", Ascii100(), 1},
        {"(c) 1000 mixed", Mixed1000(), 2},
        {"(b) coloured", Ascii100(), 1, 0, kSilver, kMaroon},
        {"(b) Orientation 1", Ascii100(), 1, 1},
        {"(b) Orientation 3", Ascii100(), 1, 3},
    };
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

// An object set up for the case with 2-pixel modules, its picture as large as the symbol.
Configured Configure(const Case& c) {
    Configured out;
    BenchQuillon& q = *out.q;
    const std::u16string text = Escaped(c.bytes);
    BSTR data = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    q.put_Data(data);
    SysFreeString(data);
    q.put_HandleTilde(VARIANT_TRUE);
    q.put_Mode(static_cast<SHORT>(c.mode));
    q.put_NarrowBarWidth(2 * 2.54 / 96);
    q.put_Orientation(static_cast<SHORT>(c.orientation));
    q.put_BackColor(static_cast<LONG>(c.back));
    q.put_BarColor(static_cast<LONG>(c.bar));
    VARIANT w, h;
    VariantInit(&w);
    VariantInit(&h);
    if (q.GetActualSize(&w, &h) != S_OK) std::abort();
    const bool upright = c.orientation == 0 || c.orientation == 2;
    out.width = upright ? w.lVal : h.lVal;
    out.height = upright ? h.lVal : w.lVal;
    out.columns = q.Columns;
    q.put_Width(static_cast<SHORT>(out.width));
    q.put_Height(static_cast<SHORT>(out.height));
    return out;
}

std::size_t PngImage(BenchQuillon& q) {
    VARIANT v;
    VariantInit(&v);
    if (q.get_PNGImage(&v) != S_OK) std::abort();
    const std::size_t bytes = v.parray->rgsabound[0].cElements;
    VariantClear(&v);
    return bytes;
}

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void NoFlush(png_structp) {}

void ZintColour(COLORREF c, char* out) {
    std::snprintf(out, 7, "%02X%02X%02X", static_cast<unsigned>(c & 0xFF),
                  static_cast<unsigned>((c >> 8) & 0xFF), static_cast<unsigned>((c >> 16) & 0xFF));
}

// zint's raster of the symbol, centred in a width × height picture of the background colour,
// written by libpng as a two-colour palette image into memory. Kept out of line: inlined into
// the timing lambda, the same code ran some 18 % slower in one build than in another (the
// per-pixel loop is sensitive to where it lands), which would have flattered our ratio.
[[gnu::noinline]] void ZintPng(const Case& c, int columns, int width, int height,
                               std::vector<unsigned char>& out) {
    zint_symbol* symbol = ZBarcode_Create();
    symbol->symbology = BARCODE_PDF417;
    symbol->option_1 = 2;  // error-correction level, as ours
    symbol->option_2 = columns;
    symbol->input_mode = DATA_MODE;
    symbol->scale = 1.0f;  // 2 pixels a module
    ZintColour(c.bar, symbol->fgcolour);
    ZintColour(c.back, symbol->bgcolour);
    // Our orientations turn counter-clockwise, zint's clockwise.
    const int rotation = (360 - 90 * c.orientation) % 360;
    if (ZBarcode_Encode_and_Buffer(symbol, c.bytes.data(), static_cast<int>(c.bytes.size()),
                                   rotation) >= ZINT_ERROR) {
        std::fprintf(stderr, "zint: %s\n", symbol->errtxt);
        std::abort();
    }
    out.clear();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, AppendToVector, NoFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 1,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color palette[2] = {
        {static_cast<png_byte>(c.back & 0xFF), static_cast<png_byte>((c.back >> 8) & 0xFF),
         static_cast<png_byte>((c.back >> 16) & 0xFF)},
        {static_cast<png_byte>(c.bar & 0xFF), static_cast<png_byte>((c.bar >> 8) & 0xFF),
         static_cast<png_byte>((c.bar >> 16) & 0xFF)}};
    png_set_PLTE(png, info, palette, 2);
    png_write_info(png, info);

    const int left = (width - symbol->bitmap_width) / 2;
    const int top = (height - symbol->bitmap_height) / 2;
    const unsigned char background_red = static_cast<unsigned char>(c.back & 0xFF);
    std::vector<unsigned char> row(static_cast<std::size_t>(width + 7) / 8);
    for (int y = 0; y < height; ++y) {
        std::fill(row.begin(), row.end(), 0);
        const int sy = y - top;
        if (sy >= 0 && sy < symbol->bitmap_height) {
            const unsigned char* rgb =
                symbol->bitmap +
                3 * static_cast<std::size_t>(sy) * static_cast<std::size_t>(symbol->bitmap_width);
            for (int x = 0; x < width; ++x) {
                const int sx = x - left;
                if (sx < 0 || sx >= symbol->bitmap_width) continue;
                const unsigned char* pixel = rgb + 3 * sx;
                const bool bar = pixel[0] != background_red ||
                                 pixel[1] != static_cast<unsigned char>((c.back >> 8) & 0xFF) ||
                                 pixel[2] != static_cast<unsigned char>((c.back >> 16) & 0xFF);
                if (bar) row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    ZBarcode_Delete(symbol);
}

// The processor time of this thread: the time other processes take the processor away is not
// counted, which wall-clock time on a shared machine would.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Seconds per call of `work` over a batch of `calls`.
double TimeBatch(const std::function<void()>& work, int calls) {
    const double start = ThreadSeconds();
    for (int i = 0; i < calls; ++i) work();
    return (ThreadSeconds() - start) / calls;
}

// Enough calls for a batch of about 5 ms, so that the clock's resolution does not count.
int CallsPerBatch(const std::function<void()>& work) {
    work();  // warm: first touch of the heap, the tables, the caches
    const double once = TimeBatch(work, 3);
    return std::max(1, static_cast<int>(5e-3 / std::max(once, 1e-9)));
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Medians of the two sides, timed in turns.
std::pair<double, double> MedianInTurns(const std::function<void()>& ours,
                                        const std::function<void()>& peer, int repetitions) {
    const int our_calls = CallsPerBatch(ours);
    const int peer_calls = CallsPerBatch(peer);
    std::vector<double> our_times, peer_times;
    for (int r = 0; r < repetitions; ++r) {
        our_times.push_back(TimeBatch(ours, our_calls));
        peer_times.push_back(TimeBatch(peer, peer_calls));
    }
    return {Median(our_times), Median(peer_times)};
}

// The large picture: modules of 38 pixels, so the symbol fills much of it, and a border.
void ConfigureLarge(BenchQuillon& large) {
    large.put_Width(4000);
    large.put_Height(4000);
    large.put_NarrowBarWidth(1.0);
    large.put_BorderStyle(2);
}

int RunOnly(int which, int calls) {
    const std::vector<Case> cases = MakeCases();
    if (which < 0 || which > static_cast<int>(cases.size()) || calls < 1) return 2;
    if (which == static_cast<int>(cases.size())) {
        BenchQuillon large;
        ConfigureLarge(large);
        for (int i = 0; i < calls; ++i) PngImage(large);
        return 0;
    }
    Configured configured = Configure(cases[static_cast<std::size_t>(which)]);
    for (int i = 0; i < calls; ++i) PngImage(*configured.q);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The steady heap of both sides: no trimming, and blocks below 32 MB from the heap.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    if (argc == 4 && std::string(argv[1]) == "--only") {
        return RunOnly(std::atoi(argv[2]), std::atoi(argv[3]));
    }
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;

    std::printf("Medians of %d turns; zint + libpng writes the same picture size.\n\n",
                repetitions);
    std::printf("%-20s %11s %10s %10s %14s %8s\n", "case", "picture", "PNG bytes", "PNGImage",
                "zint + libpng", "ratio");
    for (const Case& c : MakeCases()) {
        Configured configured = Configure(c);
        std::size_t png_bytes = 0;
        std::vector<unsigned char> peer_png;
        const auto ours = [&] { png_bytes = PngImage(*configured.q); };
        const auto peer = [&] {
            ZintPng(c, configured.columns, configured.width, configured.height, peer_png);
            benchmark::DoNotOptimize(peer_png.data());
        };
        const auto [our_time, peer_time] = MedianInTurns(ours, peer, repetitions);
        char picture[32];
        std::snprintf(picture, sizeof picture, "%d x %d", configured.width, configured.height);
        std::printf("%-20s %11s %10zu %8.1f us %11.1f us %7.1fx\n", c.name, picture, png_bytes,
                    our_time * 1e6, peer_time * 1e6, peer_time / our_time);
    }

    BenchQuillon large;
    ConfigureLarge(large);
    const auto work = [&] { PngImage(large); };
    const int calls = CallsPerBatch(work);
    std::vector<double> times;
    for (int r = 0; r < repetitions; ++r) times.push_back(TimeBatch(work, calls));
    const double large_time = Median(times);
    std::printf("\n%-20s %11s %21.3f ms %19.2f Gpixel/s\n", "4000 x 4000", "", large_time * 1e3,
                4000.0 * 4000.0 / large_time / 1e9);
    return 0;
}
