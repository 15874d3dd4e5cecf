// Decodes PDF417 symbols from a picture with zxing-cpp, the reference decoder of the tests.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tests/support/PngReader.h"

// How hard to look. Searching finds symbols anywhere in a picture. A picture that holds one
// whole symbol and its quiet zone can also be read in zxing's "pure" mode, which reads some
// symbols its search misses; on a picture that shows only part of a symbol that mode can
// crash zxing 1.4, so it is for pictures known to hold a whole symbol.
enum class DecodeEffort { Search, SearchThenPure };

// The bytes carried by the first PDF417 symbol found, or nothing when none is found.
std::optional<std::vector<std::uint8_t>> DecodePdf417(
    const DecodedPng& picture, DecodeEffort effort = DecodeEffort::SearchThenPure);
