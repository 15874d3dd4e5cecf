// Decodes PDF417 symbols from a picture with zxing-cpp, the reference decoder of the tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
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

// The first PDF417 symbol found, with what zxing-cpp reports beside its bytes.
struct DecodedSymbol {
    std::vector<std::uint8_t> bytes;  // without any ECI designator
    bool hasEci = false;
    std::string text;  // the bytes as text, through the ECI's character set when there is one
    std::string ecLevel;
    // Macro PDF417 (structured append): the segment's index, the set's size (0 when unknown,
    // −1 for a symbol that is no segment) and its file ID.
    int sequenceIndex = -1;
    int sequenceSize = -1;
    std::string sequenceId;
};
std::optional<DecodedSymbol> DecodePdf417Symbol(const DecodedPng& picture,
                                                DecodeEffort effort = DecodeEffort::SearchThenPure);

// The bytes of a whole Macro PDF417 set, one symbol per picture in any order, joined as
// zxing-cpp joins a structured-append sequence; nothing when a symbol is not found or the set
// is not whole.
std::optional<std::vector<std::uint8_t>> JoinPdf417Set(const std::vector<DecodedPng>& pictures);
