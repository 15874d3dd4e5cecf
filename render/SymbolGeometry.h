// The symbol's shape in modules and how its rows lie in the picture: the facts that module
// geometry, row assembly, the drawing passes and the measuring request all work with.
#pragma once

#include <cstdint>

#include "component/state/SymbolOptions.h"

// Whether the symbol's rows run across the picture, left to right or right to left
// (Orientation 0 or 2), rather than up or down it (1 or 3). Along the rows is then the
// picture's x, and the screen resolution along them LOGPIXELSX.
constexpr bool RowsRunAcross(std::int32_t orientation) {
    return orientation == 0 || orientation == 2;
}

// A row's parts, in modules: every codeword pattern (the start pattern, the row indicators and
// the data codewords) is 17 modules, the stop pattern 18, and the end of a truncated row, a
// one-module bar and a one-module space, 2.
constexpr std::int32_t kPatternModules = 17;
constexpr std::int32_t kStopPatternModules = 18;
constexpr std::int32_t kTruncatedEndModules = 2;

// A drawn row of `columns` data columns: the start pattern, the left row indicator, the data
// codewords, then the right row indicator and the stop pattern (17 × columns + 69), or, when
// truncated, the truncated end (17 × columns + 36).
constexpr std::int32_t DrawnRowModules(std::int32_t columns, bool truncated) {
    return kPatternModules * (columns + (truncated ? 2 : 3)) +
           (truncated ? kTruncatedEndModules : kStopPatternModules);
}
static_assert(DrawnRowModules(0, false) == 69 && DrawnRowModules(0, true) == 36);

// The symbol's width in modules as the measuring request reports it (GetActualSize): a full
// symbol counts 17 × columns + 70, one module more than its drawn rows take; a truncated one
// counts what it draws, 17 × columns + 36. Pictures are centred on the drawn length.
constexpr std::int32_t MeasuredRowModules(std::int32_t columns, bool truncated) {
    return DrawnRowModules(columns, truncated) + (truncated ? 0 : 1);
}

// A MicroPDF417 row of `columns` data columns (1 to 4): the left row address pattern, the
// codewords, a centre row address pattern after the first column of 3-column symbols and after
// the second of 4-column ones, the right row address pattern and a one-module stop bar. Drawn
// and measured alike: 38, 55, 82 or 99 modules.
constexpr std::int32_t kRowAddressModules = 10;
constexpr std::int32_t kMicroStopModules = 1;
constexpr std::int32_t MicroRowModules(std::int32_t columns) {
    return kRowAddressModules * (columns >= 3 ? 3 : 2) + kPatternModules * columns +
           kMicroStopModules;
}
static_assert(MicroRowModules(1) == 38 && MicroRowModules(2) == 55 && MicroRowModules(3) == 82 &&
              MicroRowModules(4) == 99);

// The width in modules that GetActualSize reports for a symbol of either symbology (Symbology):
// the measured row of PDF417, or the row of MicroPDF417, which TruncateSymbol leaves alone.
constexpr std::int32_t SymbolRowModules(std::int32_t symbology, std::int32_t columns,
                                        bool truncated) {
    return symbology == kSymbologyMicroPdf417 ? MicroRowModules(columns)
                                              : MeasuredRowModules(columns, truncated);
}
