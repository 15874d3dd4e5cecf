// The image data as a zlib stream of stored (uncompressed) deflate blocks. Its length follows
// from the picture's size alone, so it is known before the file is created, and the stream is
// then written straight into the file: each run of equal rows of the capture is packed once
// into a filtered scanline, which is copied into place among the blocks as many times as the
// run is long, and whose Adler-32 is taken once for the whole run.
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "component/state/QuillonState.h"
#include "png/BigEndian.h"
#include "png/CapturedRows.h"

namespace {

constexpr std::int32_t kBlockData = 65531;  // bytes per stored block
constexpr std::int32_t kBlockHeader = 5;

struct StreamLayout {
    std::int32_t row_bytes;  // packed pixels of a scanline, without its filter byte
    std::int32_t blocks;
    std::int32_t last_length;  // bytes in the final block
    std::int32_t zlib_length;
};

// With both sides at most 32767 pixels and at most 8 bits a pixel, the scanline data is at
// most 32768 × 32767 bytes and every length here stays inside 32 bits.
StreamLayout LayoutOf(std::int32_t width, std::int32_t height, std::int32_t depth) {
    StreamLayout layout{};
    layout.row_bytes = (width * depth + 7) / 8;
    const std::int32_t scanline_bytes = (layout.row_bytes + 1) * height;
    layout.blocks = (scanline_bytes + kBlockData - 1) / kBlockData;
    layout.last_length = scanline_bytes - kBlockData * (layout.blocks - 1);
    layout.zlib_length =
        (kBlockData + kBlockHeader) * (layout.blocks - 1) + layout.last_length + 11;
    return layout;
}

// Turns a row of the capture into a scanline's pixels: each pixel's palette index at `depth`
// bits, the first pixel in the highest bits, a last byte that is not full padded with zero
// bits. Works a byte of the capture at a time, through a table of what each byte becomes.
class ScanlinePacker {
public:
    ScanlinePacker(const CapturedRows& rows, const BYTE* palette_index, int depth)
        : width_(rows.width),
          per_byte_(8 / rows.bits),
          depth_(depth),
          out_bits_(per_byte_ * depth) {
        if (rows.bits == 1) {
            // At most two colours, so a depth of 1 and indices 0 and 1: a 1 bit becomes entry
            // 1's index and a 0 bit entry 0's. So a byte of the scanline is the byte of the
            // capture with the bits that stand for index 1 kept, then all bits flipped where a
            // 0 bit stands for index 1: eight bytes at once.
            one_bit_ = true;
            keep_ = palette_index[1] != palette_index[0] ? ~std::uint64_t{0} : 0;
            flip_ = palette_index[0] != 0 ? ~std::uint64_t{0} : 0;
            return;
        }
        // Two pixels a byte at 4 bits, the first in the high half; one at 8.
        for (unsigned v = 0; v < 256; ++v) {
            packed_[v] = static_cast<std::uint16_t>(
                rows.bits == 4 ? (palette_index[v >> 4] << depth) | palette_index[v & 15]
                               : palette_index[v]);
        }
    }

    void Pack(const BYTE* row, BYTE* out) const {
        if (one_bit_) {
            PackOneBit(row, out);
            return;
        }
        const std::int32_t whole = width_ / per_byte_;
        std::int32_t i = 0;
        switch (out_bits_) {
            case 8:
                i = PackGroups<1>(row, whole, out);
                break;
            case 4:
                i = PackGroups<2>(row, whole, out);
                break;
            case 2:
                i = PackGroups<4>(row, whole, out);
                break;
            case 1:
                i = PackGroups<8>(row, whole, out);
                break;
            default:
                break;
        }
        out += i * out_bits_ / 8;
        std::uint64_t bits = 0;
        int held = 0;
        const auto put = [&](unsigned value, int count) {
            bits = (bits << count) | value;
            held += count;
            while (held >= 8) {
                held -= 8;
                *out++ = static_cast<BYTE>(bits >> held);
            }
        };
        for (; i < whole; ++i) put(packed_[row[i]], out_bits_);
        const int rest = static_cast<int>(width_ - whole * per_byte_);
        if (rest > 0) put(packed_[row[whole]] >> ((per_byte_ - rest) * depth_), rest * depth_);
        if (held > 0) *out = static_cast<BYTE>(bits << (8 - held));
    }

private:
    void PackOneBit(const BYTE* row, BYTE* out) const {
        const std::int32_t whole = width_ / 8;
        std::int32_t i = 0;
        for (; i + 8 <= whole; i += 8) {
            std::uint64_t eight;
            std::memcpy(&eight, row + i, 8);
            eight = (eight & keep_) ^ flip_;
            std::memcpy(out + i, &eight, 8);
        }
        for (; i < whole; ++i) out[i] = static_cast<BYTE>((row[i] & keep_) ^ flip_);
        const int rest = static_cast<int>(width_ % 8);
        if (rest > 0) {
            out[whole] = static_cast<BYTE>(((row[whole] & keep_) ^ flip_) & (0xFF << (8 - rest)));
        }
    }

    // Where kGroup bytes of the capture make one byte of the scanline: as many whole groups
    // of the first `bytes` as there are. Returns the bytes of the capture used.
    template <int kGroup>
    std::int32_t PackGroups(const BYTE* row, std::int32_t bytes, BYTE* out) const {
        constexpr int kBits = 8 / kGroup;
        std::int32_t i = 0;
        for (; i + kGroup <= bytes; i += kGroup) {
            unsigned byte = 0;
#pragma GCC unroll 8
            for (int k = 0; k < kGroup; ++k) byte = (byte << kBits) | packed_[row[i + k]];
            *out++ = static_cast<BYTE>(byte);
        }
        return i;
    }

    std::int32_t width_;
    int per_byte_;  // pixels in a byte of the capture
    int depth_;
    int out_bits_;  // bits of scanline a byte of the capture becomes
    std::uint16_t packed_[256] = {};
    // A capture of 1 bit a pixel: the bits to keep and those to flip, of every byte.
    bool one_bit_ = false;
    std::uint64_t keep_ = 0;
    std::uint64_t flip_ = 0;
};

// Copies `n` bytes between places that do not overlap. Most copies here are a few scanlines of
// a small picture: up to 64 bytes go through the vector registers rather than a call.
inline void CopyBytes(BYTE* to, const BYTE* from, std::int32_t n) {
#if defined(__SSE2__)
    if (n >= 16 && n <= 64) {
        for (std::int32_t i = 0; i + 16 < n; i += 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + n - 16),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + n - 16)));
        return;
    }
#endif
    std::memcpy(to, from, static_cast<std::size_t>(n));
}

class StoredBlockWriter {
public:
    StoredBlockWriter(BYTE* out, std::int32_t blocks, std::int32_t last_length)
        : out_(out), blocks_(blocks), last_length_(last_length) {}

    // `times` copies of `count` bytes, one after the other, split among the blocks.
    void WriteRepeated(const BYTE* bytes, std::int32_t count, std::int32_t times) {
        std::int64_t left = std::int64_t{count} * times;
        std::int32_t phase = 0;  // where in the bytes the next byte written is
        while (left > 0) {
            if (room_ == 0) StartBlock();
            const auto n = static_cast<std::int32_t>(left < room_ ? left : room_);
            FillPeriodically(out_, n, bytes, count, phase);
            out_ += n;
            left -= n;
            room_ -= n;
            phase = static_cast<std::int32_t>((phase + std::int64_t{n}) % count);
        }
    }
    BYTE* end() const { return out_; }

private:
    // `n` bytes of the endless repetition of the `count` bytes, from `phase` on: one copy from
    // the bytes, then copies of what is already written, twice as long at each step, so a long
    // run of equal rows takes few copies.
    static void FillPeriodically(BYTE* out, std::int32_t n, const BYTE* bytes, std::int32_t count,
                                 std::int32_t phase) {
        std::int32_t done = std::min(n, count - phase);
        CopyBytes(out, bytes + phase, done);
        const std::int32_t head = std::min(n - done, phase);
        if (head > 0) CopyBytes(out + done, bytes, head);
        done += head;
        // Whole copies are written, so what follows repeats what is there.
        while (done < n) {
            const std::int32_t now = std::min(done, n - done);
            CopyBytes(out + done, out, now);
            done += now;
        }
    }

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
    const StreamLayout layout = LayoutOf(PngWidth, PngHeight, BitDepth);
    ZlibLength = layout.zlib_length;
    ScanlineBuffer = static_cast<BYTE*>(CoTaskMemAlloc(static_cast<SIZE_T>(layout.row_bytes + 1)));
    return ScanlineBuffer != nullptr;
}

void QuillonState::WriteZlibStream(BYTE* out) {
    const StreamLayout layout = LayoutOf(PngWidth, PngHeight, BitDepth);
    const CapturedRows rows(*this);
    const ScanlinePacker packer(rows, PaletteIndexOfEntry, BitDepth);
    const std::int32_t scanline_bytes = layout.row_bytes + 1;

    out[0] = 0x78;  // deflate, 32 KB window
    out[1] = 0xDA;  // level field 3, no dictionary; 0x78DA is a multiple of 31
    StoredBlockWriter writer(out + 2, layout.blocks, layout.last_length);
    AdlerLow = 1;
    AdlerHigh = 0;
    ScanlineBuffer[0] = 0;  // filter type: none
    rows.ForEachRun([&](const BYTE* row, std::int32_t count) {
        packer.Pack(row, ScanlineBuffer + 1);
        AdlerRepeat(ScanlineBuffer, static_cast<std::size_t>(scanline_bytes), count);
        writer.WriteRepeated(ScanlineBuffer, scanline_bytes, count);
        return true;
    });
    AdlerValue = AdlerHigh * 65536 + AdlerLow;
    PutBigEndian32(AdlerValue, writer.end());

    CoTaskMemFree(ScanlineBuffer);
    ScanlineBuffer = nullptr;
}
