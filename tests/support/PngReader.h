// Reads a PNG file from memory with libpng, as any standard decoder would: the header
// fields, the palette, and the pixels expanded to red, green, blue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DecodedPng {
    bool ok = false;
    std::string error;  // libpng's message when not ok
    int width = 0;
    int height = 0;
    int bit_depth = 0;
    int color_type = -1;
    int interlace = -1;
    std::vector<std::uint8_t> palette;  // red, green, blue per entry
    std::vector<std::uint8_t> rgb;      // 3 bytes a pixel, top row first

    std::uint32_t Pixel(int x, int y) const {  // 0xRRGGBB
        const std::size_t i = 3 * (static_cast<std::size_t>(y) * width + x);
        return (std::uint32_t{rgb[i]} << 16) | (std::uint32_t{rgb[i + 1]} << 8) | rgb[i + 2];
    }
};

DecodedPng ReadPng(const std::uint8_t* data, std::size_t size);
