#include "hosts/common/PngPixels.h"

#include <cstring>
#include <string_view>

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// No picture of the component is larger than 32767 pixels a side.
constexpr std::uint32_t kLargestSide = 32767;

std::uint32_t BigEndian(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

// The inflated data of a zlib stream made of stored blocks only.
bool InflateStored(const std::vector<std::uint8_t>& zlib, std::vector<std::uint8_t>* out,
                   std::string* error) {
    if (zlib.size() < 2 || (zlib[0] & 0x0F) != 8 || ((zlib[0] << 8) | zlib[1]) % 31 != 0) {
        *error = "the image data is not a zlib stream";
        return false;
    }
    std::size_t at = 2;
    bool last = false;
    while (!last) {
        if (at + 5 > zlib.size()) {
            *error = "the image data ends inside a block header";
            return false;
        }
        const std::uint8_t header = zlib[at];
        last = (header & 1) != 0;
        if (((header >> 1) & 3) != 0) {  // BTYPE 00: stored
            *error = "the image data holds compressed blocks, which this reader does not take";
            return false;
        }
        const std::size_t length = zlib[at + 1] | (zlib[at + 2] << 8);
        const std::size_t complement = zlib[at + 3] | (zlib[at + 4] << 8);
        if ((length ^ complement) != 0xFFFF || at + 5 + length > zlib.size()) {
            *error = "a stored block of the image data is damaged";
            return false;
        }
        out->insert(out->end(), zlib.begin() + static_cast<std::ptrdiff_t>(at + 5),
                    zlib.begin() + static_cast<std::ptrdiff_t>(at + 5 + length));
        at += 5 + length;
    }
    return true;
}

}  // namespace

bool ReadPalettePixels(std::span<const std::uint8_t> png, PalettePixels* pixels,
                       std::string* error) {
    if (png.size() < 8 || std::memcmp(png.data(), kSignature, 8) != 0) {
        *error = "not a PNG file";
        return false;
    }
    int depth = 0;
    std::vector<std::uint8_t> zlib;
    bool ended = false;
    for (std::size_t at = 8; !ended;) {
        if (at + 12 > png.size()) {
            *error = "the file ends inside a chunk";
            return false;
        }
        const std::size_t length = BigEndian(&png[at]);
        if (length > png.size() - at - 12) {
            *error = "a chunk is longer than the file";
            return false;
        }
        const std::string_view type(reinterpret_cast<const char*>(&png[at + 4]), 4);
        const std::uint8_t* data = &png[at + 8];
        if (type == "IHDR" && length == 13) {
            pixels->width = static_cast<int>(BigEndian(data));
            pixels->height = static_cast<int>(BigEndian(data + 4));
            depth = data[8];
            if (data[9] != 3 || data[10] != 0 || data[11] != 0 || data[12] != 0 ||
                (depth != 1 && depth != 2 && depth != 4 && depth != 8) ||
                BigEndian(data) - 1 >= kLargestSide || BigEndian(data + 4) - 1 >= kLargestSide) {
                *error = "not an indexed-colour picture of the component's form";
                return false;
            }
        } else if (type == "PLTE" && length % 3 == 0 && length <= 3 * 256) {
            for (std::size_t i = 0; i < length; i += 3) {
                pixels->palette.push_back((std::uint32_t{data[i]} << 16) |
                                          (std::uint32_t{data[i + 1]} << 8) | data[i + 2]);
            }
        } else if (type == "IDAT") {
            zlib.insert(zlib.end(), data, data + length);
        } else if (type == "IEND") {
            ended = true;
        }
        at += 12 + length;
    }
    if (depth == 0 || pixels->palette.empty()) {
        *error = "the file lacks its header or its palette";
        return false;
    }

    std::vector<std::uint8_t> rows;
    if (!InflateStored(zlib, &rows, error)) return false;
    const auto width = static_cast<std::size_t>(pixels->width);
    const auto height = static_cast<std::size_t>(pixels->height);
    const std::size_t row_bytes = 1 + (width * static_cast<std::size_t>(depth) + 7) / 8;
    if (rows.size() != row_bytes * height) {
        *error = "the image data is not the size of the picture";
        return false;
    }
    pixels->index.resize(width * height);
    const unsigned mask = (1u << depth) - 1;
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* row = &rows[y * row_bytes];
        if (row[0] != 0) {
            *error = "a row uses a PNG filter, which this reader does not take";
            return false;
        }
        for (std::size_t x = 0; x < width; ++x) {
            const std::size_t bit = x * static_cast<std::size_t>(depth);
            const unsigned shift = 8 - static_cast<unsigned>(depth) - bit % 8;
            const std::uint8_t value = (row[1 + bit / 8] >> shift) & mask;
            if (value >= pixels->palette.size()) {
                *error = "a pixel names a colour the palette lacks";
                return false;
            }
            pixels->index[y * width + x] = value;
        }
    }
    return true;
}
