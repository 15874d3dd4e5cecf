// The PNG file: signature, IHDR, PLTE, one IDAT and IEND, written front to back into the
// output array, which was created at the file's exact length.
#include <cstring>
#include <initializer_list>

#include "component/QuillonState.h"

namespace {

constexpr BYTE kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr BYTE kHeaderType[4] = {'I', 'H', 'D', 'R'};
constexpr BYTE kPaletteType[4] = {'P', 'L', 'T', 'E'};
constexpr BYTE kDataType[4] = {'I', 'D', 'A', 'T'};
constexpr BYTE kEndType[4] = {'I', 'E', 'N', 'D'};

void BigEndian(std::uint32_t value, BYTE* out) {
    out[0] = static_cast<BYTE>(value >> 24);
    out[1] = static_cast<BYTE>(value >> 16);
    out[2] = static_cast<BYTE>(value >> 8);
    out[3] = static_cast<BYTE>(value);
}

}  // namespace

void QuillonState::StoreBigEndian(std::uint32_t value) {
    BigEndian(value, BigEndianWord);
}

// A run of bytes is stored at once; the array ends up exactly as with one element put per
// byte. Bytes that would fall outside the array are not stored.
void QuillonState::PutBytes(std::int32_t count, const BYTE* bytes) {
    LONG lower = 0, upper = -1;
    BYTE* data = nullptr;
    if (count > 0 && OutputArray != nullptr &&
        SUCCEEDED(SafeArrayGetLBound(OutputArray, 1, &lower)) &&
        SUCCEEDED(SafeArrayGetUBound(OutputArray, 1, &upper)) &&
        SUCCEEDED(SafeArrayAccessData(OutputArray, reinterpret_cast<void**>(&data)))) {
        const std::int64_t elements = std::int64_t{upper} - lower + 1;
        if (OutputPosition >= 0 && OutputPosition + std::int64_t{count} <= elements) {
            std::memcpy(data + OutputPosition, bytes, static_cast<std::size_t>(count));
        }
        SafeArrayUnaccessData(OutputArray);
    }
    OutputPosition += count;
}

void QuillonState::WritePng() {
    WriteSignature();
    WriteHeaderChunk();
    WritePaletteChunk();
    WriteDataChunk();
    WriteEndChunk();
}

void QuillonState::WriteSignature() {
    PutBytes(sizeof kSignature, kSignature);
}

void QuillonState::WriteHeaderChunk() {
    BYTE chunk[17];
    std::memcpy(chunk, kHeaderType, 4);
    BigEndian(static_cast<std::uint32_t>(PngWidth), chunk + 4);
    BigEndian(static_cast<std::uint32_t>(PngHeight), chunk + 8);
    chunk[12] = static_cast<BYTE>(BitDepth);
    chunk[13] = 3;  // indexed colour
    chunk[14] = 0;  // deflate
    chunk[15] = 0;  // adaptive filtering, every row filter type 0
    chunk[16] = 0;  // not interlaced

    StoreBigEndian(13);
    PutBytes(4, BigEndianWord);
    PutBytes(sizeof chunk, chunk);
    CrcReset();
    CrcUpdate(chunk, sizeof chunk);
    StoreBigEndian(~Crc);
    PutBytes(4, BigEndianWord);
}

void QuillonState::WritePaletteChunk() {
    // Always 2^BitDepth entries: the colours found, then white. At most 256 entries, so the
    // chunk fits a fixed buffer.
    BYTE chunk[4 + 3 * 256];
    const std::int32_t entries = PaletteEntries;
    std::memcpy(chunk, kPaletteType, 4);
    for (std::int32_t j = 0; j < entries; ++j) {
        const bool used = j < PaletteCount;
        chunk[4 + 3 * j] = used ? PaletteRed[j] : 0xFF;
        chunk[5 + 3 * j] = used ? PaletteGreen[j] : 0xFF;
        chunk[6 + 3 * j] = used ? PaletteBlue[j] : 0xFF;
    }
    const std::int32_t length = 4 + 3 * entries;

    StoreBigEndian(static_cast<std::uint32_t>(3 * entries));
    PutBytes(4, BigEndianWord);
    PutBytes(length, chunk);
    CrcReset();
    CrcUpdate(chunk, static_cast<std::size_t>(length));
    StoreBigEndian(~Crc);
    PutBytes(4, BigEndianWord);
}

// The CRC runs over the type and then over the stream where it lies: the same value as over
// one buffer holding both, without a third copy of the image data.
void QuillonState::WriteDataChunk() {
    StoreBigEndian(static_cast<std::uint32_t>(ZlibLength));
    PutBytes(4, BigEndianWord);
    PutBytes(4, kDataType);
    PutBytes(ZlibLength, ZlibStream);
    CrcReset();
    CrcUpdate(kDataType, 4);
    CrcUpdate(ZlibStream, static_cast<std::size_t>(ZlibLength));
    StoreBigEndian(~Crc);
    PutBytes(4, BigEndianWord);
    CoTaskMemFree(ZlibStream);
    ZlibStream = nullptr;
}

void QuillonState::WriteEndChunk() {
    StoreBigEndian(0);
    PutBytes(4, BigEndianWord);
    PutBytes(4, kEndType);
    CrcReset();
    CrcUpdate(kEndType, 4);
    StoreBigEndian(~Crc);
    PutBytes(4, BigEndianWord);
}

void QuillonState::ReleasePngBuffers() {
    for (BYTE** buffer : {&IndexBuffer, &ScanlineBuffer, &ZlibStream}) {
        CoTaskMemFree(*buffer);
        *buffer = nullptr;
    }
}
