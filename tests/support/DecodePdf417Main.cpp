// decode_pdf417 FILE.png: prints the bytes of the PDF417 symbol in a PNG file as hexadecimal
// (exit 0), or says that none was found (exit 1). For tests outside C++, such as the browser
// test of the demo page.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/support/BarcodeDecoder.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: decode_pdf417 FILE.png\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> png(std::istreambuf_iterator<char>(in), {});
    const DecodedPng picture = ReadPng(png.data(), png.size());
    if (!picture.ok) {
        std::fprintf(stderr, "decode_pdf417: %s: %s\n", argv[1], picture.error.c_str());
        return 1;
    }
    const auto bytes = DecodePdf417(picture);
    if (!bytes) {
        std::fprintf(stderr, "decode_pdf417: %s: no PDF417 symbol found\n", argv[1]);
        return 1;
    }
    for (const std::uint8_t byte : *bytes) std::printf("%02x", byte);
    std::printf("\n");
    return 0;
}
