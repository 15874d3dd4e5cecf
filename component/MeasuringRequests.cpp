// GetActualRC and GetActualSize: the figures of the symbol the current settings give,
// without drawing it.
#include "component/CQuillon.h"
#include "component/ComponentError.h"

namespace {

void SetShort(VARIANT* target, std::int32_t value) {
    VariantClear(target);
    target->vt = VT_I2;
    target->iVal = static_cast<SHORT>(value);
}

void SetLong(VARIANT* target, std::int32_t value) {
    VariantClear(target);
    target->vt = VT_I4;
    target->lVal = value;
}

}  // namespace

HRESULT CQuillon::GetActualRC(VARIANT* pActualRows, VARIANT* pActualCols) {
    if (pActualRows == nullptr || pActualCols == nullptr) return E_POINTER;
    EncodeUnlessKept();
    if (LastFit != SymbolFit::Fits) return ReportDataDoesNotFit(*this);
    SetShort(pActualRows, ActualRows);
    SetShort(pActualCols, Columns);
    return S_OK;
}

HRESULT CQuillon::GetActualSize(VARIANT* ActualWidth, VARIANT* ActualHeight) {
    if (ActualWidth == nullptr || ActualHeight == nullptr) return E_POINTER;
    if (!ComputeModuleGeometry()) {
        return ReportError(E_OUTOFMEMORY, OLESTR("Not enough memory to reach the screen"));
    }
    EncodeUnlessKept();
    if (LastFit != SymbolFit::Fits) return ReportDataDoesNotFit(*this);
    // A full PDF417 symbol's width counts one module more than its drawn rows take; a
    // MicroPDF417 symbol's is its rows', the stop bar included (render/SymbolGeometry.h).
    if (!SymbolFitsCoordinates()) return ReportSymbolTooLarge(*this);
    SetLong(ActualWidth, static_cast<std::int32_t>(SymbolWidthInPixels()));
    SetLong(ActualHeight, static_cast<std::int32_t>(SymbolHeightInPixels()));
    return S_OK;
}
