// A row of pixels as one bit each, set where a bar is, and the work that makes a picture's rows
// from the symbol's: spreading a row's modules over pixels, filling spans, mirroring, and
// packing the mask as the capture packs a row. Words hold pixels from their highest bit, pixel
// x in bit 63 − x % 64 of word x / 64, so that a word read in order is the row read left to
// right.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Platform.h"
#include "render/ModuleRow.h"

namespace pixel_mask {

constexpr std::int64_t WordsFor(std::int64_t pixels) {
    return (pixels + 63) / 64;
}

// Sets pixels [left, right) of the mask, clipped to [0, width).
void Fill(std::uint64_t* mask, std::int64_t width, std::int64_t left, std::int64_t right);

// Sets the pixels of the bars of `row`, each module `module` pixels wide and module 0 starting
// at pixel `offset` (at least 0), clipped to [0, width). The mask must be clear.
void SpreadModules(const ModuleRow& row, std::int64_t module, std::int64_t offset,
                   std::int64_t width, std::uint64_t* mask);

// Turns the first `width` pixels of the mask left to right.
void Mirror(std::uint64_t* mask, std::int64_t width);

// The bytes a packed row may be written past its end: whole words are stored.
constexpr std::size_t kPackSlack = 8;

// The mask as a captured row of `bits` (1 or 4) a pixel: set pixels become entry `bar`, clear
// ones entry `back`, the first pixel in the highest bits, the bits after the last pixel 0.
// `out` has room for kPackSlack bytes past the row, which are left undefined.
void Pack(const std::uint64_t* mask, std::int64_t width, int bits, int bar, int back, BYTE* out);

}  // namespace pixel_mask
