// The peer the benchmarks measure against: zint encodes and draws the symbol, libpng writes the
// PNG, in the fastest reasonable way to use both: zint's bitmap of one byte a pixel (no colour
// conversion), each distinct row of the picture packed once and handed to libpng as often as
// it repeats. Nothing but zint's and libpng's own work is in the time: the picture is the
// symbol centred in a picture of the size ours has, in two colours, as a palette image.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct ZintPicture {
    int symbology;     // BARCODE_PDF417, BARCODE_MICROPDF417
    int option_1 = 2;  // error-correction level (PDF417)
    int option_2 = 0;  // data columns; 0 lets zint choose
    int width = 0;     // the picture's size in pixels
    int height = 0;
    int compression = -1;  // libpng's (zlib's) level: -1 its default, 0 stored blocks
};

// The PNG of `data` into `out`; aborts the benchmark, saying why, if zint refuses it.
void ZintPng(const ZintPicture& picture, const std::string& data, std::vector<unsigned char>& out);

}  // namespace bench
