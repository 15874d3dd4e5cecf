// libquillon's own cost: a call of its C API against the component called directly, for the
// data sets (a), (b) and (c) (BenchCases.h). Each call puts Data, taking the other of the
// set's two data in turn, and makes the PNG. The API side leaves Width and Height to the
// library, as the hosts do: it measures the symbol, sizes the picture, draws it and warns if
// it cuts the symbol off; the direct side draws a picture of the same size with them set. So
// the difference is what the API adds: the runtime's calls by name, the Automation
// conversions, the session's measuring, and the copy of the file into the caller's buffer.
//
//   library_bench [REPETITIONS]      (default 31)
//
// The two sides take turns, a batch each, REPETITIONS times; each side's median batch is
// reported per call, in processor time of the thread, with the difference.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchCases.h"
#include "quillon/quillon.h"
#include "tests/support/TestQuillon.h"

namespace {

class Api {
public:
    explicit Api(const bench::DataSet& set) : set_(set), buffer_(64 << 20) {
        quillon_set_int(b_, "Mode", set.mode);
        quillon_set_double(b_, "NarrowBarWidth", bench::kTwoPixelModuleCm);
    }
    ~Api() { quillon_free(b_); }
    std::size_t Call() {
        const std::string& bytes = set_.bytes[turn_ ^= 1];
        std::size_t size = 0;
        if (quillon_set_data(b_, bytes.data(), bytes.size(), QUILLON_DATA_BYTES) != QUILLON_OK ||
            quillon_png_into(b_, buffer_.data(), buffer_.size(), &size) != QUILLON_OK) {
            std::fprintf(stderr, "library_bench: %s\n", quillon_message(b_));
            std::abort();
        }
        return size;
    }
    // The size of the picture the library chose, from the PNG's header.
    int Side(int at) const {
        return buffer_[at] << 24 | buffer_[at + 1] << 16 | buffer_[at + 2] << 8 | buffer_[at + 3];
    }

private:
    const bench::DataSet& set_;
    quillon_barcode* b_ = quillon_create();
    std::vector<unsigned char> buffer_;
    int turn_ = 0;
};

class Direct {
public:
    Direct(const bench::DataSet& set, int width, int height) {
        const bench::CarriedData carried(set);
        for (int i = 0; i < 2; ++i) {
            data_[i] = SysAllocStringLen(carried.text[i].data(),
                                         static_cast<UINT>(carried.text[i].size()));
        }
        q_->put_HandleTilde(carried.escapes ? VARIANT_TRUE : VARIANT_FALSE);
        q_->put_Mode(static_cast<SHORT>(set.mode));
        q_->put_NarrowBarWidth(bench::kTwoPixelModuleCm);
        q_->put_Width(static_cast<SHORT>(width));
        q_->put_Height(static_cast<SHORT>(height));
    }
    ~Direct() {
        for (BSTR d : data_) SysFreeString(d);
    }
    std::size_t Call() {
        q_->put_Data(data_[turn_ ^= 1]);
        VARIANT v;
        VariantInit(&v);
        if (q_->get_PNGImage(&v) != S_OK) std::abort();
        const std::size_t size = v.parray->rgsabound[0].cElements;
        VariantClear(&v);
        return size;
    }

private:
    std::unique_ptr<TestQuillon> q_ = std::make_unique<TestQuillon>();
    BSTR data_[2] = {};
    int turn_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;
    std::printf("%-16s %12s %12s %12s %8s\n", "case", "direct us", "C API us", "API cost us",
                "cost %");
    for (const bench::DataSet& set : bench::DataSets()) {
        Api api(set);
        std::size_t api_size = api.Call(), direct_size = 0;
        Direct direct(set, api.Side(16), api.Side(20));
        const std::vector<double> t = bench::MediansInTurns(
            {[&] { direct_size = direct.Call(); }, [&] { api_size = api.Call(); }}, repetitions);
        if (direct_size != api_size) {
            std::fprintf(stderr, "library_bench: %s: the PNGs differ in size (%zu, %zu)\n",
                         set.name, direct_size, api_size);
            return 1;
        }
        const double d = t[0] * 1e6, a = t[1] * 1e6;
        std::printf("%-16s %12.2f %12.2f %12.2f %7.1f%%\n", set.name, d, a, a - d,
                    100 * (a - d) / d);
    }
    return 0;
}
