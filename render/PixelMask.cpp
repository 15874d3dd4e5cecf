#include "render/PixelMask.h"

#include <algorithm>
#include <cstring>

namespace pixel_mask {
namespace {

// Modules up to this wide are spread eight at a time through a table; wider ones a bar at a time.
constexpr int kTableModules = 8;

// For each module width m up to kTableModules and each byte of eight modules, the 8·m pixels
// they become, in the highest bits of the word.
struct SpreadTable {
    std::uint64_t pixels[kTableModules][256];
    constexpr SpreadTable() : pixels() {
        for (int m = 1; m <= kTableModules; ++m) {
            for (int byte = 0; byte < 256; ++byte) {
                std::uint64_t spread = 0;
                for (int k = 0; k < 8; ++k) {
                    const std::uint64_t module = (byte >> (7 - k)) & 1;
                    for (int p = 0; p < m; ++p) spread = spread << 1 | module;
                }
                pixels[m - 1][byte] = m == 8 ? spread : spread << (64 - 8 * m);
            }
        }
    }
};
constexpr SpreadTable kSpread;

// For each byte of a 1-bit mask, the four bytes of 4-bit pixels it becomes: 0xF for a set
// pixel, as a big-endian word.
struct NibbleTable {
    std::uint32_t nibbles[256];
    constexpr NibbleTable() : nibbles() {
        for (int byte = 0; byte < 256; ++byte) {
            std::uint32_t n = 0;
            for (int k = 0; k < 8; ++k) n = n << 4 | (((byte >> (7 - k)) & 1) != 0 ? 0xF : 0);
            nibbles[byte] = n;
        }
    }
};
constexpr NibbleTable kNibbles;

std::uint64_t HighBits(int n) {  // the n highest bits, n in 1..64
    return ~std::uint64_t{0} << (64 - n);
}

// Appends bits to a mask from a bit position on, a word at a time.
class BitWriter {
public:
    BitWriter(std::uint64_t* mask, std::int64_t position)
        : word_(mask + position / 64),
          used_(static_cast<int>(position % 64)),
          held_(*word_ & (used_ == 0 ? 0 : HighBits(used_))) {}
    // The `count` (1 to 64) highest bits of `bits`, the others 0.
    void Put(std::uint64_t bits, int count) {
        held_ |= bits >> used_;
        used_ += count;
        if (used_ >= 64) {
            *word_++ = held_;
            used_ -= 64;
            held_ = used_ == 0 ? 0 : bits << (count - used_);
        }
    }
    void Flush() {
        if (used_ > 0) *word_ = held_;
    }

private:
    std::uint64_t* word_;
    int used_;  // bits of held_ in use
    std::uint64_t held_;
};

std::uint64_t ReverseBits(std::uint64_t v) {
    v = (v >> 1 & 0x5555555555555555) | (v & 0x5555555555555555) << 1;
    v = (v >> 2 & 0x3333333333333333) | (v & 0x3333333333333333) << 2;
    v = (v >> 4 & 0x0F0F0F0F0F0F0F0F) | (v & 0x0F0F0F0F0F0F0F0F) << 4;
    return __builtin_bswap64(v);
}

}  // namespace

void Fill(std::uint64_t* mask, std::int64_t width, std::int64_t left, std::int64_t right) {
    left = std::max<std::int64_t>(left, 0);
    right = std::min(right, width);
    if (left >= right) return;
    const std::int64_t first = left / 64, last = (right - 1) / 64;
    const std::uint64_t head = ~std::uint64_t{0} >> (left % 64);
    const std::uint64_t tail = HighBits(static_cast<int>((right - 1) % 64) + 1);
    if (first == last) {
        mask[first] |= head & tail;
        return;
    }
    mask[first] |= head;
    for (std::int64_t w = first + 1; w < last; ++w) mask[w] = ~std::uint64_t{0};
    mask[last] |= tail;
}

void SpreadModules(const ModuleRow& row, std::int64_t module, std::int64_t offset,
                   std::int64_t width, std::uint64_t* mask) {
    if (module > kTableModules || offset >= width) {
        row.ForEachBar([&](std::int32_t first, std::int32_t count) {
            Fill(mask, width, offset + module * first, offset + module * (first + count));
        });
        return;
    }
    // Eight modules at a time, until the row or the picture ends; bits past the picture's width
    // may be set in its last word and are cleared after.
    const int m = static_cast<int>(module);
    const std::uint64_t* table = kSpread.pixels[m - 1];
    BitWriter out(mask, offset);
    const std::int64_t modules_shown = (width - offset + m - 1) / m;
    const std::int32_t modules =
        static_cast<std::int32_t>(std::min<std::int64_t>(row.length, modules_shown));
    for (std::int32_t first = 0; first < modules; first += 64) {
        std::uint64_t word = row.words[first / 64];
        const int in_word = std::min(64, modules - first);
        for (int k = 8; k <= in_word; k += 8, word <<= 8) out.Put(table[word >> 56], 8 * m);
        if (const int rest = in_word % 8; rest != 0) {
            out.Put(table[(word >> 56) & (0xFF00u >> rest)], rest * m);
        }
    }
    out.Flush();
    const std::int64_t words = WordsFor(width);
    if (width % 64 != 0) mask[words - 1] &= HighBits(static_cast<int>(width % 64));
}

void Mirror(std::uint64_t* mask, std::int64_t width) {
    const std::int64_t words = WordsFor(width);
    std::reverse(mask, mask + words);
    for (std::int64_t w = 0; w < words; ++w) mask[w] = ReverseBits(mask[w]);
    // The row now ends at the last word's end: move it back to the start.
    const int shift = static_cast<int>(words * 64 - width);
    if (shift == 0) return;
    for (std::int64_t w = 0; w < words; ++w) {
        const std::uint64_t next = w + 1 < words ? mask[w + 1] : 0;
        mask[w] = mask[w] << shift | next >> (64 - shift);
    }
}

void Pack(const std::uint64_t* mask, std::int64_t width, int bits, int bar, int back, BYTE* out) {
    const std::int64_t bytes = (width * bits + 7) / 8;
    if (bits == 1) {
        const std::uint64_t bar_bits = bar != 0 ? ~std::uint64_t{0} : 0;
        const std::uint64_t back_bits = back != 0 ? ~std::uint64_t{0} : 0;
        for (std::int64_t w = 0; w < WordsFor(width); ++w) {
            const std::uint64_t pixels =
                __builtin_bswap64((mask[w] & bar_bits) | (~mask[w] & back_bits));
            std::memcpy(out + 8 * w, &pixels, 8);
        }
    } else {
        const std::uint32_t bar_nibbles = 0x11111111u * static_cast<std::uint32_t>(bar);
        const std::uint32_t back_nibbles = 0x11111111u * static_cast<std::uint32_t>(back);
        const std::int64_t mask_bytes = (width + 7) / 8;
        for (std::int64_t k = 0; k < mask_bytes; ++k) {
            const auto byte = static_cast<unsigned>(mask[k / 8] >> (56 - 8 * (k % 8))) & 0xFF;
            const std::uint32_t set = kNibbles.nibbles[byte];
            const std::uint32_t pixels =
                __builtin_bswap32((set & bar_nibbles) | (~set & back_nibbles));
            std::memcpy(out + 4 * k, &pixels, 4);
        }
    }
    // The bits after the last pixel are 0.
    const int used = static_cast<int>((width * bits) % 8);
    if (used != 0) out[bytes - 1] = static_cast<BYTE>(out[bytes - 1] & (0xFF00 >> used));
}

}  // namespace pixel_mask
