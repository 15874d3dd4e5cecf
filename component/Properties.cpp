// The property accessors. A put checks its value and stores it, or ignores a value outside
// its accepted range without an error: pages rely on a bad value simply changing nothing. The
// ranges are those of the interface's description (contract/IQuillon.toml).
#include <cstring>

#include "component/CQuillon.h"
#include "component/ComponentError.h"
#include "component/contract/QuillonProperties.h"

HRESULT CQuillon::put_BorderStyle(SHORT newVal) {
    if (kBorderStyleRange.Contains(newVal)) BorderStyle = newVal;
    return S_OK;
}

HRESULT CQuillon::put_ErrorCorrectionLevel(SHORT newVal) {
    if (kErrorCorrectionLevelRange.Contains(newVal)) EccLevel = newVal;
    return S_OK;
}

HRESULT CQuillon::put_Orientation(SHORT newVal) {
    if (kOrientationRange.Contains(newVal)) Orientation = newVal;
    return S_OK;
}

HRESULT CQuillon::put_Columns(SHORT newVal) {
    if (kColumnsRange.Contains(newVal)) Columns = newVal;
    return S_OK;
}

HRESULT CQuillon::put_Rows(SHORT newVal) {
    if (kRowsRange.Contains(newVal)) Rows = newVal;
    return S_OK;
}

HRESULT CQuillon::put_TruncateSymbol(VARIANT_BOOL newVal) {
    TruncateSymbol = newVal == VARIANT_TRUE ? TRUE : FALSE;
    return S_OK;
}

// Written as "accepted when inside" rather than "rejected when outside" so that NaN, which
// fails every comparison, is rejected too.
HRESULT CQuillon::put_Y2XRatio(FLOAT newVal) {
    if (kY2XRatioRange.Contains(newVal)) Y2XRatio = newVal;
    return S_OK;
}

HRESULT CQuillon::put_Width(SHORT newVal) {
    if (kWidthRange.Contains(newVal)) ImageWidth = newVal;
    return S_OK;
}

HRESULT CQuillon::put_Height(SHORT newVal) {
    if (kHeightRange.Contains(newVal)) ImageHeight = newVal;
    return S_OK;
}

// Stored in single precision. A value that single precision cannot hold as a positive finite
// width (NaN, infinity, beyond the float range, or so small it rounds to 0) is ignored like
// any other value out of range.
HRESULT CQuillon::put_NarrowBarWidth(DOUBLE newVal) {
    const float width = static_cast<float>(newVal);
    if (kNarrowBarWidthRange.Contains(width)) NarrowBarWidth = width;
    return S_OK;
}

HRESULT CQuillon::put_BackColor(LONG newVal) {
    if (kBackColorRange.Contains(newVal)) {
        BackColor = static_cast<COLORREF>(newVal) & 0xFFFFFF;
        BackColorBits = BackColor == 0xFFFFFF ? 1 : 4;
    }
    return S_OK;
}

HRESULT CQuillon::put_BarColor(LONG newVal) {
    if (kBarColorRange.Contains(newVal)) {
        BarColor = static_cast<COLORREF>(newVal) & 0xFFFFFF;
        BarColorBits = BarColor == 0 ? 1 : 4;
    }
    return S_OK;
}

HRESULT CQuillon::get_Mode(SHORT* pVal) {
    if (pVal == nullptr) return E_POINTER;
    *pVal = static_cast<SHORT>(Mode);
    return S_OK;
}

HRESULT CQuillon::put_Mode(SHORT newVal) {
    if (kModeRange.Contains(newVal)) Mode = newVal;
    return S_OK;
}

HRESULT CQuillon::get_HandleTilde(VARIANT_BOOL* pVal) {
    if (pVal == nullptr) return E_POINTER;
    *pVal = HandleTilde != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT CQuillon::put_HandleTilde(VARIANT_BOOL newVal) {
    HandleTilde = newVal == VARIANT_TRUE ? TRUE : FALSE;
    return S_OK;
}

// Data is kept as single-byte text of the thread's ANSI code page. The conversion covers the
// string up to its first zero character, so a string with an embedded zero is cut there. The
// limit is on the converted bytes: characters that have no single byte of their own (a
// surrogate pair becomes one '?') count as what they become.
HRESULT CQuillon::put_Data(BSTR newVal) {
    if (newVal == nullptr) return S_OK;

    // Converted once into a buffer of DataText's size, terminating zero included: a text that
    // needs more does not fit, however long it is, and no larger buffer is ever made.
    char converted[kDataTextSize];
    const int written = WideCharToMultiByte(CP_THREAD_ACP, 0, newVal, -1, converted, kDataTextSize,
                                            nullptr, nullptr);
    if (written <= 0) {
        if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            return ReportError(E_INVALIDARG, OLESTR("Data is longer than 4999 bytes"));
        }
        return S_OK;  // a failed conversion leaves the text as it was
    }

    // The text ends at its first zero character, whatever follows it.
    const void* zero = std::memchr(converted, 0, static_cast<std::size_t>(written));
    const std::size_t length =
        zero == nullptr ? static_cast<std::size_t>(written)
                        : static_cast<std::size_t>(static_cast<const char*>(zero) - converted);
    std::memcpy(DataText, converted, length);
    DataText[length] = 0;
    return S_OK;
}
