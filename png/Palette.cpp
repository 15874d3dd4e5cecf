// The palette: the picture's distinct colours in the order they first appear, reading from
// the top-left pixel row by row.
//
// It comes from the capture's colour table: the table entries the picture uses, in the order
// of their first pixels, are each looked up in the palette by their colour, or added to it, so
// that equal colours share an entry, as comparing every pixel's own colour would give. Only
// the first row of each run of equal rows is read, within it only the bytes that may hold an
// entry not met yet, and the search ends once every entry has been met.
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "component/state/QuillonState.h"
#include "png/CapturedRows.h"

namespace {

// For every byte of 1-bit or of 4-bit pixels, the table entries it holds: bit e for entry e.
struct EntriesInByte {
    std::uint16_t one_bit[256];
    std::uint16_t four_bits[256];
    constexpr EntriesInByte() : one_bit(), four_bits() {
        for (int v = 0; v < 256; ++v) {
            one_bit[v] = static_cast<std::uint16_t>((v != 0 ? 2 : 0) | (v != 0xFF ? 1 : 0));
            four_bits[v] = static_cast<std::uint16_t>((1 << (v >> 4)) | (1 << (v & 15)));
        }
    }
};
constexpr EntriesInByte kEntriesInByte;

// The table entries a picture uses, in the order of their first pixels.
class FirstAppearances {
public:
    explicit FirstAppearances(int bits)
        : bits_(bits),
          entries_(1 << bits),
          in_byte_(bits == 1   ? kEntriesInByte.one_bit
                   : bits == 4 ? kEntriesInByte.four_bits
                               : nullptr) {}

    bool Complete() const { return count_ == entries_; }
    int count() const { return count_; }
    BYTE operator[](int i) const { return order_[i]; }

    void ReadRow(const BYTE* row, std::int32_t width) {
        const int per_byte = 8 / bits_;
        const std::int32_t whole = width / per_byte;  // bytes whose every pixel counts
        // Most rows hold no entry not met yet: one pass tells, and only a row that holds more
        // is read pixel by pixel.
        if (in_byte_ != nullptr && OnlyMetEntries(row, whole)) {
            if (whole * per_byte < width) MeetPixels(row[whole], width - whole * per_byte);
            return;
        }
        for (std::int32_t i = 0; i < whole; ++i) {
            if (in_byte_ == nullptr || (in_byte_[row[i]] & ~met_mask_) != 0) {
                MeetPixels(row[i], per_byte);
            }
        }
        if (whole * per_byte < width) MeetPixels(row[whole], width - whole * per_byte);
    }

private:
    // Whether the first `bytes` bytes of a 1- or 4-bit row hold only entries met already. At 4
    // bits, where the vector unit is known to be there and few entries are met, as in a
    // picture of a symbol, 32 pixels at a time are compared with each of them.
    bool OnlyMetEntries(const BYTE* row, std::int32_t bytes) const {
        std::int32_t i = 0;
#if defined(__SSE2__)
        if (bits_ == 4 && count_ <= kFewEntries) {
            const __m128i nibble = _mm_set1_epi8(0x0F);
            for (; i + 16 <= bytes; i += 16) {
                const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
                const __m128i first = _mm_and_si128(_mm_srli_epi16(pixels, 4), nibble);
                const __m128i second = _mm_and_si128(pixels, nibble);
                __m128i first_met = _mm_setzero_si128();
                __m128i second_met = _mm_setzero_si128();
                for (int k = 0; k < count_; ++k) {
                    const __m128i entry = _mm_set1_epi8(static_cast<char>(order_[k]));
                    first_met = _mm_or_si128(first_met, _mm_cmpeq_epi8(first, entry));
                    second_met = _mm_or_si128(second_met, _mm_cmpeq_epi8(second, entry));
                }
                if (_mm_movemask_epi8(_mm_and_si128(first_met, second_met)) != 0xFFFF) return false;
            }
        }
#endif
        std::uint16_t held = 0;
        for (; i < bytes; ++i) held |= in_byte_[row[i]];
        return (held & ~met_mask_) == 0;
    }

    // The first `count` pixels of a byte, highest bits first.
    void MeetPixels(BYTE byte, int count) {
        for (int k = 0; k < count; ++k) Meet((byte >> (8 - bits_ * (k + 1))) & (entries_ - 1));
    }
    void Meet(int entry) {
        if (met_[entry]) return;
        met_[entry] = true;
        if (entry < 16) met_mask_ = static_cast<std::uint16_t>(met_mask_ | (1u << entry));
        order_[count_++] = static_cast<BYTE>(entry);
    }

    static constexpr int kFewEntries = 4;
    int bits_;
    int entries_;
    const std::uint16_t* in_byte_;
    bool met_[256] = {};
    std::uint16_t met_mask_ = 0;  // met_ of the first 16 entries
    BYTE order_[256] = {};
    int count_ = 0;
};

}  // namespace

void QuillonState::BuildPalette() {
    const CapturedRows rows(*this);
    PngWidth = rows.width;
    PngHeight = rows.height;

    FirstAppearances entries(rows.bits);
    rows.ForEachRun([&](const BYTE* row, std::int32_t) {
        entries.ReadRow(row, rows.width);
        return !entries.Complete();
    });

    PaletteCount = 0;
    std::memset(PaletteIndexOfEntry, 0, sizeof PaletteIndexOfEntry);  // entries not in the picture
    for (int i = 0; i < entries.count(); ++i) {
        const RGBQUAD& colour = rows.table[entries[i]];
        int j = 0;
        while (j < PaletteCount &&
               (PaletteRed[j] != colour.rgbRed || PaletteGreen[j] != colour.rgbGreen ||
                PaletteBlue[j] != colour.rgbBlue)) {
            ++j;
        }
        if (j == PaletteCount) {
            PaletteRed[j] = colour.rgbRed;
            PaletteGreen[j] = colour.rgbGreen;
            PaletteBlue[j] = colour.rgbBlue;
            ++PaletteCount;
        }
        PaletteIndexOfEntry[entries[i]] = static_cast<BYTE>(j);
    }
    BitDepth = PaletteCount <= 2 ? 1 : PaletteCount <= 4 ? 2 : PaletteCount <= 16 ? 4 : 8;
    PaletteEntries = 1 << BitDepth;
}
