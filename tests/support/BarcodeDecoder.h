// Decodes PDF417 symbols from a picture with zxing-cpp, the reference decoder of the tests.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tests/support/PngReader.h"

// The bytes carried by the first PDF417 symbol found, or nothing when none is found.
std::optional<std::vector<std::uint8_t>> DecodePdf417(const DecodedPng& picture);
