// Huffman codes as deflate writes them: lengths of at most a given number of bits, and the
// canonical codes those lengths stand for.
#pragma once

#include <cstdint>

// lengths[i] for each of the `count` symbols by how often it occurs (0: it never does), no
// longer than `longest` bits. The code is always complete, with at least two symbols, since
// some inflaters refuse an incomplete one: a block that uses only one symbol gets a second.
void HuffmanLengths(const std::uint32_t* frequencies, int count, int longest,
                    std::uint8_t* lengths);

// The canonical code of each symbol of those lengths, its bits reversed, as they are written
// lowest bit first.
void CanonicalCodes(const std::uint8_t* lengths, int count, std::uint16_t* codes);
