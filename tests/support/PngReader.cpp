#include "tests/support/PngReader.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace {

struct Source {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (source->position + count > source->size) png_error(png, "read past the end of the file");
    std::memcpy(out, source->data + source->position, count);
    source->position += count;
}

void OnError(png_structp png, png_const_charp message) {
    auto* result = static_cast<DecodedPng*>(png_get_error_ptr(png));
    result->error = message;
    png_longjmp(png, 1);
}

void OnWarning(png_structp png, png_const_charp message) {
    auto* result = static_cast<DecodedPng*>(png_get_error_ptr(png));
    result->error += std::string("warning: ") + message + "; ";
}

}  // namespace

DecodedPng ReadPng(const std::uint8_t* data, std::size_t size) {
    DecodedPng result;
    Source source{data, size, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &result, OnError, OnWarning);
    png_infop info = png_create_info_struct(png);
    png_infop end = png_create_info_struct(png);
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_read_struct(&png, &info, &end);
        result.ok = false;
        return result;
    }
    png_set_read_fn(png, &source, ReadFromMemory);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int bit_depth = 0, color_type = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bit_depth, &color_type, &interlace, nullptr, nullptr);
    result.width = static_cast<int>(width);
    result.height = static_cast<int>(height);
    result.bit_depth = bit_depth;
    result.color_type = color_type;
    result.interlace = interlace;
    png_colorp palette = nullptr;
    int entries = 0;
    if (png_get_PLTE(png, info, &palette, &entries) != 0) {
        for (int i = 0; i < entries; ++i) {
            result.palette.push_back(palette[i].red);
            result.palette.push_back(palette[i].green);
            result.palette.push_back(palette[i].blue);
        }
    }
    png_set_expand(png);  // palette to RGB, and sub-byte depths unpacked
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_strip_alpha(png);
    png_read_update_info(png, info);
    result.rgb.resize(std::size_t{3} * width * height);
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = result.rgb.data() + std::size_t{3} * width * y;
    png_read_image(png, rows.data());
    png_read_end(png, end);
    png_destroy_read_struct(&png, &info, &end);
    result.ok = true;
    return result;
}
