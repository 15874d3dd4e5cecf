// The property accessors. A put checks its value and stores it, or ignores a value outside
// its accepted range without an error: pages rely on a bad value simply changing nothing.
#include <cmath>
#include <memory>
#include <new>

#include "component/CQuillon.h"
#include "component/ComponentError.h"

namespace {

bool InRange(int value, int low, int high) {
    return value >= low && value <= high;
}

}  // namespace

HRESULT CQuillon::put_BorderStyle(SHORT newVal) {
    if (InRange(newVal, 0, 2)) BorderStyle = newVal;
    return S_OK;
}

HRESULT CQuillon::put_ErrorCorrectionLevel(SHORT newVal) {
    if (InRange(newVal, 0, 8)) EccLevel = newVal;
    return S_OK;
}

HRESULT CQuillon::put_Orientation(SHORT newVal) {
    if (InRange(newVal, 0, 3)) Orientation = newVal;
    return S_OK;
}

HRESULT CQuillon::put_Columns(SHORT newVal) {
    if (InRange(newVal, 2, 30)) Columns = newVal;
    return S_OK;
}

// The same range as Columns: once set, Rows cannot return to 0, but 2 asks for no more
// than every symbol has anyway.
HRESULT CQuillon::put_Rows(SHORT newVal) {
    if (InRange(newVal, 2, 30)) Rows = newVal;
    return S_OK;
}

HRESULT CQuillon::put_TruncateSymbol(VARIANT_BOOL newVal) {
    TruncateSymbol = newVal == VARIANT_TRUE ? TRUE : FALSE;
    return S_OK;
}

// Written as "accepted when inside" rather than "rejected when outside" so that NaN, which
// fails every comparison, is rejected too.
HRESULT CQuillon::put_Y2XRatio(FLOAT newVal) {
    if (newVal > 0.0f && newVal <= 5.0f) Y2XRatio = newVal;
    return S_OK;
}

HRESULT CQuillon::put_Width(SHORT newVal) {
    if (newVal >= 1) ImageWidth = newVal;
    return S_OK;
}

HRESULT CQuillon::put_Height(SHORT newVal) {
    if (newVal >= 1) ImageHeight = newVal;
    return S_OK;
}

// Stored in single precision. A value that single precision cannot hold as a positive finite
// width (NaN, infinity, beyond the float range, or so small it rounds to 0) is ignored like
// any other value out of range.
HRESULT CQuillon::put_NarrowBarWidth(DOUBLE newVal) {
    const float width = static_cast<float>(newVal);
    if (newVal > 0.0 && std::isfinite(width) && width > 0.0f) NarrowBarWidth = width;
    return S_OK;
}

HRESULT CQuillon::put_BackColor(LONG newVal) {
    if (newVal >= 0) {
        BackColor = static_cast<COLORREF>(newVal) & 0xFFFFFF;
        BackColorBits = BackColor == 0xFFFFFF ? 1 : 4;
    }
    return S_OK;
}

HRESULT CQuillon::put_BarColor(LONG newVal) {
    if (newVal >= 0) {
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
    if (InRange(newVal, 0, 2)) Mode = newVal;
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
// string up to its first zero character, so a string with an embedded zero is cut there.
HRESULT CQuillon::put_Data(BSTR newVal) {
    if (newVal == nullptr) return S_OK;

    // Every character becomes at least one byte, so text longer than the limit in characters
    // is longer in bytes too; refusing it here also bounds the conversion buffer.
    const UINT units = SysStringLen(newVal);
    UINT characters = 0;
    while (characters < units && newVal[characters] != 0) ++characters;
    if (characters > static_cast<UINT>(kMaxDataLength)) {
        return ReportError(E_INVALIDARG, u"Data is longer than 4999 bytes");
    }

    // Room for a double-byte code page: two bytes a character and the terminating zero.
    const int capacity = 2 * (static_cast<int>(characters) + 1);
    std::unique_ptr<char[]> converted(new (std::nothrow) char[capacity]);
    if (!converted) return ReportError(E_OUTOFMEMORY, u"Out of memory converting Data");
    const int written = WideCharToMultiByte(CP_THREAD_ACP, 0, newVal, -1, converted.get(), capacity,
                                            nullptr, nullptr);
    if (written <= 0) return S_OK;  // a failed conversion leaves the text as it was

    int length = 0;
    while (length < written && converted[length] != 0) ++length;
    if (length > kMaxDataLength) {
        return ReportError(E_INVALIDARG, u"Data is longer than 4999 bytes");
    }
    for (int i = 0; i < length; ++i) DataText[i] = static_cast<BYTE>(converted[i]);
    DataText[length] = 0;
    return S_OK;
}
