// Module width and row height in pixels, from the settings and the screen's resolution along
// the rows. The measuring request computes its figures with the same operation.
#include <cmath>

#include "component/state/QuillonState.h"

namespace {

// No picture is wider than 32767 pixels, so no module usefully is either. The cap keeps every
// coordinate of a drawing (at most 579 modules a row, rows at most 5 modules high, 90 rows)
// well inside 32-bit arithmetic, whatever NarrowBarWidth is.
constexpr std::int32_t kMaxModuleWidth = 32767;

// Half down: trunc(v), plus one only when the fraction is strictly above one half.
std::int32_t RoundHalfDown(double v) {
    const double whole = std::trunc(v);
    return static_cast<std::int32_t>(whole) + (v - whole > 0.5 ? 1 : 0);
}

}  // namespace

bool QuillonState::ComputeModuleGeometry() {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return false;
    const bool rows_run_across = Orientation == 0 || Orientation == 2;
    RowDpi = GetDeviceCaps(screen, rows_run_across ? LOGPIXELSX : LOGPIXELSY);
    ReleaseDC(nullptr, screen);

    const double x = static_cast<double>(RowDpi) * static_cast<double>(NarrowBarWidth) / 2.54;
    ModuleWidth = x >= kMaxModuleWidth ? kMaxModuleWidth : RoundHalfDown(x);
    if (ModuleWidth <= 0) ModuleWidth = 1;
    RowHeight = RoundHalfDown(static_cast<double>(Y2XRatio) * ModuleWidth);
    WideBarWidth = 2 * ModuleWidth;
    return true;
}
