#include "png/Crc32.h"

#include "png/CrcTable.h"

std::uint32_t Crc32ByteAtATime(std::uint32_t crc, const unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) crc = (crc >> 8) ^ CrcTable[(crc ^ bytes[i]) & 0xFF];
    return crc;
}

// Eight bytes at a step: the same register as one byte at a time, in an eighth of the table
// look-ups that each wait for the one before.
std::uint32_t Crc32Sliced(std::uint32_t crc, const unsigned char* bytes, std::size_t count) {
    const auto& t = CrcSliceTables;
    for (; count >= 8; count -= 8, bytes += 8) {
        const std::uint32_t low =
            crc ^ (std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                   std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^
              t[4][low >> 24] ^ t[3][bytes[4]] ^ t[2][bytes[5]] ^ t[1][bytes[6]] ^ t[0][bytes[7]];
    }
    return Crc32ByteAtATime(crc, bytes, count);
}

std::uint32_t Crc32Update(std::uint32_t crc, const unsigned char* bytes, std::size_t count) {
    // Folding starts with four blocks of sixteen bytes; below that, the tables are as fast.
    constexpr std::size_t kFoldingFrom = 64;
    static const CrcFunction folding = Crc32Folding();
    if (folding != nullptr && count >= kFoldingFrom) return folding(crc, bytes, count);
    return Crc32Sliced(crc, bytes, count);
}
