// IQuillon2's accessors: the symbol options, each read back as it was set. As with IQuillon's
// properties, a number outside its range is ignored without an error, and a boolean is on for
// VARIANT_TRUE alone; a file ID that is not one is refused with an error, as Data's overlong
// text is, since ignoring it would leave a set whose symbols carry different IDs.
#include <string>

#include "component/CQuillon.h"
#include "component/ComponentError.h"
#include "component/contract/QuillonProperties.h"

namespace {

HRESULT GetBoolean(BOOL value, VARIANT_BOOL* pVal) {
    if (pVal == nullptr) return E_POINTER;
    *pVal = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT GetLong(std::int32_t value, LONG* pVal) {
    if (pVal == nullptr) return E_POINTER;
    *pVal = value;
    return S_OK;
}

BOOL IsTrue(VARIANT_BOOL value) {
    return value == VARIANT_TRUE ? TRUE : FALSE;
}

}  // namespace

HRESULT CQuillon::get_Eci(LONG* pVal) {
    return GetLong(Eci, pVal);
}

HRESULT CQuillon::put_Eci(LONG newVal) {
    if (kEciRange.Contains(newVal)) Eci = newVal;
    return S_OK;
}

HRESULT CQuillon::get_OptimizeCompaction(VARIANT_BOOL* pVal) {
    return GetBoolean(OptimizeCompaction, pVal);
}

HRESULT CQuillon::put_OptimizeCompaction(VARIANT_BOOL newVal) {
    OptimizeCompaction = IsTrue(newVal);
    return S_OK;
}

HRESULT CQuillon::get_AutoErrorCorrection(VARIANT_BOOL* pVal) {
    return GetBoolean(AutoErrorCorrection, pVal);
}

HRESULT CQuillon::put_AutoErrorCorrection(VARIANT_BOOL newVal) {
    AutoErrorCorrection = IsTrue(newVal);
    return S_OK;
}

HRESULT CQuillon::get_MacroSegmentIndex(LONG* pVal) {
    return GetLong(MacroSegmentIndex, pVal);
}

// Whether the index lies within a count that is set is the encoder's question, asked when a
// symbol is made: the two are set one after the other, in either order.
HRESULT CQuillon::put_MacroSegmentIndex(LONG newVal) {
    if (kMacroSegmentIndexRange.Contains(newVal)) MacroSegmentIndex = newVal;
    return S_OK;
}

HRESULT CQuillon::get_MacroSegmentCount(LONG* pVal) {
    return GetLong(MacroSegmentCount, pVal);
}

HRESULT CQuillon::put_MacroSegmentCount(LONG newVal) {
    if (kMacroSegmentCountRange.Contains(newVal)) MacroSegmentCount = newVal;
    return S_OK;
}

HRESULT CQuillon::get_MacroFileId(BSTR* pVal) {
    if (pVal == nullptr) return E_POINTER;
    const std::string digits = MacroFileIdText(MacroFileId);
    const std::basic_string<OLECHAR> text(digits.begin(), digits.end());
    *pVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *pVal == nullptr ? E_OUTOFMEMORY : S_OK;
}

// The whole string counts, embedded zeros included: a file ID is digits only. A null string is
// the empty one, which is no file ID either.
HRESULT CQuillon::put_MacroFileId(BSTR newVal) {
    // A character beyond ASCII is no digit, whatever its low byte. One character more than the
    // longest ID is enough to refuse a longer text, however long.
    const UINT length = SysStringLen(newVal);
    std::string digits;
    for (UINT i = 0; i < length && i <= static_cast<UINT>(kMaxMacroFileIdDigits); ++i) {
        digits += newVal[i] < 0x80 ? static_cast<char>(newVal[i]) : '?';
    }
    if (!ParseMacroFileId(digits, MacroFileId)) {
        const std::string text =
            std::string("MacroFileId must be ") + FindQuillonProperty("MacroFileId")->accepted;
        const std::basic_string<OLECHAR> description(text.begin(), text.end());
        return ReportError(E_INVALIDARG, description.c_str(), IID_IQuillon2);
    }
    return S_OK;
}
