// How the data is parsed into literals and matches, for what a barcode picture is:
// - most rows repeat the row above (a symbol row is many pixel rows), and the others share
//   their start and stop patterns and quiet zone with it: a copy from one row back runs from a
//   row's stop pattern through the rows that repeat it into the next row's start pattern, in
//   pieces of at most 258 bytes;
// - a run of one byte (the quiet zone's rows) is a copy from one byte back;
// - the rest, the codewords' bars, are literals: a match of their bytes elsewhere is short and
//   far back, and costs more bits than its bytes (measured: looking for them by a hash of 4
//   bytes made every picture tried both larger and slower);
// - a match is taken where it costs fewer bits than its literals, each taken as 5 bits (about
//   what a codeword's bytes take; pricing each byte by how often it occurs made no file
//   smaller).
// The rows keep filter type 0: a row equal to the one above is cheaper inside that one long
// copy than as the Up filter's row of zeros, which would start a copy of its own.
#include "library/compact/RowDeflate.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "library/compact/DeflateBlock.h"

namespace {

// Tokens kept before a block is written: bounds the memory of a large picture.
constexpr std::size_t kBlockTokens = 1 << 15;
// Bits of a literal, and of a match's length and distance codes, without their extra bits.
constexpr int kLiteralBits = 5;
constexpr int kMatchCodeBits = 9;

std::uint64_t Load(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// How many of the `room` bytes at `a` equal those at `b`, eight at a time.
std::size_t CommonLength(const std::uint8_t* a, const std::uint8_t* b, std::size_t room) {
    std::size_t n = 0;
    for (; n + 8 <= room; n += 8) {
        const std::uint64_t x = Load(a + n), y = Load(b + n);
        if (x != y) return n + static_cast<std::size_t>(std::countr_zero(x ^ y) / 8);
    }
    while (n < room && a[n] == b[n]) ++n;
    return n;
}

// The top bit of each of the eight bytes of `a` that equals the byte of `b` at its place.
std::uint64_t EqualBytes(std::uint64_t a, std::uint64_t b) {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    const std::uint64_t t = a ^ b;
    return ~(((t & kLow7) + kLow7) | t | kLow7);
}

// Of the eight bytes at `at`, how many come before the first where a match of 3 bytes or more
// may start, one row or one byte back (6 when none can in the first six).
std::size_t LiteralsAhead(const std::uint8_t* at, std::size_t row_bytes) {
    const std::uint64_t here = Load(at);
    const std::uint64_t equal = EqualBytes(here, Load(at - row_bytes));
    const std::uint64_t same = EqualBytes(here, Load(at - 1));
    const std::uint64_t starts =
        (equal & (equal >> 8) & (equal >> 16)) | (same & (same >> 8) & (same >> 16));
    return starts == 0 ? 6 : static_cast<std::size_t>(std::countr_zero(starts) / 8);
}

// The bits saved by a match instead of its literals; not positive where no match can be.
int Gain(std::size_t length, int distance_extra_bits) {
    if (length < kShortestMatch) return 0;
    return kLiteralBits * static_cast<int>(length) - kMatchCodeBits -
           kLengthCodes[length].extra_bits - distance_extra_bits;
}

}  // namespace

void DeflateRows(const std::uint8_t* data, std::size_t row_bytes, std::size_t rows,
                 std::string* out) {
    const std::size_t size = row_bytes * rows;
    BitWriter writer(out);
    // Tokens: about one a byte of the rows that are not repeats, a few for each repeat.
    TokenBlock block(std::min(kBlockTokens, 64 + size / 4));
    const int above_extra_bits = DistanceCode(static_cast<int>(row_bytes)).extra_bits;
    for (std::size_t at = 0; at < size;) {
        if (block.room() < 8) block.Write(false, &writer);
        // Within a row's codewords, most bytes are literals: skipped over eight at a time.
        if (at >= row_bytes && at + 8 <= size) {
            const std::size_t literals = LiteralsAhead(data + at, row_bytes);
            if (literals > 0) {
                for (std::size_t i = 0; i < literals; ++i) block.Literal(data[at + i]);
                at += literals;
                continue;
            }
        }
        const std::size_t room = std::min<std::size_t>(size - at, kLongestMatch);
        const std::size_t above =
            at >= row_bytes ? CommonLength(data + at, data + at - row_bytes, room) : 0;
        const std::size_t run = at >= 1 ? CommonLength(data + at, data + at - 1, room) : 0;
        const int above_gain = Gain(above, above_extra_bits);
        const int run_gain = Gain(run, 0);
        if (above_gain <= 0 && run_gain <= 0) {
            block.Literal(data[at]);
            ++at;
        } else if (above_gain >= run_gain) {
            block.Match(static_cast<int>(above), static_cast<int>(row_bytes));
            at += above;
        } else {
            block.Match(static_cast<int>(run), 1);
            at += run;
        }
    }
    block.Write(true, &writer);
    writer.Finish();
}
