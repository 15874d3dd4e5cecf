#include "platform/runtime/VariantConversion.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/common/AsciiCase.h"
#include "platform/runtime/NumberText.h"
#include "platform/winapi/Dispatch.h"

namespace {

bool IsConvertible(VARTYPE vt) {
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_BOOL:
        case VT_BSTR:
        case VT_UI1:
        case VT_DISPATCH:
        case VT_UNKNOWN:
            return true;
        default:
            return false;
    }
}

// A non-owning copy of the value that src holds or points to.
HRESULT ReadThrough(const VARIANT* src, VARIANT* view) {
    VariantInit(view);
    for (int depth = 0; (src->vt & VT_BYREF) != 0; ++depth) {
        if (depth == 2 || src->byref == nullptr) return E_INVALIDARG;
        const VARTYPE base = static_cast<VARTYPE>(src->vt & ~VT_BYREF);
        if (base == VT_VARIANT) {
            src = src->pvarVal;
            continue;
        }
        view->vt = base;
        if ((base & VT_ARRAY) != 0) {
            view->parray = *src->pparray;
            return S_OK;
        }
        switch (base) {
            case VT_I2:
                view->iVal = *src->piVal;
                return S_OK;
            case VT_I4:
                view->lVal = *src->plVal;
                return S_OK;
            case VT_R4:
                view->fltVal = *src->pfltVal;
                return S_OK;
            case VT_R8:
                view->dblVal = *src->pdblVal;
                return S_OK;
            case VT_BOOL:
                view->boolVal = *src->pboolVal;
                return S_OK;
            case VT_BSTR:
                view->bstrVal = *src->pbstrVal;
                return S_OK;
            case VT_UI1:
                view->bVal = *src->pbVal;
                return S_OK;
            case VT_ERROR:
                view->scode = *src->pscode;
                return S_OK;
            case VT_UNKNOWN:
            case VT_DISPATCH:
                view->punkVal = *src->ppunkVal;
                return S_OK;
            default:
                return DISP_E_BADVARTYPE;
        }
    }
    *view = *src;
    return S_OK;
}

HRESULT ConvertObject(const VARIANT& from, VARTYPE vt, VARIANT* out) {
    if (from.vt != VT_UNKNOWN && from.vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
    if (vt != VT_UNKNOWN && vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
    out->vt = vt;
    out->punkVal = nullptr;
    if (from.punkVal == nullptr) return S_OK;
    void* object = nullptr;
    const HRESULT hr =
        from.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &object);
    if (FAILED(hr)) {
        VariantInit(out);
        return hr == E_NOINTERFACE ? DISP_E_TYPEMISMATCH : hr;
    }
    out->punkVal = static_cast<IUnknown*>(object);
    return S_OK;
}

// A scalar value on its way from one type to another: integers stay exact, reals stay reals.
struct Number {
    bool is_real = false;
    std::int64_t integer = 0;
    double real = 0;
    bool from_bool = false;
    bool from_bits = false;  // an "&H" or "&O" integer, which fills the target's bits
};

// The boolean a word stands for; false when it is no such word.
bool ReadBooleanWord(BSTR text, std::int64_t* value) {
    const std::u16string_view word(text == nullptr ? u"" : text, SysStringLen(text));
    for (const auto& [name, meaning] : {std::pair{u"True", -1}, std::pair{u"False", 0},
                                        std::pair{u"#TRUE#", -1}, std::pair{u"#FALSE#", 0}}) {
        if (platform::EqualsIgnoringCase(word, std::u16string_view(name))) {
            *value = meaning;
            return true;
        }
    }
    return false;
}

HRESULT ReadNumber(const VARIANT& from, VARTYPE target, Number* n) {
    switch (from.vt) {
        case VT_EMPTY:
            return S_OK;
        case VT_I2:
            n->integer = from.iVal;
            return S_OK;
        case VT_I4:
            n->integer = from.lVal;
            return S_OK;
        case VT_UI1:
            n->integer = from.bVal;
            return S_OK;
        case VT_BOOL:
            n->integer = from.boolVal != 0 ? -1 : 0;
            n->from_bool = true;
            return S_OK;
        case VT_R4:
            n->is_real = true;
            n->real = from.fltVal;
            return S_OK;
        case VT_R8:
            n->is_real = true;
            n->real = from.dblVal;
            return S_OK;
        case VT_BSTR: {
            if (target == VT_BOOL && ReadBooleanWord(from.bstrVal, &n->integer)) return S_OK;
            n->is_real = true;
            return platform::ParseNumberText(from.bstrVal, SysStringLen(from.bstrVal), &n->real,
                                             &n->from_bits);
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// Round half to even, then check [low, high]. An "&H" or "&O" integer of the target's bits
// (high - low) is its two's complement.
HRESULT ToInteger(const Number& n, std::int64_t low, std::int64_t high, std::int64_t* out) {
    if (n.from_bits && low < 0 && n.real > static_cast<double>(high) &&
        n.real <= static_cast<double>(high - low)) {
        *out = static_cast<std::int64_t>(n.real) + 2 * low;
        return S_OK;
    }
    if (!n.is_real) {
        if (n.integer < low || n.integer > high) return DISP_E_OVERFLOW;
        *out = n.integer;
        return S_OK;
    }
    if (!std::isfinite(n.real)) return DISP_E_OVERFLOW;
    double whole = std::floor(n.real);
    const double fraction = n.real - whole;
    // A number with a half has a fraction bit, so its whole part lies within 2^52 and converts
    // exactly: its lowest bit tells an odd one.
    const bool odd = fraction == 0.5 && (static_cast<std::int64_t>(whole) & 1) != 0;
    if (fraction > 0.5 || odd) whole += 1.0;
    if (whole < static_cast<double>(low) || whole > static_cast<double>(high)) {
        return DISP_E_OVERFLOW;
    }
    *out = static_cast<std::int64_t>(whole);
    return S_OK;
}

double ToReal(const Number& n) {
    return n.is_real ? n.real : static_cast<double>(n.integer);
}

HRESULT MakeString(const VARIANT& from, USHORT flags, VARIANT* out) {
    std::u16string text;
    switch (from.vt) {
        case VT_EMPTY:
            break;
        case VT_I2:
            text = platform::FormatIntegerText(from.iVal);
            break;
        case VT_I4:
            text = platform::FormatIntegerText(from.lVal);
            break;
        case VT_UI1:
            text = platform::FormatIntegerText(from.bVal);
            break;
        case VT_R4:
            text = platform::FormatRealText(from.fltVal);
            break;
        case VT_R8:
            text = platform::FormatRealText(from.dblVal, 15);
            break;
        case VT_BOOL:
            if ((flags & VARIANT_ALPHABOOL) != 0) {
                text = from.boolVal != 0 ? u"True" : u"False";
            } else {
                text = from.boolVal != 0 ? u"-1" : u"0";
            }
            break;
        default:
            return DISP_E_TYPEMISMATCH;
    }
    BSTR bstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (bstr == nullptr) return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    out->bstrVal = bstr;
    return S_OK;
}

HRESULT Convert(const VARIANT& from, VARTYPE vt, USHORT flags, VARIANT* out) {
    if (vt == VT_EMPTY) return S_OK;
    if (vt == VT_NULL) {
        out->vt = VT_NULL;
        return S_OK;
    }
    if (vt == VT_UNKNOWN || vt == VT_DISPATCH || from.vt == VT_UNKNOWN || from.vt == VT_DISPATCH) {
        return ConvertObject(from, vt, out);
    }
    if (vt == VT_BSTR) return MakeString(from, flags, out);

    Number n;
    const HRESULT hr = ReadNumber(from, vt, &n);
    if (FAILED(hr)) return hr;
    std::int64_t value = 0;
    switch (vt) {
        case VT_I2: {
            const HRESULT r = ToInteger(n, INT16_MIN, INT16_MAX, &value);
            if (FAILED(r)) return r;
            out->iVal = static_cast<SHORT>(value);
            break;
        }
        case VT_I4: {
            const HRESULT r = ToInteger(n, INT32_MIN, INT32_MAX, &value);
            if (FAILED(r)) return r;
            out->lVal = static_cast<LONG>(value);
            break;
        }
        case VT_UI1: {
            if (n.from_bool) {
                value = n.integer & 0xFF;  // VARIANT_TRUE is 255 as a byte
            } else {
                const HRESULT r = ToInteger(n, 0, UINT8_MAX, &value);
                if (FAILED(r)) return r;
            }
            out->bVal = static_cast<BYTE>(value);
            break;
        }
        case VT_R4: {
            const double real = ToReal(n);
            if (std::isinf(real) || std::fabs(real) > FLT_MAX) return DISP_E_OVERFLOW;
            out->fltVal = static_cast<float>(real);
            break;
        }
        case VT_R8:
            if (std::isinf(ToReal(n))) return DISP_E_OVERFLOW;
            out->dblVal = ToReal(n);
            break;
        case VT_BOOL:
            out->boolVal = ToReal(n) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        default:
            return DISP_E_BADVARTYPE;
    }
    out->vt = vt;
    return S_OK;
}

}  // namespace

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt) {
    if (pvargDest == nullptr || pvarSrc == nullptr) return E_INVALIDARG;
    VARIANT from;
    HRESULT hr = ReadThrough(pvarSrc, &from);
    if (FAILED(hr)) return hr;

    VARIANT result;
    VariantInit(&result);
    if (from.vt == vt) {
        hr = VariantCopy(&result, &from);
    } else if (!IsConvertible(vt) || (!IsConvertible(from.vt) && from.vt != VT_ERROR)) {
        hr = DISP_E_BADVARTYPE;
    } else if (from.vt == VT_ERROR) {
        hr = DISP_E_TYPEMISMATCH;
    } else if (from.vt == VT_NULL) {
        hr = DISP_E_TYPEMISMATCH;
    } else {
        hr = Convert(from, vt, wFlags, &result);
    }
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    // The source may be the destination: it is read no more from here on.
    VariantClear(pvargDest);
    *pvargDest = result;
    return S_OK;
}

HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID, USHORT wFlags,
                            VARTYPE vt) {
    return VariantChangeType(pvargDest, pvarSrc, wFlags, vt);
}
