// A picture as the palette and the zlib stream read it: its rows from the top down, in runs of
// equal rows, each row packed as the capture packs it (1 or 4 bits a pixel, the first pixel in
// the highest bits, the bits after the last pixel 0), with the colour table its entries index.
// The capture of a drawn bitmap is read this way (png/CapturedRows.h), and so is a picture
// made directly from the symbol's rows, which never exists whole.
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

class RowSource {
public:
    const RGBQUAD* table = nullptr;  // 2^bits entries
    int bits = 1;
    std::int32_t width = 0;
    std::int32_t height = 0;

    // Visits every run of equal rows, from the top down, until the visit returns false. A run's
    // row is valid for the duration of its visit.
    virtual void ForEachRun(RunVisitor visit) const = 0;

protected:
    ~RowSource() = default;
};
