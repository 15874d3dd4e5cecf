// The PNG file: signature, IHDR, PLTE, one IDAT and IEND, written front to back into the
// output array, which was created at the file's exact length.
#include <cstring>

#include "component/state/QuillonState.h"
#include "png/BigEndian.h"

namespace {

constexpr BYTE kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr BYTE kHeaderType[4] = {'I', 'H', 'D', 'R'};
constexpr BYTE kPaletteType[4] = {'P', 'L', 'T', 'E'};
constexpr BYTE kDataType[4] = {'I', 'D', 'A', 'T'};
constexpr BYTE kEndType[4] = {'I', 'E', 'N', 'D'};

// Calls write(destination) to store `count` bytes at OutputPosition, then advances it. The
// array ends up exactly as with one element put per byte; bytes that would fall outside it
// are not stored. The array's data is held for this piece alone unless it is held already.
template <typename Write>
void WriteAtOutputPosition(QuillonState& q, std::int32_t count, Write write) {
    if (count > 0) {
        const bool held = q.OutputData != nullptr;
        if (held || q.HoldOutput()) {
            if (q.OutputPosition >= 0 &&
                q.OutputPosition + std::int64_t{count} <= q.OutputElements) {
                write(q.OutputData + q.OutputPosition);
            }
            if (!held) q.ReleaseOutput();
        }
    }
    q.OutputPosition += count;
}

// Every chunk alike: its data length, its type, the data that fill(destination) writes in
// place, and the CRC of type and data, taken over the data where it lies.
template <typename Fill>
void WriteFramedChunk(QuillonState& q, const BYTE* type, std::uint32_t length, Fill fill) {
    q.StoreBigEndian(length);
    q.PutBytes(4, q.BigEndianWord);
    q.PutBytes(4, type);
    q.CrcReset();
    q.CrcUpdate(type, 4);
    WriteAtOutputPosition(q, static_cast<std::int32_t>(length), [&](BYTE* destination) {
        fill(destination);
        q.CrcUpdate(destination, length);
    });
    q.Crc = ~q.Crc;
    q.StoreBigEndian(q.Crc);
    q.PutBytes(4, q.BigEndianWord);
}

}  // namespace

void QuillonState::StoreBigEndian(std::uint32_t value) {
    PutBigEndian32(value, BigEndianWord);
}

// A run of bytes is stored at once.
void QuillonState::PutBytes(std::int32_t count, const BYTE* bytes) {
    WriteAtOutputPosition(*this, count, [&](BYTE* destination) {
        std::memcpy(destination, bytes, static_cast<std::size_t>(count));
    });
}

bool QuillonState::HoldOutput() {
    LONG lower = 0, upper = -1;
    BYTE* data = nullptr;
    if (OutputArray == nullptr || FAILED(SafeArrayGetLBound(OutputArray, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(OutputArray, 1, &upper)) ||
        FAILED(SafeArrayAccessData(OutputArray, reinterpret_cast<void**>(&data)))) {
        return false;
    }
    OutputData = data;
    OutputElements = std::int64_t{upper} - lower + 1;
    return true;
}

void QuillonState::ReleaseOutput() {
    SafeArrayUnaccessData(OutputArray);
    OutputData = nullptr;
    OutputElements = 0;
}

// The array is held once for the whole file: access and release for each of its dozen pieces
// cost as much as writing a small picture's scanlines.
void QuillonState::WritePng() {
    const bool held = HoldOutput();
    WriteSignature();
    WriteHeaderChunk();
    WritePaletteChunk();
    WriteDataChunk();
    WriteEndChunk();
    if (held) ReleaseOutput();
}

void QuillonState::WriteSignature() {
    PutBytes(sizeof kSignature, kSignature);
}

void QuillonState::WriteChunk(const BYTE* type, const BYTE* data, std::uint32_t length) {
    WriteFramedChunk(*this, type, length,
                     [&](BYTE* destination) { std::memcpy(destination, data, length); });
}

void QuillonState::WriteHeaderChunk() {
    BYTE data[13];
    PutBigEndian32(static_cast<std::uint32_t>(PngWidth), data);
    PutBigEndian32(static_cast<std::uint32_t>(PngHeight), data + 4);
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

// The zlib stream is written where it belongs in the file: the scanlines are written once,
// with no copy of the stream.
void QuillonState::WriteDataChunk() {
    WriteFramedChunk(*this, kDataType, static_cast<std::uint32_t>(ZlibLength),
                     [&](BYTE* destination) { WriteZlibStream(destination); });
}

void QuillonState::WriteEndChunk() {
    WriteChunk(kEndType, nullptr, 0);
}

void QuillonState::ReleasePngBuffers() {
    CoTaskMemFree(ScanlineBuffer);
    ScanlineBuffer = nullptr;
}
