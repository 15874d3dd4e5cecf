// The image data as a zlib stream of stored (uncompressed) deflate blocks. Its length
// follows from the picture size alone, so the stream is allocated once at its final size;
// each filtered scanline is packed into a one-row buffer and copied straight into its place
// among the blocks.
#include <cstring>

#include "component/state/QuillonState.h"

namespace {

constexpr std::int32_t kBlockData = 65531;  // bytes per stored block
constexpr std::int32_t kBlockHeader = 5;

// Packs one row of palette indices at `depth` bits each, the first pixel in the highest bits
// of the first byte; a last byte that is not full is padded with zero bits.
void PackRow(const BYTE* indices, std::int32_t width, int depth, BYTE* out) {
    if (depth == 8) {
        std::memcpy(out, indices, static_cast<std::size_t>(width));
        return;
    }
    std::int32_t x = 0;
    if (depth == 1) {
        // Eight indices of 0 or 1 read as one little-endian word: the multiplication gathers
        // the low bit of each byte into the top byte, the first index highest.
        for (; x + 8 <= width; x += 8) {
            const BYTE* i = indices + x;
            const std::uint64_t eight = std::uint64_t{i[0]} | std::uint64_t{i[1]} << 8 |
                                        std::uint64_t{i[2]} << 16 | std::uint64_t{i[3]} << 24 |
                                        std::uint64_t{i[4]} << 32 | std::uint64_t{i[5]} << 40 |
                                        std::uint64_t{i[6]} << 48 | std::uint64_t{i[7]} << 56;
            *out++ = static_cast<BYTE>((eight * 0x8040201008040201u) >> 56);
        }
    }
    unsigned accumulator = 0;
    int used = 0;
    for (; x < width; ++x) {
        accumulator = (accumulator << depth) | indices[x];
        used += depth;
        if (used == 8) {
            *out++ = static_cast<BYTE>(accumulator);
            accumulator = 0;
            used = 0;
        }
    }
    if (used > 0) *out = static_cast<BYTE>(accumulator << (8 - used));
}

class StoredBlockWriter {
public:
    StoredBlockWriter(BYTE* out, std::int32_t blocks, std::int32_t last_length)
        : out_(out), blocks_(blocks), last_length_(last_length) {}

    void Write(const BYTE* bytes, std::int32_t count) {
        while (count > 0) {
            if (room_ == 0) StartBlock();
            const std::int32_t n = count < room_ ? count : room_;
            std::memcpy(out_, bytes, static_cast<std::size_t>(n));
            out_ += n;
            bytes += n;
            count -= n;
            room_ -= n;
        }
    }
    BYTE* end() const { return out_; }

private:
    void StartBlock() {
        const bool final = ++started_ == blocks_;
        const unsigned length = static_cast<unsigned>(final ? last_length_ : kBlockData);
        out_[0] = final ? 0x01 : 0x00;
        out_[1] = static_cast<BYTE>(length & 0xFF);
        out_[2] = static_cast<BYTE>(length >> 8);
        out_[3] = static_cast<BYTE>(~out_[1]);
        out_[4] = static_cast<BYTE>(~out_[2]);
        out_ += kBlockHeader;
        room_ = static_cast<std::int32_t>(length);
    }

    BYTE* out_;
    std::int32_t blocks_;
    std::int32_t last_length_;
    std::int32_t started_ = 0;
    std::int32_t room_ = 0;
};

}  // namespace

bool QuillonState::BuildZlibStream() {
    // With both sides at most 32767 pixels and at most 8 bits a pixel, S is at most
    // 32768 × 32767 and every length below stays inside 32 bits.
    const std::int32_t row_bytes = (PngWidth * BitDepth + 7) / 8;
    const std::int32_t scanline_bytes = (row_bytes + 1) * PngHeight;
    const std::int32_t blocks = (scanline_bytes + kBlockData - 1) / kBlockData;
    const std::int32_t last_length = scanline_bytes - kBlockData * (blocks - 1);
    ZlibLength = (kBlockData + kBlockHeader) * (blocks - 1) + last_length + 11;

    ZlibStream = static_cast<BYTE*>(CoTaskMemAlloc(static_cast<SIZE_T>(ZlibLength)));
    ScanlineBuffer = static_cast<BYTE*>(CoTaskMemAlloc(static_cast<SIZE_T>(row_bytes + 1)));
    if (ZlibStream == nullptr || ScanlineBuffer == nullptr) {
        CoTaskMemFree(ZlibStream);
        CoTaskMemFree(ScanlineBuffer);
        ZlibStream = ScanlineBuffer = nullptr;
        return false;
    }

    ZlibStream[0] = 0x78;  // deflate, 32 KB window
    ZlibStream[1] = 0xDA;  // level field 3, no dictionary; 0x78DA is a multiple of 31
    StoredBlockWriter writer(ZlibStream + 2, blocks, last_length);
    AdlerLow = 1;
    AdlerHigh = 0;
    ScanlineBuffer[0] = 0;  // filter type: none
    for (std::int32_t y = 0; y < PngHeight; ++y) {
        const BYTE* indices = IndexBuffer + static_cast<std::size_t>(y) * PngWidth;
        // A row of indices like the one above packs like it: the buffer already holds it.
        if (y == 0 ||
            std::memcmp(indices, indices - PngWidth, static_cast<std::size_t>(PngWidth)) != 0) {
            PackRow(indices, PngWidth, BitDepth, ScanlineBuffer + 1);
        }
        AdlerUpdate(ScanlineBuffer, static_cast<std::size_t>(row_bytes) + 1);
        writer.Write(ScanlineBuffer, row_bytes + 1);
    }
    AdlerValue = AdlerHigh * 65536 + AdlerLow;
    BYTE* adler = writer.end();
    adler[0] = static_cast<BYTE>(AdlerValue >> 24);
    adler[1] = static_cast<BYTE>(AdlerValue >> 16);
    adler[2] = static_cast<BYTE>(AdlerValue >> 8);
    adler[3] = static_cast<BYTE>(AdlerValue);

    CoTaskMemFree(ScanlineBuffer);
    ScanlineBuffer = nullptr;
    return true;
}
