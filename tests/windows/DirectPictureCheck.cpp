// The picture the component draws straight from the symbol's rows, against the one that
// Windows' own drawing calls paint and read back (under Wine, its GDI): random settings on two
// objects, one made to paint on a device, must give the same PNG bytes, or fail alike.
//
//   direct_picture_check [CASES]      (default 1500)
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "tests/support/TestQuillon.h"

namespace {

struct Request {
    HRESULT hr;
    std::string png;
};

Request Png(TestQuillon& q) {
    VARIANT v;
    VariantInit(&v);
    Request r{q.get_PNGImage(&v), {}};
    if (r.hr == S_OK) {
        r.png.assign(static_cast<const char*>(v.parray->pvData), v.parray->rgsabound[0].cElements);
    }
    VariantClear(&v);
    return r;
}

// Puts the same random settings on both objects; what they were, for a report.
std::string PutRandomSettings(std::mt19937& random, TestQuillon& a, TestQuillon& b) {
    const auto pick = [&](std::initializer_list<double> values) {
        return values.begin()[random() % values.size()];
    };
    std::basic_string<OLECHAR> data;
    static const char* kPieces[] = {"12", "Hello", "~d200", "0123456789", "aZ", " ", "~", "\xE9"};
    for (int i = static_cast<int>(random() % 60); i > 0; --i) {
        for (const char* c = kPieces[random() % 8]; *c != 0; ++c) {
            data += static_cast<OLECHAR>(static_cast<unsigned char>(*c));
        }
    }
    const int mode = static_cast<int>(random() % 3), level = static_cast<int>(random() % 9);
    const int columns = static_cast<int>(pick({1, 2, 3, 5, 12})), orientation = random() % 4;
    const int border = random() % 3, width = static_cast<int>(pick({1, 9, 120, 301, 640}));
    const int height = static_cast<int>(pick({1, 7, 64, 200, 480}));
    const bool truncate = random() % 4 == 0, tilde = random() % 3 == 0;
    const double ratio = pick({0.3, 1, 2.5, 3, 5}), module = pick({0.01, 0.03, 0.07, 0.15, 0.5});
    const auto colour = [&] {
        return static_cast<LONG>(random() % 3 == 0 ? pick({0, 0xFFFFFF}) : random() & 0xFFFFFF);
    };
    const LONG back = colour(), bar = colour();
    for (TestQuillon* q : {&a, &b}) {
        BSTR text = SysAllocStringLen(data.data(), static_cast<UINT>(data.size()));
        q->put_Data(text);
        SysFreeString(text);
        q->put_Mode(static_cast<SHORT>(mode));
        q->put_ErrorCorrectionLevel(static_cast<SHORT>(level));
        q->put_Columns(static_cast<SHORT>(columns));
        q->put_Orientation(static_cast<SHORT>(orientation));
        q->put_BorderStyle(static_cast<SHORT>(border));
        q->put_Width(static_cast<SHORT>(width));
        q->put_Height(static_cast<SHORT>(height));
        q->put_TruncateSymbol(truncate ? VARIANT_TRUE : VARIANT_FALSE);
        q->put_HandleTilde(tilde ? VARIANT_TRUE : VARIANT_FALSE);
        q->put_Y2XRatio(static_cast<FLOAT>(ratio));
        q->put_NarrowBarWidth(module);
        q->put_BackColor(back);
        q->put_BarColor(bar);
    }
    char settings[256];
    std::snprintf(settings, sizeof settings,
                  "Mode=%d ErrorCorrectionLevel=%d Columns=%d Orientation=%d BorderStyle=%d "
                  "Width=%d Height=%d TruncateSymbol=%d HandleTilde=%d Y2XRatio=%g "
                  "NarrowBarWidth=%g BackColor=%ld BarColor=%ld (Data of %zu characters)",
                  mode, level, columns, orientation, border, width, height, truncate, tilde, ratio,
                  module, static_cast<long>(back), static_cast<long>(bar), data.size());
    return settings;
}

}  // namespace

int main(int argc, char** argv) {
    const int cases = argc > 1 ? std::atoi(argv[1]) : 1500;
    std::mt19937 random(2026);
    int pictures = 0, different = 0;
    for (int i = 0; i < cases; ++i) {
        const auto direct = std::make_unique<TestQuillon>();
        const auto device = std::make_unique<TestQuillon>();
        device->DrawOnDevice = TRUE;
        const std::string settings = PutRandomSettings(random, *direct, *device);
        const Request a = Png(*direct), b = Png(*device);
        pictures += a.hr == S_OK ? 1 : 0;
        if (a.hr != b.hr || a.png != b.png) {
            if (++different <= 10) {
                std::printf("differ (0x%08lX, 0x%08lX; %zu, %zu bytes): %s\n",
                            static_cast<unsigned long>(a.hr), static_cast<unsigned long>(b.hr),
                            a.png.size(), b.png.size(), settings.c_str());
            }
        }
    }
    std::printf("%d settings, %d pictures, %d differ\n", cases, pictures, different);
    return different == 0 && pictures > cases / 2 ? 0 : 1;
}
