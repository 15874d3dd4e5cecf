#define ZX_USE_UTF8 1
#include "tests/support/BarcodeDecoder.h"

#include <ZXing/ReadBarcode.h>

#include <utility>

namespace {

std::optional<ZXing::Result> Decode(const std::vector<std::uint8_t>& rgb, int width, int height,
                                    bool pure) {
    ZXing::ImageView view(rgb.data(), width, height, ZXing::ImageFormat::RGB);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::PDF417);
    hints.setTryHarder(true);
    hints.setTryRotate(true);
    hints.setIsPure(pure);
    for (ZXing::Result& result : ZXing::ReadBarcodes(view, hints)) {
        if (result.isValid()) return std::move(result);
    }
    return std::nullopt;
}

// The picture turned a quarter turn clockwise: width and height swap.
std::vector<std::uint8_t> Turned(const std::vector<std::uint8_t>& rgb, int width, int height) {
    std::vector<std::uint8_t> out(rgb.size());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t from = 3 * (static_cast<std::size_t>(y) * width + x);
            const std::size_t to = 3 * (static_cast<std::size_t>(x) * height + (height - 1 - y));
            out[to] = rgb[from];
            out[to + 1] = rgb[from + 1];
            out[to + 2] = rgb[from + 2];
        }
    }
    return out;
}

// zxing's PDF417 detector and row scanner are heuristic: for a few symbols out of a thousand
// it misses a symbol in one position that it reads in another, or reads a clean symbol only
// in its "pure" mode. The same picture is therefore offered turned by each quarter turn (and
// in both modes where allowed); a symbol that is wrong in itself decodes in none of them.
std::optional<ZXing::Result> DecodeAnyWay(const DecodedPng& picture, DecodeEffort effort) {
    if (!picture.ok || picture.width == 0) return std::nullopt;
    std::vector<std::uint8_t> rgb = picture.rgb;
    int width = picture.width, height = picture.height;
    const int modes = effort == DecodeEffort::SearchThenPure ? 2 : 1;
    for (int mode = 0; mode < modes; ++mode) {
        for (int turn = 0; turn < 4; ++turn) {
            if (auto result = Decode(rgb, width, height, mode == 1)) return result;
            rgb = Turned(rgb, width, height);
            std::swap(width, height);
        }
    }
    return std::nullopt;
}

std::vector<std::uint8_t> BytesOf(const ZXing::Result& result) {
    const ZXing::ByteArray& bytes = result.bytes();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

std::optional<std::vector<std::uint8_t>> DecodePdf417(const DecodedPng& picture,
                                                      DecodeEffort effort) {
    const auto result = DecodeAnyWay(picture, effort);
    if (!result) return std::nullopt;
    return BytesOf(*result);
}

std::optional<DecodedSymbol> DecodePdf417Symbol(const DecodedPng& picture, DecodeEffort effort) {
    const auto result = DecodeAnyWay(picture, effort);
    if (!result) return std::nullopt;
    DecodedSymbol symbol;
    symbol.bytes = BytesOf(*result);
    symbol.hasEci = result->hasECI();
    symbol.text = result->text();
    symbol.ecLevel = result->ecLevel();
    symbol.sequenceIndex = result->sequenceIndex();
    symbol.sequenceSize = result->sequenceSize();
    symbol.sequenceId = result->sequenceId();
    return symbol;
}

std::optional<std::vector<std::uint8_t>> JoinPdf417Set(const std::vector<DecodedPng>& pictures) {
    ZXing::Results results;
    for (const DecodedPng& picture : pictures) {
        auto result = DecodeAnyWay(picture, DecodeEffort::SearchThenPure);
        if (!result) return std::nullopt;
        results.push_back(std::move(*result));
    }
    const ZXing::Result joined = ZXing::MergeStructuredAppendSequence(results);
    if (!joined.isValid()) return std::nullopt;
    return BytesOf(joined);
}
