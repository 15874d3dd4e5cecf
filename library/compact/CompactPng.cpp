// The component's file, read strictly, is: the signature; IHDR of 13 bytes (width and height
// 1..32767, bit depth 1, 2, 4 or 8, colour type 3, no interlace); PLTE of 2^depth entries; one
// IDAT holding the zlib header 78 DA, stored blocks of 65531 bytes and a final one of the
// rest, and the Adler-32 of the scanlines; IEND. Every row's filter byte is 0, so the data
// compressed here is the scanlines exactly as stored, and their Adler-32 stays the same.
#include "library/compact/CompactPng.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "library/compact/RowDeflate.h"
#include "png/Crc32.h"

namespace {

constexpr std::size_t kSignatureBytes = 8;
constexpr std::size_t kHeaderChunkBytes = 25;  // length, type, 13 bytes of data, CRC
constexpr std::size_t kChunkFrame = 12;        // length, type and CRC around the data
constexpr std::size_t kStoredBlockBytes = 65531;
constexpr std::size_t kStoredBlockHeader = 5;
constexpr std::uint32_t kLargestSide = 32767;
constexpr unsigned char kZlibHeader[2] = {0x78, 0xDA};
constexpr unsigned char kEndChunk[kChunkFrame] = {0,   0,   0,    0,    'I',  'E',
                                                  'N', 'D', 0xAE, 0x42, 0x60, 0x82};

std::uint32_t BigEndian(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

void AppendBigEndian(std::uint32_t value, std::string* out) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    out->append(bytes, 4);
}

bool IsChunk(const unsigned char* at, std::size_t length, const char* type) {
    return BigEndian(at) == length && std::memcmp(at + 4, type, 4) == 0;
}

// Where the parts of a file of the component's form are; `rows` is null when it is not one.
struct StoredPicture {
    std::size_t row_bytes = 0;  // the filter byte and the pixels
    std::size_t height = 0;
    std::size_t palette_end = 0;          // where IDAT starts
    const unsigned char* rows = nullptr;  // the scanlines, inside the file or `joined`
    std::vector<unsigned char> joined;    // the scanlines of several stored blocks
    const unsigned char* adler = nullptr;
};

bool Read(std::string_view file, StoredPicture* picture) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
    static constexpr unsigned char kSignature[kSignatureBytes] = {0x89, 'P',  'N',  'G',
                                                                  '\r', '\n', 0x1A, '\n'};
    if (file.size() < kSignatureBytes + kHeaderChunkBytes ||
        std::memcmp(bytes, kSignature, kSignatureBytes) != 0 ||
        !IsChunk(bytes + kSignatureBytes, 13, "IHDR")) {
        return false;
    }
    const unsigned char* header = bytes + kSignatureBytes + 8;
    const std::uint32_t width = BigEndian(header), height = BigEndian(header + 4);
    const unsigned depth = header[8];
    if (width - 1 >= kLargestSide || height - 1 >= kLargestSide ||
        (depth != 1 && depth != 2 && depth != 4 && depth != 8) || header[9] != 3 ||
        header[10] != 0 || header[11] != 0 || header[12] != 0) {
        return false;
    }
    const std::size_t palette_at = kSignatureBytes + kHeaderChunkBytes;
    const std::size_t palette_bytes = 3 * (std::size_t{1} << depth);
    picture->palette_end = palette_at + kChunkFrame + palette_bytes;
    picture->row_bytes = 1 + (std::size_t{width} * depth + 7) / 8;
    picture->height = height;
    const std::size_t scanline_bytes = picture->row_bytes * height;
    const std::size_t blocks = (scanline_bytes + kStoredBlockBytes - 1) / kStoredBlockBytes;
    const std::size_t zlib_bytes = 2 + blocks * kStoredBlockHeader + scanline_bytes + 4;
    if (file.size() != picture->palette_end + kChunkFrame + zlib_bytes + kChunkFrame ||
        !IsChunk(bytes + palette_at, palette_bytes, "PLTE") ||
        !IsChunk(bytes + picture->palette_end, zlib_bytes, "IDAT") ||
        std::memcmp(bytes + file.size() - kChunkFrame, kEndChunk, kChunkFrame) != 0) {
        return false;
    }
    const unsigned char* zlib = bytes + picture->palette_end + 8;
    if (std::memcmp(zlib, kZlibHeader, 2) != 0) return false;
    const unsigned char* block = zlib + 2;
    if (blocks > 1) picture->joined.reserve(scanline_bytes);
    for (std::size_t b = 0; b < blocks; ++b) {
        const bool last = b + 1 == blocks;
        const std::size_t length =
            last ? scanline_bytes - kStoredBlockBytes * (blocks - 1) : kStoredBlockBytes;
        if (block[0] != (last ? 1 : 0) || block[1] != (length & 0xFF) ||
            block[2] != (length >> 8) || block[3] != (~length & 0xFF) ||
            block[4] != ((~length >> 8) & 0xFF)) {
            return false;
        }
        if (blocks > 1) {
            picture->joined.insert(picture->joined.end(), block + kStoredBlockHeader,
                                   block + kStoredBlockHeader + length);
        } else {
            picture->rows = block + kStoredBlockHeader;
        }
        block += kStoredBlockHeader + length;
    }
    if (blocks > 1) picture->rows = picture->joined.data();
    picture->adler = block;
    for (std::size_t y = 0; y < height; ++y) {
        if (picture->rows[y * picture->row_bytes] != 0) {
            picture->rows = nullptr;
            return false;
        }
    }
    return true;
}

}  // namespace

bool CompactPng(std::string_view stored, std::string* compact) {
    StoredPicture picture;
    if (!Read(stored, &picture)) return false;
    compact->clear();
    compact->reserve(stored.size() / 4 + 256);
    // The signature, IHDR and PLTE as they were, and the new IDAT.
    compact->append(stored.substr(0, picture.palette_end));
    const std::size_t idat_at = compact->size();
    compact->append("\0\0\0\0IDAT", 8);
    compact->append(reinterpret_cast<const char*>(kZlibHeader), 2);
    DeflateRows(picture.rows, picture.row_bytes, picture.height, compact);
    compact->append(reinterpret_cast<const char*>(picture.adler), 4);
    const std::size_t data_bytes = compact->size() - idat_at - 8;
    if (compact->size() + 4 + kChunkFrame >= stored.size()) return false;
    const auto* type = reinterpret_cast<const unsigned char*>(compact->data() + idat_at + 4);
    const std::uint32_t crc = ~Crc32Update(0xFFFFFFFFu, type, 4 + data_bytes);
    for (int i = 0; i < 4; ++i)
        (*compact)[idat_at + i] = static_cast<char>(data_bytes >> (24 - 8 * i));
    AppendBigEndian(crc, compact);
    compact->append(reinterpret_cast<const char*>(kEndChunk), kChunkFrame);
    return true;
}

void CompactPng(std::string* png) {
    std::string compact;
    if (CompactPng(*png, &compact)) png->swap(compact);
}
