// libquillon's own cost: a call of its C API against the component called directly, for the
// data sets (a), (b) and (c) of quillon_bench. Each call sets Data and makes the PNG, on both
// sides, in a picture of the same size (2-pixel modules, Width and Height set to the symbol's):
// the API adds the runtime's calls by name, the Automation conversions, the session's
// measuring for its clipping warning and the copies of the file.
//
//   library_bench [REPETITIONS]      (default 31)
//
// The two sides take turns, a batch each, REPETITIONS times; each side's median batch is
// reported per call, in processor time of the thread, with the difference.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "quillon/quillon.h"
#include "tests/support/TestQuillon.h"

namespace {

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Case {
    const char* name;
    std::string bytes;
    int mode;
    int calls;  // a batch
};

std::vector<Case> Cases() {
    std::string ascii, mixed;
    for (int i = 0; i < 100; ++i) ascii += static_cast<char>(' ' + (i * 7) % 95);
    unsigned state = 1;
    while (mixed.size() < 1000) {  // runs of digits, letters and bytes, as quillon_bench's
        state = state * 1103515245u + 12345u;
        const int kind = static_cast<int>((state >> 16) % 3);
        for (int i = 0; i < 12 && mixed.size() < 1000; ++i) {
            state = state * 1103515245u + 12345u;
            mixed += kind == 0   ? static_cast<char>('0' + (state >> 16) % 10)
                     : kind == 1 ? static_cast<char>('a' + (state >> 16) % 26)
                                 : static_cast<char>((state >> 16) & 0xFF);
        }
    }
    return {{"(a) \"12\"", "12", 0, 400},
            {"(b) 100 ASCII", ascii, 1, 100},
            {"(c) 1000 mixed", mixed, 2, 20}};
}

// The data as the component's Data text: every byte outside printable ASCII, and '~', as a
// tilde escape.
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

constexpr double kModuleCm = 2 * 2.54 / 96;  // 2 pixels

class Direct {
public:
    explicit Direct(const Case& c) : data_(Escaped(c.bytes)) {
        q_.put_HandleTilde(VARIANT_TRUE);
        q_.put_Mode(static_cast<SHORT>(c.mode));
        q_.put_NarrowBarWidth(kModuleCm);
        Call();
        VARIANT w, h;
        VariantInit(&w);
        VariantInit(&h);
        if (q_.GetActualSize(&w, &h) != S_OK) std::abort();
        width = w.lVal;
        height = h.lVal;
        q_.put_Width(static_cast<SHORT>(width));
        q_.put_Height(static_cast<SHORT>(height));
    }
    std::size_t Call() {
        BSTR data = SysAllocStringLen(data_.data(), static_cast<UINT>(data_.size()));
        q_.put_Data(data);
        SysFreeString(data);
        VARIANT v;
        VariantInit(&v);
        if (q_.get_PNGImage(&v) != S_OK) std::abort();
        const std::size_t size = v.parray->rgsabound[0].cElements;
        VariantClear(&v);
        return size;
    }
    int width = 0, height = 0;

private:
    TestQuillon q_;
    std::u16string data_;
};

class Api {
public:
    Api(const Case& c, int width, int height) : bytes_(c.bytes), buffer_(64 << 20) {
        quillon_set_int(b_, "Mode", c.mode);
        quillon_set_double(b_, "NarrowBarWidth", kModuleCm);
        quillon_set_int(b_, "Width", width);
        quillon_set_int(b_, "Height", height);
    }
    ~Api() { quillon_free(b_); }
    std::size_t Call() {
        std::size_t size = 0;
        if (quillon_set_data(b_, bytes_.data(), bytes_.size(), QUILLON_DATA_BYTES) != QUILLON_OK ||
            quillon_png_into(b_, buffer_.data(), buffer_.size(), &size) != QUILLON_OK) {
            std::fprintf(stderr, "library_bench: %s\n", quillon_message(b_));
            std::abort();
        }
        return size;
    }

private:
    quillon_barcode* b_ = quillon_create();
    std::string bytes_;
    std::vector<unsigned char> buffer_;
};

template <typename Side>
double BatchSeconds(Side& side, int calls, std::size_t* size) {
    const double start = ThreadSeconds();
    for (int i = 0; i < calls; ++i) *size = side.Call();
    return (ThreadSeconds() - start) / calls;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;
    std::printf("%-16s %12s %12s %12s %8s\n", "case", "direct us", "C API us", "API cost us",
                "cost %");
    for (const Case& c : Cases()) {
        Direct direct(c);
        Api api(c, direct.width, direct.height);
        std::size_t direct_size = 0, api_size = 0;
        std::vector<double> direct_times, api_times;
        for (int r = 0; r < repetitions; ++r) {
            direct_times.push_back(BatchSeconds(direct, c.calls, &direct_size));
            api_times.push_back(BatchSeconds(api, c.calls, &api_size));
        }
        if (direct_size != api_size) {
            std::fprintf(stderr, "library_bench: %s: the PNGs differ in size (%zu, %zu)\n", c.name,
                         direct_size, api_size);
            return 1;
        }
        const double d = Median(direct_times) * 1e6, a = Median(api_times) * 1e6;
        std::printf("%-16s %12.2f %12.2f %12.2f %7.1f%%\n", c.name, d, a, a - d, 100 * (a - d) / d);
    }
    return 0;
}
