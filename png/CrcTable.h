// The CRC-32 of PNG and zlib (ISO 3309 / ITU-T V.42, reflected polynomial 0xEDB88320):
// entry k is k after eight steps of "shift right one bit, then XOR the polynomial when the
// bit shifted out was 1". Computed by the compiler, so it is a constant of the program.
#pragma once

#include <array>
#include <cstdint>

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t k = 0; k < 256; ++k) {
        std::uint32_t c = k;
        for (int step = 0; step < 8; ++step)
            c = (c & 1) != 0 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[k] = c;
    }
    return table;
}

inline constexpr std::array<std::uint32_t, 256> CrcTable = MakeCrcTable();
