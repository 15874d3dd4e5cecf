#define ZX_USE_UTF8 1
#include "tests/support/BarcodeDecoder.h"

#include <ZXing/ReadBarcode.h>

std::optional<std::vector<std::uint8_t>> DecodePdf417(const DecodedPng& picture) {
    if (!picture.ok || picture.width == 0)
        return std::nullopt;
    ZXing::ImageView view(picture.rgb.data(), picture.width, picture.height,
                          ZXing::ImageFormat::RGB);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::PDF417);
    hints.setTryHarder(true);
    hints.setTryRotate(true);
    for (const ZXing::Result& result : ZXing::ReadBarcodes(view, hints)) {
        if (!result.isValid())
            continue;
        const ZXing::ByteArray& bytes = result.bytes();
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }
    return std::nullopt;
}
