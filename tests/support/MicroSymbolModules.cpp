#include "tests/support/MicroSymbolModules.h"

#include <cstdint>

#include "component/state/MicroPdf417.h"
#include "render/RowAddressPatternTable.h"
#include "render/SymbolGeometry.h"
#include "tests/support/RequestHelpers.h"
#include "tests/support/SymbolModules.h"

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
    auto fail = [&](std::size_t r, const std::string& why) {
        reading.error = "row " + std::to_string(r) + ": " + why;
        return reading;
    };
    if (rows.empty()) return fail(0, "no rows");
    const int width = static_cast<int>(rows[0].size());
    for (int c = 1; c <= kMaxMicroColumns; ++c) {
        if (MicroRowModules(c) == width) reading.columns = c;
    }
    if (reading.columns == 0) return fail(0, std::to_string(width) + " modules wide");
    const int columns = reading.columns;
    int left = 0, centre = 0, right = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::vector<bool>& modules = rows[r];
        if (static_cast<int>(modules.size()) != width || !modules.back()) {
            return fail(r, "not a row of the first one's width with a stop bar");
        }
        const int l = NumberOf(kSideRowAddressPatterns, Bits(modules, 0, kRowAddressModules));
        const int rt = NumberOf(kSideRowAddressPatterns,
                                Bits(modules, width - kRowAddressModules - 1, kRowAddressModules));
        if (l == 0 || rt == 0) return fail(r, "no row address pattern");
        int x = kRowAddressModules, ce = 0;
        std::vector<int> values;
        for (int c = 0; c < columns; ++c) {
            if (columns >= 3 && c == columns - 2) {  // the centre pattern
                ce = NumberOf(kCentreRowAddressPatterns, Bits(modules, x, kRowAddressModules));
                x += kRowAddressModules;
            }
            values.push_back(CodewordOfPattern((l - 1) % 3, Bits(modules, x, kPatternModules)));
            x += kPatternModules;
        }
        if (columns >= 3 && ce == 0) return fail(r, "no centre row address pattern");
        if (r > 0 &&
            (l != Next(left) || rt != Next(right) || (columns >= 3 && ce != Next(centre)))) {
            return fail(r, "row address patterns out of turn");
        }
        for (const int v : values) {
            if (v < 0) return fail(r, "no codeword of the row's cluster");
        }
        if (r == 0) {
            for (int s = 0; s < kMicroPdf417SizeCount; ++s) {
                const MicroPdf417Size& size = kMicroPdf417Sizes[s];
                if (size.columns == columns && size.rows == static_cast<int>(rows.size()) &&
                    size.leftRap == l && size.centreRap == ce && size.rightRap == rt) {
                    reading.size = s;
                }
            }
            if (reading.size < 0) return fail(r, "no size starts with these patterns");
        }
        left = l, centre = ce, right = rt;
        reading.codewords.insert(reading.codewords.end(), values.begin(), values.end());
    }
    reading.rows = static_cast<int>(rows.size());
    return reading;
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
