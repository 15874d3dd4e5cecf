#include "hosts/serve/ContentHash.h"

#include <bit>
#include <cstring>

namespace {

// The primes and the step of xxHash64: each step is a bijection of the running value for a
// given word, and of the word for a given running value.
constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ull;

std::uint64_t Step(std::uint64_t value, std::uint64_t word) {
    return std::rotl(value + word * kPrime2, 31) * kPrime1;
}

// Up to eight bytes as a little-endian word, whatever the machine's byte order.
std::uint64_t Word(const unsigned char* bytes, std::size_t count) {
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < count; ++i) word |= std::uint64_t{bytes[i]} << (8 * i);
    return word;
}

// Eight bytes as Word reads them, in one load where the machine is little-endian (the
// compiler does not see the loop above as one when its count is not known).
std::uint64_t WholeWord(const unsigned char* bytes) {
    if constexpr (std::endian::native != std::endian::little) return Word(bytes, 8);
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

}  // namespace

std::uint64_t ContentHash(std::string_view bytes, std::uint64_t seed) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t left = bytes.size();
    std::uint64_t value = seed + kPrime3 + bytes.size();
    if (left >= 32) {
        // Four lanes, 32 bytes a round: each step waits for its lane's last one, so four
        // chains side by side run about four times as fast as one. Each lane changes with
        // each of its words alone, and the sum with each lane alone.
        std::uint64_t lane[4] = {value + kPrime1 + kPrime2, value + kPrime2, value,
                                 value - kPrime1};
        for (; left >= 32; p += 32, left -= 32) {
            for (int i = 0; i < 4; ++i) lane[i] = Step(lane[i], WholeWord(p + 8 * i));
        }
        value = std::rotl(lane[0], 1) + std::rotl(lane[1], 7) + std::rotl(lane[2], 12) +
                std::rotl(lane[3], 18);
    }
    for (; left >= 8; p += 8, left -= 8) value = Step(value, WholeWord(p));
    if (left > 0) value = Step(value, Word(p, left));
    // Spread every bit over the whole value, as xxHash64 ends.
    value ^= value >> 33;
    value *= kPrime2;
    value ^= value >> 29;
    value *= kPrime3;
    return value ^ (value >> 32);
}
