// A picture drawn straight from the symbol's rows (render/SymbolPicture.h) as the palette and
// the zlib stream read it: its rows from the top down, in runs of equal rows, each packed as a
// capture packs a row (1 or 4 bits a pixel, the first pixel in the highest bits, the bits after
// the last pixel 0), with the colour table that the packed entries index.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

// A call of `visit(row, count)` for a run of `count` equal rows, which returns false to stop.
class RunVisitor {
public:
    template <typename Visit>
    explicit RunVisitor(Visit& visit)
        : context_(&visit), call_([](void* context, const BYTE* row, std::int32_t count) {
              return (*static_cast<Visit*>(context))(row, count);
          }) {}
    bool operator()(const BYTE* row, std::int32_t count) const {
        return call_(context_, row, count);
    }

private:
    void* context_;
    bool (*call_)(void*, const BYTE*, std::int32_t);
};

// How the rows are packed.
struct DrawnRowsFormat {
    const RGBQUAD* table;  // 2^bits entries
    int bits;              // 1 or 4
};
