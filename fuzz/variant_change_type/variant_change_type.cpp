// VariantChangeType from strings: any UTF-16 text (zeros and lone surrogates included) to every
// type a string converts to. Beyond not failing, it checks what callers rely on: a failed
// conversion leaves the destination alone, a successful one gives the type asked for, and a
// real read from text and written back as text reads back as the same text.
#include <cmath>
#include <cstdint>
#include <string_view>

#include "fuzz/support/FuzzInput.h"
#include "platform/Runtime.h"

namespace {

constexpr VARTYPE kTargets[] = {VT_EMPTY, VT_NULL, VT_I2,  VT_I4,   VT_R4,
                                VT_R8,    VT_BOOL, VT_UI1, VT_BSTR, VT_ERROR};

// Writes value as text, reads the text back as the same type and writes that again: as on
// Windows, text keeps 15 significant digits of a double (7 of a float), so the value may move
// in its last digits, but its text must not.
void CheckTextRoundTrip(const VARIANT& number) {
    VARIANT text, back, again;
    VariantInit(&text);
    VariantInit(&back);
    VariantInit(&again);
    FUZZ_CHECK(VariantChangeType(&text, &number, 0, VT_BSTR) == S_OK);
    FUZZ_CHECK(VariantChangeType(&back, &text, 0, number.vt) == S_OK);
    FUZZ_CHECK(VariantChangeType(&again, &back, 0, VT_BSTR) == S_OK);
    FUZZ_CHECK(SysStringLen(text.bstrVal) == SysStringLen(again.bstrVal));
    FUZZ_CHECK(std::u16string_view(text.bstrVal, SysStringLen(text.bstrVal)) ==
               std::u16string_view(again.bstrVal, SysStringLen(again.bstrVal)));
    VariantClear(&text);
    VariantClear(&back);
    VariantClear(&again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const bool by_reference = input.Bool();
    const std::u16string units = input.Utf16(1024);

    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocStringLen(units.data(), static_cast<UINT>(units.size()));
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_BYREF | VT_BSTR;
    reference.pbstrVal = &source.bstrVal;
    const VARIANT& from = by_reference ? reference : source;

    for (const VARTYPE vt : kTargets) {
        VARIANT result;
        VariantInit(&result);
        result.vt = VT_I4;
        result.lVal = 0x5EED;
        const HRESULT hr = VariantChangeType(&result, &from, 0, vt);
        if (FAILED(hr)) {
            FUZZ_CHECK(result.vt == VT_I4 && result.lVal == 0x5EED);
            continue;
        }
        FUZZ_CHECK(result.vt == vt);
        if (vt == VT_R8 && std::isfinite(result.dblVal)) CheckTextRoundTrip(result);
        if (vt == VT_R4 && std::isfinite(result.fltVal)) CheckTextRoundTrip(result);
        VariantClear(&result);
    }
    VariantClear(&source);
    return 0;
}
