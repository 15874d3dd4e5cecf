// The CRC-32 of PNG and zlib (reflected polynomial 0xEDB88320) over a run of bytes, on the
// register as CrcUpdate keeps it: no complement going in or coming out.
//
// Three ways to the same value: a byte at a time through CrcTable, which is the definition
// and the others' test oracle; eight bytes at a step through eight tables, which any
// processor runs; and folding sixteen bytes at a time with carry-less multiplication, where
// the processor has it. Crc32Update takes the fastest this processor has.
#pragma once

#include <cstddef>
#include <cstdint>

using CrcFunction = std::uint32_t (*)(std::uint32_t crc, const unsigned char* bytes,
                                      std::size_t count);

std::uint32_t Crc32ByteAtATime(std::uint32_t crc, const unsigned char* bytes, std::size_t count);
std::uint32_t Crc32Sliced(std::uint32_t crc, const unsigned char* bytes, std::size_t count);
// Null where the processor cannot multiply without carries (or the build cannot ask it to).
CrcFunction Crc32Folding();
std::uint32_t Crc32Update(std::uint32_t crc, const unsigned char* bytes, std::size_t count);
