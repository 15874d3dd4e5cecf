// Module width and row height in pixels, from the settings and the screen's resolution along
// the rows. The measuring request computes its figures with the same operation.
#include <cmath>
#include <cstdint>

#include "component/state/QuillonState.h"
#include "render/SymbolGeometry.h"

namespace {

// The narrowest symbol is a one-column MicroPDF417 symbol (a truncated one-column PDF417 symbol
// is wider). A module this wide makes even that symbol wider than 32-bit coordinates reach, so
// it and every wider one are refused alike: holding the width here changes no result, and
// keeps the module width, the wide bar (twice it) and the row height (at most 5 times it)
// inside 32 bits.
constexpr std::int64_t kNarrowestSymbolModules = MicroRowModules(1);
static_assert(kNarrowestSymbolModules < MeasuredRowModules(kMinColumns, true));
constexpr std::int64_t kMaxModuleWidth = INT32_MAX / kNarrowestSymbolModules + 1;

// Half down: trunc(v), plus one only when the fraction is strictly above one half.
std::int64_t RoundHalfDown(double v) {
    const double whole = std::trunc(v);
    return static_cast<std::int64_t>(whole) + (v - whole > 0.5 ? 1 : 0);
}

}  // namespace

bool QuillonState::ComputeModuleGeometry() {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return false;
    RowDpi = GetDeviceCaps(screen, RowsRunAcross(Orientation) ? LOGPIXELSX : LOGPIXELSY);
    ReleaseDC(nullptr, screen);

    const double x = static_cast<double>(RowDpi) * static_cast<double>(NarrowBarWidth) / 2.54;
    const std::int64_t module =
        x >= static_cast<double>(kMaxModuleWidth) ? kMaxModuleWidth : RoundHalfDown(x);
    ModuleWidth = static_cast<std::int32_t>(module <= 0 ? 1 : module);
    RowHeight =
        static_cast<std::int32_t>(RoundHalfDown(static_cast<double>(Y2XRatio) * ModuleWidth));
    WideBarWidth = 2 * ModuleWidth;
    return true;
}

std::int64_t QuillonState::SymbolWidthInPixels() const {
    // The measured row of either symbology, not the drawn one the member SymbolRowModules gives.
    return std::int64_t{ModuleWidth} *
           ::SymbolRowModules(Symbology, Columns, TruncateSymbol != FALSE);
}

std::int64_t QuillonState::SymbolHeightInPixels() const {
    return std::int64_t{ActualRows} * RowHeight;
}

// The painting pass's coordinates stay within the symbol's extent (the margins are 0 once the
// symbol is larger than the picture, which is at most 32767 pixels a side), so extents within
// 32 bits keep every coordinate within them.
bool QuillonState::SymbolFitsCoordinates() const {
    return SymbolWidthInPixels() <= INT32_MAX && SymbolHeightInPixels() <= INT32_MAX;
}
