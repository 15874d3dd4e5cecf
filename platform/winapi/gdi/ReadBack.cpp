// The read-back into device-independent bitmaps (GetDIBits): at 1 or 4 bits a pixel each
// colour becomes its nearest entry of the standard colour table of that depth, at 32 bits the
// pixel words are copied. Each band is packed once and copied to its other rows.
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/winapi/gdi/BandedBitmap.h"

using gdi::Bitmap;
using gdi::ContextOf;
using gdi::Kind;
using gdi::kTableColours;
using gdi::Line;
using gdi::ObjectOf;

namespace {

// The standard 16-colour table, in the order of its indices.
constexpr RGBQUAD kVgaColors[16] = {
    {0x00, 0x00, 0x00, 0}, {0x00, 0x00, 0x80, 0}, {0x00, 0x80, 0x00, 0}, {0x00, 0x80, 0x80, 0},
    {0x80, 0x00, 0x00, 0}, {0x80, 0x00, 0x80, 0}, {0x80, 0x80, 0x00, 0}, {0x80, 0x80, 0x80, 0},
    {0xC0, 0xC0, 0xC0, 0}, {0x00, 0x00, 0xFF, 0}, {0x00, 0xFF, 0x00, 0}, {0x00, 0xFF, 0xFF, 0},
    {0xFF, 0x00, 0x00, 0}, {0xFF, 0x00, 0xFF, 0}, {0xFF, 0xFF, 0x00, 0}, {0xFF, 0xFF, 0xFF, 0},
};
constexpr RGBQUAD kMonochromeColors[2] = {{0x00, 0x00, 0x00, 0}, {0xFF, 0xFF, 0xFF, 0}};

int SquaredDistance(std::uint32_t pixel, const RGBQUAD& entry) {
    const int dr = static_cast<int>((pixel >> 16) & 0xFF) - entry.rgbRed;
    const int dg = static_cast<int>((pixel >> 8) & 0xFF) - entry.rgbGreen;
    const int db = static_cast<int>(pixel & 0xFF) - entry.rgbBlue;
    return dr * dr + dg * dg + db * db;
}

// Index of the table entry nearest to the pixel; the first of equally near entries wins.
BYTE NearestEntry(std::uint32_t pixel, const RGBQUAD* table, int entries) {
    int best = 0;
    int best_distance = SquaredDistance(pixel, table[0]);
    for (int i = 1; i < entries; ++i) {
        const int distance = SquaredDistance(pixel, table[i]);
        if (distance < best_distance) {
            best = i;
            best_distance = distance;
        }
    }
    return static_cast<BYTE>(best);
}

// Bit k of the result is bit 7 − k of the index: pixel 0 goes to the most significant bit.
struct BitReversal {
    BYTE table[256];
    constexpr BitReversal() : table() {
        for (int v = 0; v < 256; ++v) {
            int r = 0;
            for (int k = 0; k < 8; ++k) r |= ((v >> k) & 1) << (7 - k);
            table[v] = static_cast<BYTE>(r);
        }
    }
};
constexpr BitReversal kBitReversal;

// What one read-back makes of the picture's colour indices: the entry of the DIB's colour
// table that each becomes (1 or 4 bits), or the colour itself (32 bits).
class ReadBack {
public:
    ReadBack(const Bitmap& bitmap, int bits)
        : bits_(bits), colours_(bitmap.colours), count_(bitmap.colour_count) {
        if (bits == 32) return;
        const RGBQUAD* table = bits == 1 ? kMonochromeColors : kVgaColors;
        for (int i = 0; i < count_; ++i) entry_[i] = NearestEntry(colours_[i], table, 1 << bits);
#if defined(__SSE2__)
        if (count_ <= kFewColours) PrepareVectors();
#endif
    }

    // One line of colour indices, padded with zero bytes to `stride`.
    void PackLine(const BYTE* pixels, int width, BYTE* out, std::size_t stride) const {
        BYTE* const row_end = out + stride;
        if (bits_ == 32) {
            for (int x = 0; x < width; ++x) std::memcpy(out + 4 * x, &colours_[pixels[x]], 4);
            return;
        }
        int x = 0;
        if (bits_ == 1) {
            out = PackOneBit(pixels, width, out, &x);
            if (x < width) {
                unsigned byte = 0;
                for (int k = x; k < width; ++k) byte |= entry_[pixels[k]] << (7 - (k - x));
                *out++ = static_cast<BYTE>(byte);
            }
        } else {
            out = PackFourBits(pixels, width, out, &x);
            if (x < width) *out++ = static_cast<BYTE>(entry_[pixels[x]] << 4);
        }
        while (out < row_end) *out++ = 0;
    }

    // A line of one colour index: every pixel the same bits, the row's padding 0.
    void PackUniform(BYTE colour, int width, BYTE* out, std::size_t stride) const {
        if (bits_ == 32) {
            for (int x = 0; x < width; ++x) std::memcpy(out + 4 * x, &colours_[colour], 4);
            return;
        }
        const unsigned entry = entry_[colour];
        const BYTE pattern = static_cast<BYTE>(bits_ == 1 ? entry * 0xFF : entry * 0x11);
        const std::size_t whole_bytes = static_cast<std::size_t>(width) * bits_ / 8;
        const int rest = static_cast<int>(static_cast<std::size_t>(width) * bits_ % 8);
        std::memset(out, pattern, whole_bytes);
        std::size_t used = whole_bytes;
        if (rest > 0) out[used++] = static_cast<BYTE>(pattern & (0xFF << (8 - rest)));
        std::memset(out + used, 0, stride - used);
    }

private:
    // Whole bytes of 8 pixels from x = 0; sets *done to the pixels packed. Where the vector
    // unit is known to be there and the picture has at most 4 colours, as a symbol's has, 16
    // pixels at a time are compared with the two indices that stand for them (PrepareVectors).
    BYTE* PackOneBit(const BYTE* pixels, int width, BYTE* out, int* done) const {
        int x = 0;
#if defined(__SSE2__)
        if (count_ <= kFewColours) {
            for (; x + 16 <= width; x += 16) {
                const __m128i sixteen =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + x));
                const unsigned matches = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
                    _mm_cmpeq_epi8(sixteen, match_[0]), _mm_cmpeq_epi8(sixteen, match_[1]))));
                const unsigned ones = matches ^ flip_;
                *out++ = kBitReversal.table[ones & 0xFF];
                *out++ = kBitReversal.table[ones >> 8];
            }
        }
#endif
        for (; x + 8 <= width; x += 8) {
            unsigned byte = 0;
            for (int k = 0; k < 8; ++k) byte = (byte << 1) | entry_[pixels[x + k]];
            *out++ = static_cast<BYTE>(byte);
        }
        *done = x;
        return out;
    }

    // Whole bytes of 2 pixels from x = 0, as PackOneBit; 16 pixels at a time become the
    // entries' nibbles, then pairs of them a byte.
    BYTE* PackFourBits(const BYTE* pixels, int width, BYTE* out, int* done) const {
        int x = 0;
#if defined(__SSE2__)
        if (count_ <= kFewColours) {
            const __m128i low_nibble_of_pair = _mm_set1_epi16(0x00F0);
            for (; x + 16 <= width; x += 16) {
                const __m128i sixteen =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + x));
                __m128i nibbles = _mm_setzero_si128();
                for (int i = 0; i < kFewColours; ++i) {
                    nibbles = _mm_or_si128(
                        nibbles, _mm_and_si128(_mm_cmpeq_epi8(sixteen, index_[i]), nibble_[i]));
                }
                // Each 16-bit lane holds an even pixel's nibble in its low byte and the next
                // pixel's in its high byte; the byte they make is even << 4 | odd.
                const __m128i pairs =
                    _mm_or_si128(_mm_and_si128(_mm_slli_epi16(nibbles, 4), low_nibble_of_pair),
                                 _mm_srli_epi16(nibbles, 8));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(pairs, pairs));
                out += 8;
            }
        }
#endif
        for (; x + 2 <= width; x += 2) {
            *out++ = static_cast<BYTE>((entry_[pixels[x]] << 4) | entry_[pixels[x + 1]]);
        }
        *done = x;
        return out;
    }

#if defined(__SSE2__)
    // The vectors the packing compares with, for at most kFewColours colours. At 4 bits, each
    // index and its entry (indices from count_ on stand for no pixel). At 1 bit, of the
    // indices that become 1 and those that become 0, whichever are fewer (at most 2): their
    // matches are the 1 bits, or the 0 bits with flip_ set.
    void PrepareVectors() {
        for (int i = 0; i < kFewColours; ++i) {
            index_[i] = _mm_set1_epi8(static_cast<char>(i < count_ ? i : kNoIndex));
            nibble_[i] = _mm_set1_epi8(static_cast<char>(i < count_ ? entry_[i] : 0));
        }
        BYTE ones[kFewColours], zeros[kFewColours];
        int one_count = 0, zero_count = 0;
        for (int i = 0; i < count_; ++i) {
            if (entry_[i] != 0) {
                ones[one_count++] = static_cast<BYTE>(i);
            } else {
                zeros[zero_count++] = static_cast<BYTE>(i);
            }
        }
        const bool by_ones = one_count <= zero_count;
        const BYTE* matched = by_ones ? ones : zeros;
        const int matched_count = by_ones ? one_count : zero_count;
        flip_ = by_ones ? 0 : 0xFFFF;
        for (int k = 0; k < 2; ++k) {
            match_[k] = _mm_set1_epi8(static_cast<char>(k < matched_count ? matched[k] : kNoIndex));
        }
    }

#endif

    static constexpr int kFewColours = 4;
    int bits_;
    const std::uint32_t* colours_;
    int count_;
    BYTE entry_[kTableColours] = {};
#if defined(__SSE2__)
    static constexpr BYTE kNoIndex = 0xFF;  // no pixel's index with few colours
    __m128i index_[kFewColours];
    __m128i nibble_[kFewColours];
    __m128i match_[2];
    unsigned flip_ = 0;
#endif
};

// Copies the row of `stride` bytes at `first` into the `copies` rows after it, doubling the
// copied rows at each step: a band of many rows takes few copies.
void ReplicateRow(BYTE* first, std::size_t stride, int copies) {
#if defined(__SSE2__)
    // The rows of a narrow picture are held in a few vector registers and stored once a row:
    // a call for each short copy cost more than the copy.
    if (stride >= 16 && stride <= 64) {
        __m128i pieces[4];
        const std::size_t last = stride - 16;
        for (std::size_t i = 0; i < last; i += 16) {
            pieces[i / 16] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + i));
        }
        const __m128i end = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + last));
        for (int c = 1; c <= copies; ++c) {
            BYTE* row = first + static_cast<std::size_t>(c) * stride;
            for (std::size_t i = 0; i < last; i += 16) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), pieces[i / 16]);
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + last), end);
        }
        return;
    }
#endif
    std::size_t done = 1;  // rows that hold the row
    const std::size_t total = static_cast<std::size_t>(copies) + 1;
    while (done < total) {
        const std::size_t now = std::min(done, total - done);
        std::memcpy(first + done * stride, first, now * stride);
        done += now;
    }
}

// A row of a plain picture: each pixel's nearest entry, found once for each run of equal
// pixels.
void PackPlainRow(const std::uint32_t* pixels, int width, int bits, BYTE* out, std::size_t stride) {
    if (bits == 32) {
        std::memcpy(out, pixels, static_cast<std::size_t>(width) * 4);
        return;
    }
    const RGBQUAD* table = bits == 1 ? kMonochromeColors : kVgaColors;
    std::memset(out, 0, stride);
    std::uint32_t last = pixels[0];
    unsigned entry = NearestEntry(last, table, 1 << bits);
    for (int x = 0; x < width; ++x) {
        if (pixels[x] != last) {
            last = pixels[x];
            entry = NearestEntry(last, table, 1 << bits);
        }
        const std::size_t bit = static_cast<std::size_t>(x) * bits;
        out[bit / 8] = static_cast<BYTE>(out[bit / 8] | entry << (8 - bits - bit % 8));
    }
}

}  // namespace

int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi,
              UINT usage) {
    Bitmap* bitmap = ObjectOf<Bitmap>(reinterpret_cast<void*>(hbm), Kind::Bitmap);
    if (ContextOf(hdc) == nullptr || bitmap == nullptr || bitmap->stock || lpvBits == nullptr ||
        lpbmi == nullptr || usage != DIB_RGB_COLORS) {
        return 0;
    }
    const BITMAPINFOHEADER& header = lpbmi->bmiHeader;
    const int bits = header.biBitCount;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 ||
        header.biCompression != BI_RGB || (bits != 1 && bits != 4 && bits != 32)) {
        return 0;
    }
    const bool bottom_up = header.biHeight > 0;
    const std::int64_t dib_height = bottom_up ? header.biHeight : -std::int64_t{header.biHeight};
    if (header.biWidth != bitmap->width || dib_height != bitmap->height ||
        start >= static_cast<UINT>(bitmap->height)) {
        return 0;
    }
    if (bitmap->lost) return 0;
    const int lines = static_cast<int>(std::min<std::int64_t>(cLines, bitmap->height - start));

    const RGBQUAD* table = bits == 1 ? kMonochromeColors : kVgaColors;
    const int entries = bits == 32 ? 0 : 1 << bits;
    auto* colors = reinterpret_cast<RGBQUAD*>(reinterpret_cast<BYTE*>(lpbmi) + header.biSize);
    for (int i = 0; i < entries; ++i) colors[i] = table[i];

    const std::size_t stride =
        ((static_cast<std::size_t>(bitmap->width) * bits + 31) & ~std::size_t{31}) / 8;
    auto* const base = static_cast<BYTE*>(lpvBits);
    if (bitmap->plain != nullptr) {
        for (int j = 0; j < lines; ++j) {
            const std::int64_t line_number = static_cast<std::int64_t>(start) + j;
            const std::int64_t y = bottom_up ? bitmap->height - 1 - line_number : line_number;
            PackPlainRow(bitmap->plain + y * bitmap->width, bitmap->width, bits,
                         base + static_cast<std::size_t>(j) * stride, stride);
        }
        return lines;
    }
    const ReadBack read_back(*bitmap, bits);
    // Each distinct line is packed once, into the first of the rows of its band that the
    // read-back meets in a row (the band's rows are next to each other in the DIB, in either
    // order), which are then copied from it; a band met again later copies from where its line
    // was packed.
    const std::uint64_t read = ++bitmap->reads;
    for (int j = 0; j < lines;) {
        BYTE* const out = base + static_cast<std::size_t>(j) * stride;
        const std::int64_t line_number = static_cast<std::int64_t>(start) + j;
        const std::int64_t y = bottom_up ? bitmap->height - 1 - line_number : line_number;
        Line* line = bitmap->rows[y];
        const int in_band = static_cast<int>(bottom_up ? y - line->top + 1 : line->end - y);
        const int rows = std::min(in_band, lines - j);
        if (line->packed_in == read) {
            std::memcpy(out, base + line->packed_at, stride);
        } else if (line->uniform) {
            read_back.PackUniform(line->colour, bitmap->width, out, stride);
        } else {
            read_back.PackLine(line->pixels, bitmap->width, out, stride);
        }
        ReplicateRow(out, stride, rows - 1);
        line->packed_in = read;
        line->packed_at = static_cast<std::size_t>(out - base);
        j += rows;
    }
    return lines;
}
