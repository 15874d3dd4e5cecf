#include "library/session/PngPixels.h"

#include <zlib.h>

#include <cstdlib>
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

// The inflated image data, which must be exactly `expected` bytes.
bool Inflate(const std::vector<std::uint8_t>& zlib, std::size_t expected,
             std::vector<std::uint8_t>* out, std::string* error) {
    out->resize(expected);
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        *error = "zlib cannot start";
        return false;
    }
    stream.next_in = const_cast<Bytef*>(zlib.data());
    stream.avail_in = static_cast<uInt>(zlib.size());
    stream.next_out = out->data();
    stream.avail_out = static_cast<uInt>(expected);
    const int status = inflate(&stream, Z_FINISH);
    const bool whole = status == Z_STREAM_END && stream.total_out == expected;
    inflateEnd(&stream);
    if (status == Z_BUF_ERROR || (status == Z_STREAM_END && !whole)) {
        *error = "the image data is not the size of the picture";
    } else if (status != Z_STREAM_END) {
        *error = "the image data is not a whole zlib stream";
    }
    return whole;
}

// Undoes the row filters in place: each row is its filter type and the filtered bytes, and a
// byte's neighbours are the byte before it (a pixel is at most one byte here) and the row
// above's.
bool Unfilter(std::vector<std::uint8_t>* rows, std::size_t row_bytes, std::string* error) {
    const std::size_t height = rows->size() / row_bytes;
    const std::uint8_t* above = nullptr;
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* row = rows->data() + y * row_bytes;
        const int filter = row[0];
        for (std::size_t i = 1; i < row_bytes; ++i) {
            const int a = i > 1 ? row[i - 1] : 0;
            const int b = above != nullptr ? above[i] : 0;
            const int c = i > 1 && above != nullptr ? above[i - 1] : 0;
            int predicted = 0;
            if (filter == 1) {
                predicted = a;
            } else if (filter == 2) {
                predicted = b;
            } else if (filter == 3) {
                predicted = (a + b) / 2;
            } else if (filter == 4) {
                const int p = a + b - c;
                const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            } else if (filter != 0) {
                *error = "a row names an unknown filter type";
                return false;
            }
            row[i] = static_cast<std::uint8_t>(row[i] + predicted);
        }
        above = row;
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

    const auto width = static_cast<std::size_t>(pixels->width);
    const auto height = static_cast<std::size_t>(pixels->height);
    const std::size_t row_bytes = 1 + (width * static_cast<std::size_t>(depth) + 7) / 8;
    std::vector<std::uint8_t> rows;
    if (!Inflate(zlib, row_bytes * height, &rows, error) || !Unfilter(&rows, row_bytes, error)) {
        return false;
    }
    pixels->index.resize(width * height);
    const unsigned mask = (1u << depth) - 1;
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* row = &rows[y * row_bytes];
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
