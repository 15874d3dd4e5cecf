// VariantChangeType from strings: any UTF-16 text (zeros and lone surrogates included) to every
// type a string converts to. Beyond not failing, it checks what callers rely on: a failed
// conversion leaves the destination alone, a successful one gives the type asked for, and a
// real read from text and written back as text reads back as the same value.
#include <cmath>
#include <cstdint>

#include "fuzz/support/FuzzInput.h"
#include "platform/Runtime.h"

namespace {

constexpr VARTYPE kTargets[] = {VT_EMPTY, VT_NULL, VT_I2,  VT_I4,   VT_R4,
                                VT_R8,    VT_BOOL, VT_UI1, VT_BSTR, VT_ERROR};

// Writes value as text and reads the text back as the same type.
template <class Real>
void CheckTextRoundTrip(const VARIANT& number) {
    VARIANT text, back;
    VariantInit(&text);
    VariantInit(&back);
    FUZZ_CHECK(VariantChangeType(&text, &number, 0, VT_BSTR) == S_OK);
    FUZZ_CHECK(VariantChangeType(&back, &text, 0, number.vt) == S_OK);
    const Real before = number.vt == VT_R4 ? static_cast<Real>(number.fltVal) : number.dblVal;
    const Real after = number.vt == VT_R4 ? static_cast<Real>(back.fltVal) : back.dblVal;
    FUZZ_CHECK(after == before);
    VariantClear(&text);
    VariantClear(&back);
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
        if (vt == VT_R8 && std::isfinite(result.dblVal)) CheckTextRoundTrip<double>(result);
        if (vt == VT_R4 && std::isfinite(result.fltVal)) CheckTextRoundTrip<float>(result);
        VariantClear(&result);
    }
    VariantClear(&source);
    return 0;
}
