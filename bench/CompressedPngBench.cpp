// Compressed PNGs (quillon_set_compression(b, 1)) against zint + libpng at its default
// compression, for the data sets of quillon_bench (bench/BenchCases.h). Our side is the C API
// with the hosts' sizing (Width and Height unset: the symbol and its quiet zone) and 2-pixel
// modules; zint draws the same data with the same columns, centred in a picture of our size
// (bench/ZintPng.h). Every timed call first sets Data to the other of the data set's two
// strings, so that nothing kept from the last call answers it.
//
//   compressed_png_bench [REPETITIONS]      (default 31)
//   compressed_png_bench --only CASE CALLS  (CASE 0..2: our compressed PNGs alone)
//
// Per case: both files' bytes (of the first string), the median time of each side and the
// ratio; then the stored PNG's time through the same calls, and the compressor alone on the
// stored files. For the compressor's instructions, which do not wander as times do, run the
// second form under `valgrind --tool=callgrind --toggle-collect='CompactPng*'`.
#include <malloc.h>
#include <zint.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchCases.h"
#include "bench/ZintPng.h"
#include "library/compact/CompactPng.h"
#include "quillon/quillon.h"

namespace {

// libquillon with the hosts' sizing, Data in turn.
class Ours {
public:
    Ours(const bench::DataSet& set, int compression, bool optimize = false)
        : set_(set), buffer_(16 << 20) {
        quillon_set_int(b_, "Mode", set.mode);
        if (optimize) quillon_set(b_, "OptimizeCompaction", "True");
        quillon_set_double(b_, "NarrowBarWidth", bench::kTwoPixelModuleCm);
        quillon_set_compression(b_, compression);
    }
    ~Ours() { quillon_free(b_); }
    Ours(const Ours&) = delete;
    Ours& operator=(const Ours&) = delete;

    std::size_t Call() { return CallWith(turn_ ^= 1); }
    // The file of bytes[which].
    std::string File(int which) {
        const std::size_t size = CallWith(which);
        return {reinterpret_cast<const char*>(buffer_.data()), size};
    }
    int Columns() {
        quillon_measurement m{};
        quillon_measure(b_, &m);
        return m.columns;
    }

private:
    std::size_t CallWith(int which) {
        const std::string& data = set_.bytes[which];
        std::size_t size = 0;
        if (quillon_set_data(b_, data.data(), data.size(), QUILLON_DATA_BYTES) != QUILLON_OK ||
            quillon_png_into(b_, buffer_.data(), buffer_.size(), &size) != QUILLON_OK) {
            std::fprintf(stderr, "compressed_png_bench: %s\n", quillon_message(b_));
            std::abort();
        }
        return size;
    }

    const bench::DataSet& set_;
    quillon_barcode* b_ = quillon_create();
    std::vector<unsigned char> buffer_;
    int turn_ = 0;
};

std::uint32_t BigEndian(const std::string& s, std::size_t at) {
    return (std::uint32_t{static_cast<unsigned char>(s[at])} << 24) |
           (std::uint32_t{static_cast<unsigned char>(s[at + 1])} << 16) |
           (std::uint32_t{static_cast<unsigned char>(s[at + 2])} << 8) |
           static_cast<unsigned char>(s[at + 3]);
}

// One line: our compressed PNG of the data set against zint's, both timed in turns with the
// stored PNG and the compressor alone.
void Row(const bench::DataSet& set, bool optimize, int repetitions) {
    Ours ours(set, 1, optimize), stored(set, 0, optimize);
    const std::string file = ours.File(0);
    const std::string stored_files[2] = {stored.File(0), stored.File(1)};
    bench::ZintPicture picture{BARCODE_PDF417};
    picture.option_2 = ours.Columns();
    picture.width = static_cast<int>(BigEndian(file, 16));
    picture.height = static_cast<int>(BigEndian(file, 20));
    std::vector<unsigned char> zint_png;
    bench::ZintPng(picture, set.bytes[0], zint_png);
    const std::size_t zint_bytes = zint_png.size();
    int zint_turn = 0, alone_turn = 0;
    std::string copy;
    const std::vector<double> medians = bench::MediansInTurns(
        {[&] { ours.Call(); },
         [&] { bench::ZintPng(picture, set.bytes[zint_turn ^= 1], zint_png); },
         [&] { stored.Call(); },
         [&] {
             copy = stored_files[alone_turn ^= 1];
             CompactPng(&copy);
         }},
        repetitions);
    // "(b, optimized) 100 ASCII": a label of its own, which the plain one's does not match.
    std::string label = set.name;
    if (optimize) label.insert(2, ", optimized");
    std::printf("%-28s %9zu %10zu %9.2f %9.2f %6.2fx   %9.2f %13.2f\n", label.c_str(), file.size(),
                zint_bytes, medians[0] * 1e6, medians[1] * 1e6, medians[1] / medians[0],
                medians[2] * 1e6, medians[3] * 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    // The steady heap of both sides, as quillon_bench's.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    const std::vector<bench::DataSet> sets = bench::DataSets();
    if (argc == 4 && std::string(argv[1]) == "--only") {
        const int which = std::atoi(argv[2]), calls = std::atoi(argv[3]);
        if (which < 0 || which >= static_cast<int>(sets.size()) || calls < 1) return 2;
        Ours ours(sets[static_cast<std::size_t>(which)], 1);
        for (int i = 0; i < calls; ++i) ours.Call();
        return 0;
    }
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;
    std::printf(
        "Medians of %d turns, processor time of the thread; zint + libpng (its default "
        "compression) writes a picture of our size.\n\n",
        repetitions);
    std::printf("%-28s %9s %10s %9s %9s %7s   %9s %13s\n", "case", "our bytes", "zint bytes",
                "ours us", "zint us", "ratio", "stored us", "compressor us");
    // The data sets as the benchmarks give them, then with OptimizeCompaction=True, whose
    // symbols have about as many codewords as zint's.
    for (const bool optimize : {false, true}) {
        for (const bench::DataSet& set : sets) {
            Row(set, optimize, repetitions);
        }
    }
    return 0;
}
