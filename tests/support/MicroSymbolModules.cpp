#include "tests/support/MicroSymbolModules.h"

#include <algorithm>
#include <cstdint>

#include "component/state/MicroPdf417.h"
#include "render/RowAddressPatternTable.h"
#include "render/SymbolGeometry.h"
#include "tests/support/RequestHelpers.h"
#include "tests/support/SymbolModules.h"
#include "tests/support/TildeEscapes.h"

namespace {

std::uint32_t Bits(const std::vector<bool>& modules, int first, int count) {
    std::uint32_t bits = 0;
    for (int m = first; m < first + count; ++m) bits = bits << 1 | (modules[m] ? 1u : 0u);
    return bits;
}

// The number (1 to 52) of a row address pattern in its table, or 0.
int NumberOf(const std::uint16_t* table, std::uint32_t pattern) {
    for (int n = 0; n < kRowAddressPatterns; ++n) {
        if (table[n] == pattern) return n + 1;
    }
    return 0;
}

int Next(int number) {
    return number % kRowAddressPatterns + 1;
}

}  // namespace

std::vector<int> MicroReading::DataCodewords() const {
    if (!ok()) return {};
    const int data = static_cast<int>(codewords.size()) - kMicroPdf417Sizes[size].eccCodewords;
    return std::vector<int>(codewords.begin(), codewords.begin() + data);
}

MicroReading ReadMicroModules(const std::vector<std::vector<bool>>& rows) {
    MicroReading reading;
    auto fail = [&](std::size_t r, const char* why) {
        reading.error = "row " + std::to_string(r) + ": " + why;
        return reading;
    };
    const int width = rows.empty() ? 0 : static_cast<int>(rows[0].size());
    for (int c = 1; c <= kMaxMicroColumns; ++c) {
        if (MicroRowModules(c) == width) reading.columns = c;
    }
    if (reading.columns == 0) return fail(0, "no MicroPDF417 row's width");
    const int columns = reading.columns;
    int above[3] = {};  // the row above's left, centre (0: none) and right pattern numbers
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::vector<bool>& modules = rows[r];
        if (static_cast<int>(modules.size()) != width || !modules.back()) {
            return fail(r, "not a row of the first one's width with a stop bar");
        }
        int x = 0;
        auto next = [&](int count) {
            x += count;
            return Bits(modules, x - count, count);
        };
        int now[3] = {NumberOf(kSideRowAddressPatterns, next(kRowAddressModules)), 0, 0};
        if (now[0] == 0) return fail(r, "no left row address pattern");
        for (int c = 0; c < columns; ++c) {
            if (columns >= 3 && c == columns - 2) {
                now[1] = NumberOf(kCentreRowAddressPatterns, next(kRowAddressModules));
            }
            // Numbers 1, 4, 7, ... take cluster 0, then 3, then 6.
            const int value = CodewordOfPattern((now[0] - 1) % 3, next(kPatternModules));
            if (value < 0) return fail(r, "no codeword of the row's cluster");
            reading.codewords.push_back(value);
        }
        now[2] = NumberOf(kSideRowAddressPatterns, next(kRowAddressModules));
        if (now[2] == 0 || (columns >= 3) != (now[1] != 0)) return fail(r, "no row address");
        if (r > 0 && (now[0] != Next(above[0]) || now[2] != Next(above[2]) ||
                      now[1] != (columns >= 3 ? Next(above[1]) : 0))) {
            return fail(r, "row address patterns out of turn");
        }
        std::copy(now, now + 3, above);
        for (int s = 0; r == 0 && s < kMicroPdf417SizeCount; ++s) {
            const MicroPdf417Size& size = kMicroPdf417Sizes[s];
            if (size.columns == columns && size.rows == static_cast<int>(rows.size()) &&
                size.leftRap == now[0] && size.centreRap == now[1] && size.rightRap == now[2]) {
                reading.size = s;
            }
        }
        if (reading.size < 0) return fail(r, "no size starts with these patterns");
    }
    reading.rows = static_cast<int>(rows.size());
    return reading;
}

void PutMicroData(CQuillon& q, const std::string& bytes) {
    const std::string text = TildeEscaped(bytes, true);
    PutData(q, std::u16string(text.begin(), text.end()));
    q.put_HandleTilde(VARIANT_TRUE);
    q.Symbology = kSymbologyMicroPdf417;
}

std::vector<std::vector<bool>> DrawnModules(CQuillon& q) {
    q.put_NarrowBarWidth(2.54f / 96);  // 1 pixel on the 96-dpi screen
    q.put_Y2XRatio(1.0f);
    q.put_Orientation(0);
    q.put_BackColor(0xFFFFFF);
    q.put_BarColor(0);
    VARIANT width, height, picture;
    VariantInit(&width);
    VariantInit(&height);
    VariantInit(&picture);
    if (q.GetActualSize(&width, &height) != S_OK) return {};
    q.put_Width(static_cast<SHORT>(width.lVal));
    q.put_Height(static_cast<SHORT>(height.lVal));
    if (q.get_PNGImage(&picture) != S_OK) return {};
    const std::vector<std::uint8_t> file = BytesOf(picture);
    VariantClear(&picture);
    return ModulesOfPicture(ReadPng(file.data(), file.size()), 1, 1);
}
