#include "tests/png/WrittenPicture.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

std::vector<BYTE> MakeCaptureBlock(int bits, const std::vector<std::uint32_t>& table, int width,
                                   const std::vector<int>& indices) {
    const int height = static_cast<int>(indices.size()) / width;
    const int stride = ((width * bits + 31) & ~31) / 8;
    const int entries = 1 << bits;
    std::vector<BYTE> block(40 + 4 * entries + stride * height, 0);
    BITMAPINFOHEADER header{};
    header.biSize = 40;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bits);
    header.biSizeImage = static_cast<DWORD>(stride * height);
    std::memcpy(block.data(), &header, 40);
    for (std::size_t i = 0; i < table.size(); ++i) {
        RGBQUAD q{static_cast<BYTE>(table[i]), static_cast<BYTE>(table[i] >> 8),
                  static_cast<BYTE>(table[i] >> 16), 0};
        std::memcpy(block.data() + 40 + 4 * i, &q, 4);
    }
    BYTE* rows = block.data() + 40 + 4 * entries;
    for (int y = 0; y < height; ++y) {
        BYTE* row = rows + (height - 1 - y) * stride;  // bottom row first
        for (int x = 0; x < width; ++x) {
            const int bit = x * bits;
            row[bit / 8] |= static_cast<BYTE>(indices[y * width + x] << (8 - bits - bit % 8));
        }
        const int used_bits = width * bits;
        for (int b = used_bits; b < stride * 8; ++b) row[b / 8] |= static_cast<BYTE>(0x80 >> b % 8);
    }
    return block;
}

WrittenPicture::WrittenPicture(int bits, const std::vector<std::uint32_t>& table, int width,
                               const std::vector<int>& indices)
    : block(MakeCaptureBlock(bits, table, width, indices)) {
    q_->CaptureBlock = reinterpret_cast<HGLOBAL>(block.data());
}

WrittenPicture::WrittenPicture(HGLOBAL captured) {
    const auto* bytes = reinterpret_cast<const BYTE*>(captured);
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes, sizeof header);
    block.assign(bytes, bytes + header.biSize + 4 * (std::size_t{1} << header.biBitCount) +
                            header.biSizeImage);
    q_->CaptureBlock = reinterpret_cast<HGLOBAL>(block.data());
}

WrittenPicture::~WrittenPicture() {
    q_->CaptureBlock = nullptr;
    q_->ReleasePngBuffers();
}

void WrittenPicture::Write() {
    q_->BuildPalette();
    ASSERT_TRUE(q_->BuildZlibStream());
    SAFEARRAYBOUND bound{static_cast<ULONG>(q_->PngFileLength()), 0};
    q_->OutputArray = SafeArrayCreate(VT_UI1, 1, &bound);
    ASSERT_NE(q_->OutputArray, nullptr);
    q_->OutputPosition = 0;
    q_->WritePng();
    EXPECT_EQ(q_->OutputPosition, q_->PngFileLength());
    EXPECT_EQ(q_->ScanlineBuffer, nullptr);  // freed once written
    const BYTE* data = static_cast<const BYTE*>(q_->OutputArray->pvData);
    file.assign(data, data + q_->PngFileLength());
    SafeArrayDestroy(q_->OutputArray);
    q_->OutputArray = nullptr;
}

std::uint32_t WrittenPicture::Entry(int j) const {
    return (std::uint32_t{q_->PaletteRed[j]} << 16) | (std::uint32_t{q_->PaletteGreen[j]} << 8) |
           q_->PaletteBlue[j];
}

std::vector<BYTE> WrittenPicture::Stream() const {
    // Signature, IHDR, PLTE of 3 × PaletteEntries, then the IDAT length and type.
    const std::size_t start = 8 + 25 + 12 + 3 * static_cast<std::size_t>(q_->PaletteEntries) + 8;
    return std::vector<BYTE>(file.begin() + static_cast<std::ptrdiff_t>(start),
                             file.begin() + static_cast<std::ptrdiff_t>(start + q_->ZlibLength));
}

std::vector<BYTE> WrittenPicture::Scanlines() const {
    const std::vector<BYTE> stream = Stream();
    const std::size_t expected =
        static_cast<std::size_t>((q_->PngWidth * q_->BitDepth + 7) / 8 + 1) * q_->PngHeight;
    std::vector<BYTE> out(expected + 16);
    uLongf size = static_cast<uLongf>(out.size());
    EXPECT_EQ(uncompress(out.data(), &size, stream.data(), static_cast<uLong>(stream.size())),
              Z_OK);
    out.resize(size);
    EXPECT_EQ(out.size(), expected);
    return out;
}

std::vector<BYTE> WrittenPicture::Indices() const {
    const std::vector<BYTE> scanlines = Scanlines();
    const int width = q_->PngWidth, depth = q_->BitDepth;
    const std::size_t row_bytes = static_cast<std::size_t>(width * depth + 7) / 8 + 1;
    std::vector<BYTE> indices;
    for (int y = 0; y < q_->PngHeight && (y + 1) * row_bytes <= scanlines.size(); ++y) {
        const BYTE* row = scanlines.data() + y * row_bytes + 1;  // after the filter byte
        for (int x = 0; x < width; ++x) {
            const int bit = x * depth;
            indices.push_back(
                static_cast<BYTE>((row[bit / 8] >> (8 - depth - bit % 8)) & ((1 << depth) - 1)));
        }
    }
    return indices;
}
