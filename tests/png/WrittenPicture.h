// The PNG writer's tests start from a captured block made by hand, as the platform's capture
// would leave it, and run the writer over it as the picture request does.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "component/state/QuillonState.h"

// A bottom-up DIB of `bits` (1, 4 or 8) per pixel with the given colour table (0xRRGGBB, the
// rest of the 2^bits entries black) and one table index per pixel, top row first. The padding
// of every row is set to ones, which a careless reader would take for pixels.
std::vector<BYTE> MakeCaptureBlock(int bits, const std::vector<std::uint32_t>& table, int width,
                                   const std::vector<int>& indices);

class WrittenPicture {
public:
    WrittenPicture(int bits, const std::vector<std::uint32_t>& table, int width,
                   const std::vector<int>& indices);
    // A copy of a block the capture made.
    explicit WrittenPicture(HGLOBAL captured);
    ~WrittenPicture();
    WrittenPicture(const WrittenPicture&) = delete;
    WrittenPicture& operator=(const WrittenPicture&) = delete;

    QuillonState& q() { return *q_; }
    // BuildPalette, BuildZlibStream, an array of PngFileLength bytes and WritePng: the file,
    // in `file`. Checks that the array is filled exactly.
    void Write();
    // Palette entry j as 0xRRGGBB.
    std::uint32_t Entry(int j) const;
    // The IDAT chunk's zlib stream, and the scanlines zlib inflates from it.
    std::vector<BYTE> Stream() const;
    std::vector<BYTE> Scanlines() const;
    // Each pixel's palette index, unpacked from the inflated scanlines, top row first.
    std::vector<BYTE> Indices() const;

    std::vector<BYTE> block;
    std::vector<BYTE> file;

private:
    std::unique_ptr<QuillonState> q_ = std::make_unique<QuillonState>();
};
