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
        for (int step = 0; step < 8; ++step) c = (c & 1) != 0 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[k] = c;
    }
    return table;
}

inline constexpr std::array<std::uint32_t, 256> CrcTable = MakeCrcTable();

// Eight tables for the same CRC taken eight bytes at a step ("slicing by 8"): table k gives
// the effect of a byte followed by k zero bytes. They follow from CrcTable alone.
constexpr std::array<std::array<std::uint32_t, 256>, 8> MakeCrcSliceTables() {
    std::array<std::array<std::uint32_t, 256>, 8> tables{};
    tables[0] = MakeCrcTable();
    for (int k = 1; k < 8; ++k) {
        for (int i = 0; i < 256; ++i) {
            const std::uint32_t previous = tables[k - 1][i];
            tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFF];
        }
    }
    return tables;
}

inline constexpr std::array<std::array<std::uint32_t, 256>, 8> CrcSliceTables =
    MakeCrcSliceTables();
