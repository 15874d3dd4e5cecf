// Huffman codes as deflate writes them: lengths of at most a given number of bits, and the
// canonical codes those lengths stand for. Both work on the symbols a block uses alone, so that
// a small block costs little whatever the size of the alphabet.
#pragma once

#include <array>
#include <cstdint>

// The symbols that occur, in increasing order. At least two: a symbol that never occurs is
// added beside one that does, since some inflaters refuse a code of one symbol.
struct UsedSymbols {
    std::array<std::uint16_t, 288> symbol;
    int count = 0;
};
void CollectUsed(const std::uint32_t* frequencies, int symbols, UsedSymbols* used);

// lengths[s] for each used symbol s, by how often it occurs, no longer than `longest` bits;
// the code is complete. Other entries are left as they are.
void HuffmanLengths(const std::uint32_t* frequencies, const UsedSymbols& used, int longest,
                    std::uint8_t* lengths);

// The canonical code of each used symbol of those lengths, its bits reversed, as they are
// written lowest bit first.
void CanonicalCodes(const std::uint8_t* lengths, const UsedSymbols& used, std::uint16_t* codes);
