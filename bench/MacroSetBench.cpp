// The cost of the largest Macro PDF417 sets libquillon makes: 64 KiB of data split over as
// few symbols as fit, and one symbol of such a set (what the HTTP host draws a request), which
// still cuts the whole set first. Each line: the symbols, and the processor time of a call.
//
//   macro_bench
#include <cstdio>
#include <ctime>
#include <string>

#include "quillon/quillon.h"

namespace {

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::string Bytes(std::size_t size, bool digits) {
    std::string bytes(size, '\0');
    unsigned state = 1;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = digits ? static_cast<char>('0' + (state >> 16) % 10)
                      : static_cast<char>((state >> 16) & 0xFF);
    }
    return bytes;
}

}  // namespace

int main() {
    const std::string binary = Bytes(QUILLON_MAX_MACRO_DATA_BYTES, false);
    const std::string digits = Bytes(QUILLON_MAX_MACRO_DATA_BYTES, true);
    const struct {
        const char* name;
        const std::string* data;
        const char* property;  // set to True, or nullptr
        int only;              // -1: the whole set
    } cases[] = {
        {"64 KiB bytes, whole set", &binary, nullptr, -1},
        {"64 KiB bytes, one symbol", &binary, nullptr, 0},
        {"64 KiB digits, optimized, whole set", &digits, "OptimizeCompaction", -1},
        {"64 KiB digits, AutoErrorCorrection", &digits, "AutoErrorCorrection", -1},
    };
    for (const auto& c : cases) {
        quillon_barcode* barcode = quillon_create();
        if (c.property != nullptr) quillon_set(barcode, c.property, "True");
        const double start = ThreadSeconds();
        quillon_status status = QUILLON_OK;
        int count = 0;
        if (c.only < 0) {
            quillon_png_set* set = nullptr;
            status = quillon_macro_png(barcode, c.data->data(), c.data->size(), QUILLON_DATA_BYTES,
                                       QUILLON_MACRO_AUTO, &set);
            if (set != nullptr) count = static_cast<int>(set->count);
            quillon_free_png_set(set);
        } else {
            unsigned char* png = nullptr;
            size_t size = 0;
            status = quillon_macro_segment_png(barcode, c.data->data(), c.data->size(),
                                               QUILLON_DATA_BYTES, QUILLON_MACRO_AUTO, c.only, &png,
                                               &size, &count);
            quillon_free_buffer(png);
        }
        const double seconds = ThreadSeconds() - start;
        if (status == QUILLON_OK) {
            std::printf("%-40s %3d symbols %8.1f ms\n", c.name, count, seconds * 1e3);
        } else {
            std::printf("%-40s %s (%.1f ms)\n", c.name, quillon_message(barcode), seconds * 1e3);
        }
        quillon_free(barcode);
    }
    return 0;
}
