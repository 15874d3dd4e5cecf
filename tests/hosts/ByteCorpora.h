// Data that a barcode tool must carry byte for byte: what a text road loses (the zero byte,
// the C1 range, Latin-1 letters that are not UTF-8) and bytes of every value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ByteCorpus {
    const char* name;
    std::string bytes;
};

// Bytes of every value in no order a compaction favours, the same everywhere (xorshift32).
inline std::string RandomBytes(std::size_t size) {
    std::string random;
    std::uint32_t state = 2463534242u;
    while (random.size() < size) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        random.push_back(static_cast<char>(state >> 24));
    }
    return random;
}

inline std::vector<ByteCorpus> ByteCorpora() {
    const std::string random = RandomBytes(300);
    std::string c1;
    for (int byte = 0x80; byte <= 0x9F; ++byte) c1.push_back(static_cast<char>(byte));
    return {
        {"300 random bytes", random},
        {"zero bytes", std::string("zero\0byte\0\0", 11)},
        {"a zero byte alone", std::string(1, '\0')},
        {"0x80 to 0x9F", c1},
        {"Latin-1 e acute", "caf\xE9"},
        {"tildes beside a zero byte", std::string("~d065 ~\0~", 9)},
        {"a final line break", "two\r\nlines\r\n"},
    };
}
