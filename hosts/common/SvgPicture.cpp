#include "hosts/common/SvgPicture.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace {

struct Run {
    int x;
    int width;
    std::uint8_t colour;
    bool operator==(const Run&) const = default;
};

std::string Hex(std::uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(rgb & 0xFFFFFF));
    return text;
}

std::uint8_t MostFrequentColour(const PalettePixels& pixels) {
    std::size_t count[256] = {};
    for (const std::uint8_t i : pixels.index) ++count[i];
    return static_cast<std::uint8_t>(std::max_element(count, count + 256) - count);
}

std::vector<Run> RunsOfRow(const PalettePixels& pixels, int y, std::uint8_t background) {
    std::vector<Run> runs;
    for (int x = 0; x < pixels.width;) {
        const std::uint8_t colour = pixels.At(x, y);
        int end = x + 1;
        while (end < pixels.width && pixels.At(end, y) == colour) ++end;
        if (colour != background) runs.push_back({x, end - x, colour});
        x = end;
    }
    return runs;
}

}  // namespace

std::string SvgPicture(const PalettePixels& pixels) {
    const std::uint8_t background = MostFrequentColour(pixels);
    std::map<std::uint8_t, std::string> paths;  // path data by colour
    auto draw = [&paths](const std::vector<Run>& runs, int top, int rows) {
        for (const Run& run : runs) {
            paths[run.colour] += "M" + std::to_string(run.x) + " " + std::to_string(top) + "h" +
                                 std::to_string(run.width) + "v" + std::to_string(rows) + "h-" +
                                 std::to_string(run.width) + "z";
        }
    };
    std::vector<Run> runs;
    int top = 0;
    for (int y = 0; y < pixels.height; ++y) {
        std::vector<Run> row = RunsOfRow(pixels, y, background);
        if (y > 0 && row != runs) {
            draw(runs, top, y - top);
            top = y;
        }
        runs = std::move(row);
    }
    draw(runs, top, pixels.height - top);

    const std::string w = std::to_string(pixels.width);
    const std::string h = std::to_string(pixels.height);
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" +
                      h + "\" viewBox=\"0 0 " + w + " " + h +
                      "\" shape-rendering=\"crispEdges\">\n<rect width=\"" + w + "\" height=\"" +
                      h + "\" fill=\"" + Hex(pixels.palette[background]) + "\"/>\n";
    for (const auto& [colour, data] : paths) {
        svg += "<path fill=\"" + Hex(pixels.palette[colour]) + "\" d=\"" + data + "\"/>\n";
    }
    return svg + "</svg>\n";
}

bool SvgFromPng(std::string_view png, std::string* svg, std::string* error) {
    PalettePixels pixels;
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(png.data()), png.size());
    if (!ReadPalettePixels(bytes, &pixels, error)) return false;
    *svg = SvgPicture(pixels);
    return true;
}
