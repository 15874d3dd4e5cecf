// The PNG file: signature, IHDR, PLTE, one IDAT and IEND, written front to back into the
// output array, which was created at the file's exact length.
#include <cstring>
#include <initializer_list>

#include "component/state/QuillonState.h"

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

// Every chunk alike: its data length, its type and data, and the CRC of type and data. The
// CRC runs over the type and then over the data where it lies: the same value as over one
// buffer holding both, without a copy of the image data.
void QuillonState::WriteChunk(const BYTE* type, const BYTE* data, std::uint32_t length) {
    StoreBigEndian(length);
    PutBytes(4, BigEndianWord);
    PutBytes(4, type);
    PutBytes(static_cast<std::int32_t>(length), data);
    CrcReset();
    CrcUpdate(type, 4);
    CrcUpdate(data, length);
    Crc = ~Crc;
    StoreBigEndian(Crc);
    PutBytes(4, BigEndianWord);
}

void QuillonState::WriteHeaderChunk() {
    BYTE data[13];
    BigEndian(static_cast<std::uint32_t>(PngWidth), data);
    BigEndian(static_cast<std::uint32_t>(PngHeight), data + 4);
    data[8] = static_cast<BYTE>(BitDepth);
    data[9] = 3;   // indexed colour
    data[10] = 0;  // deflate
    data[11] = 0;  // adaptive filtering, every row filter type 0
    data[12] = 0;  // not interlaced
    WriteChunk(kHeaderType, data, sizeof data);
}

void QuillonState::WritePaletteChunk() {
    // Always 2^BitDepth entries: the colours found, then white. At most 256 entries, so the
    // data fits a fixed buffer.
    BYTE data[3 * 256];
    const std::int32_t entries = PaletteEntries;
    for (std::int32_t j = 0; j < entries; ++j) {
        const bool used = j < PaletteCount;
        data[3 * j] = used ? PaletteRed[j] : 0xFF;
        data[3 * j + 1] = used ? PaletteGreen[j] : 0xFF;
        data[3 * j + 2] = used ? PaletteBlue[j] : 0xFF;
    }
    WriteChunk(kPaletteType, data, static_cast<std::uint32_t>(3 * entries));
}

void QuillonState::WriteDataChunk() {
    WriteChunk(kDataType, ZlibStream, static_cast<std::uint32_t>(ZlibLength));
    CoTaskMemFree(ZlibStream);
    ZlibStream = nullptr;
}

void QuillonState::WriteEndChunk() {
    WriteChunk(kEndType, nullptr, 0);
}

void QuillonState::ReleasePngBuffers() {
    for (BYTE** buffer : {&IndexBuffer, &ScanlineBuffer, &ZlibStream}) {
        CoTaskMemFree(*buffer);
        *buffer = nullptr;
    }
}
