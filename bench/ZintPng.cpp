#include "bench/ZintPng.h"

#include <png.h>
#include <zint.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {
namespace {

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void NoFlush(png_structp) {}

}  // namespace

void ZintPng(const ZintPicture& picture, const std::string& data, std::vector<unsigned char>& out) {
    zint_symbol* symbol = ZBarcode_Create();
    symbol->symbology = picture.symbology;
    symbol->option_1 = picture.option_1;
    symbol->option_2 = picture.option_2;
    symbol->input_mode = DATA_MODE;
    symbol->scale = 1.0f;                               // 2 pixels a module
    symbol->output_options |= OUT_BUFFER_INTERMEDIATE;  // '1' a bar pixel, '0' a space
    if (ZBarcode_Encode_and_Buffer(symbol, reinterpret_cast<const unsigned char*>(data.data()),
                                   static_cast<int>(data.size()), 0) >= ZINT_ERROR) {
        std::fprintf(stderr, "zint: %s\n", symbol->errtxt);
        std::abort();
    }
    out.clear();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, AppendToVector, NoFlush);
    if (picture.compression >= 0) {
        png_set_compression_level(png, picture.compression);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    }
    const int width = picture.width, height = picture.height;
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 1,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color palette[2] = {{0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00}};
    png_set_PLTE(png, info, palette, 2);
    png_write_info(png, info);

    const int left = (width - symbol->bitmap_width) / 2;
    const int top = (height - symbol->bitmap_height) / 2;
    std::vector<unsigned char> row(static_cast<std::size_t>(width + 7) / 8);
    const unsigned char* packed_from = nullptr;  // the bitmap row `row` holds, if any
    for (int y = 0; y < height; ++y) {
        const int sy = y - top;
        const unsigned char* pixels =
            sy >= 0 && sy < symbol->bitmap_height
                ? symbol->bitmap + static_cast<std::size_t>(sy) * symbol->bitmap_width
                : nullptr;
        // A row equal to the one before is written again as it is.
        const bool same = y > 0 && (pixels == packed_from ||
                                    (pixels != nullptr && packed_from != nullptr &&
                                     std::memcmp(pixels, packed_from, symbol->bitmap_width) == 0));
        if (!same) {
            std::fill(row.begin(), row.end(), 0);
            for (int x = std::max(0, left); pixels != nullptr && x < width; ++x) {
                const int sx = x - left;
                if (sx >= symbol->bitmap_width) break;
                if (pixels[sx] == '1') row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
            }
            packed_from = pixels;
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    ZBarcode_Delete(symbol);
}

}  // namespace bench
