// The pixels of an indexed-colour PNG file, as the component writes them: bit depth 1, 2, 4 or
// 8, not interlaced, the image data inflated by zlib and unfiltered, so that the reader
// follows the writer whatever compression and filters it chooses. Any other PNG is refused,
// with the reason.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct PalettePixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> palette;  // 0xRRGGBB per entry
    std::vector<std::uint8_t> index;     // palette index per pixel, row by row from the top
    std::uint8_t At(int x, int y) const {
        return index[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(x)];
    }
};

// False with *error saying why when `png` is not a file of the form above.
bool ReadPalettePixels(std::span<const std::uint8_t> png, PalettePixels* pixels,
                       std::string* error);
