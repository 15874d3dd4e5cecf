// Pictures in the form the component writes, made from their scanlines with zlib's checksums,
// and the image data of a PNG file inflated by zlib: what the compressed PNG is checked
// against, by its tests and its fuzz target.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>

namespace stored_png {

inline std::uint32_t BigEndian(const std::string& s, std::size_t at) {
    return (std::uint32_t{static_cast<unsigned char>(s[at])} << 24) |
           (std::uint32_t{static_cast<unsigned char>(s[at + 1])} << 16) |
           (std::uint32_t{static_cast<unsigned char>(s[at + 2])} << 8) |
           static_cast<unsigned char>(s[at + 3]);
}

inline void PutBigEndian(std::uint32_t v, std::string* out) {
    for (int shift = 24; shift >= 0; shift -= 8) *out += static_cast<char>(v >> shift);
}

// Signature, IHDR, PLTE of 2^depth entries, one IDAT of stored blocks of 65531 bytes, IEND.
// Each row of `scanlines` is its filter byte and the pixels.
inline std::string Make(int width, int height, int depth, const std::string& scanlines) {
    std::string png("\x89PNG\r\n\x1A\n", 8);
    const auto chunk = [&png](const char* type, const std::string& data) {
        const std::string body = type + data;
        PutBigEndian(static_cast<std::uint32_t>(data.size()), &png);
        png += body;
        PutBigEndian(
            static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                             static_cast<uInt>(body.size()))),
            &png);
    };
    std::string header;
    PutBigEndian(static_cast<std::uint32_t>(width), &header);
    PutBigEndian(static_cast<std::uint32_t>(height), &header);
    header += {static_cast<char>(depth), 3, 0, 0, 0};
    chunk("IHDR", header);
    std::string palette;
    for (int i = 0; i < (1 << depth); ++i)
        palette +=
            {static_cast<char>(i * 7), static_cast<char>(255 - i), static_cast<char>(i * 91)};
    chunk("PLTE", palette);
    std::string zlib("\x78\xDA", 2);
    for (std::size_t at = 0; at < scanlines.size(); at += 65531) {
        const std::size_t length = std::min<std::size_t>(65531, scanlines.size() - at);
        zlib += {static_cast<char>(at + length == scanlines.size()), static_cast<char>(length),
                 static_cast<char>(length >> 8), static_cast<char>(~length),
                 static_cast<char>(~length >> 8)};
        zlib += scanlines.substr(at, length);
    }
    PutBigEndian(
        static_cast<std::uint32_t>(adler32(1, reinterpret_cast<const Bytef*>(scanlines.data()),
                                           static_cast<uInt>(scanlines.size()))),
        &zlib);
    chunk("IDAT", zlib);
    chunk("IEND", "");
    return png;
}

// The image data of a file whose first chunks are IHDR, PLTE and one IDAT, inflated: at most
// `longest` bytes, checked against its Adler-32; a message in angle brackets when zlib refuses.
inline std::string Inflated(const std::string& png, std::size_t longest) {
    const std::size_t idat = 33 + 12 + BigEndian(png, 33);
    std::string out(longest + 1, '\0');
    uLongf size = static_cast<uLongf>(out.size());
    const int status =
        uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                   reinterpret_cast<const Bytef*>(png.data() + idat + 8), BigEndian(png, idat));
    return status == Z_OK ? out.substr(0, size) : "<zlib: " + std::to_string(status) + ">";
}

}  // namespace stored_png
