#include "library/session/SvgPicture.h"

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

// The entry nearest to `rgb` by squared red, green and blue distance, the first of equals: the
// colour a fill of `rgb` became when the picture was matched to its palette, unless two
// colours of the picture lie exactly as near, and then one of them.
std::uint8_t NearestEntry(const std::vector<std::uint32_t>& palette, std::uint32_t rgb) {
    const auto distance = [rgb](std::uint32_t entry) {
        long total = 0;
        for (const int shift : {16, 8, 0}) {
            const long d = static_cast<long>((entry >> shift) & 0xFF) - ((rgb >> shift) & 0xFF);
            total += d * d;
        }
        return total;
    };
    std::size_t best = 0;
    for (std::size_t i = 1; i < palette.size(); ++i) {
        if (distance(palette[i]) < distance(palette[best])) best = i;
    }
    return static_cast<std::uint8_t>(best);
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

std::string SvgPicture(const PalettePixels& pixels, std::uint32_t background_rgb) {
    const std::uint8_t background = NearestEntry(pixels.palette, background_rgb);
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

bool SvgFromPng(std::string_view png, std::uint32_t background, std::string* svg,
                std::string* error) {
    PalettePixels pixels;
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(png.data()), png.size());
    if (!ReadPalettePixels(bytes, &pixels, error)) return false;
    *svg = SvgPicture(pixels, background);
    return true;
}
