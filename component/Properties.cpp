// The accessors whose puts do more than keep a value its range accepts (those are generated
// from the interface's description into QuillonAccessors.cpp): Data, kept as the thread's ANSI
// text; the colours, of which the low 24 bits count; and the Macro PDF417 file ID, digits that
// become codewords. A number outside its range is ignored without an error, as everywhere:
// pages rely on a bad value simply changing nothing. Text that cannot be kept is refused with
// an error instead, since ignoring it would draw a symbol the page did not ask for.
#include <cstring>
#include <string>

#include "component/CQuillon.h"
#include "component/ComponentError.h"
#include "component/contract/QuillonProperties.h"

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

HRESULT CQuillon::put_Columns(SHORT newVal) {
    if (kColumnsRange.Contains(newVal)) {
        Columns = newVal;
        // A MicroPDF417 symbol's columns stand in Columns until the next encoding, which gives
        // back the caller's setting kept aside; a put is the caller's setting, even one equal
        // to the symbol's columns.
        SavedColumns = newVal;
    }
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

HRESULT CQuillon::get_MacroFileId(BSTR* pVal) {
    if (pVal == nullptr) return E_POINTER;
    const std::string digits = MacroFileIdText(MacroFileId);
    const std::basic_string<OLECHAR> text(digits.begin(), digits.end());
    *pVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *pVal == nullptr ? E_OUTOFMEMORY : S_OK;
}

// The whole string counts, embedded zeros included: a file ID is digits only. A null string is
// the empty one, which is no file ID either. Refused rather than ignored: a script that sets a
// wrong ID must hear of it before the symbols of a set disagree.
HRESULT CQuillon::put_MacroFileId(BSTR newVal) {
    // A character beyond ASCII is no digit, whatever its low byte. One character more than the
    // longest ID is enough to refuse a longer text, however long.
    const UINT length = SysStringLen(newVal);
    std::string digits;
    for (UINT i = 0; i < length && i <= static_cast<UINT>(kMaxMacroFileIdDigits); ++i) {
        digits += newVal[i] < 0x80 ? static_cast<char>(newVal[i]) : '?';
    }
    MacroFileIdCodewords parsed;
    if (!ParseMacroFileId(digits, parsed)) {
        const std::string text =
            std::string("MacroFileId must be ") + FindQuillonProperty("MacroFileId")->accepted;
        const std::basic_string<OLECHAR> description(text.begin(), text.end());
        return ReportError(E_INVALIDARG, description.c_str(), IID_IQuillon2);
    }
    MacroFileId = parsed;
    return S_OK;
}
