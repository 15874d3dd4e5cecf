// Converter turns Unicode text into "~dNNN" escapes of its UTF-8 bytes, the form the barcode
// component's Data expands back into bytes when HandleTilde is on. It holds no state.
// IUnknown and IDispatch are left to its server, as for the barcode component.
#pragma once

#include <cstdint>

#include "converter/IConverter.h"

class CConverter : public _Converter {
public:
    // The longest UTF-8 form that converts; one byte more overflows the 16-bit byte count.
    static constexpr int kMaxUtf8Bytes = 32766;

    HRESULT STDMETHODCALLTYPE GetUTF8String(BSTR UnicodeText, BSTR* result) override;

protected:
    ~CConverter() = default;

private:
    // Writes the five characters "~d" and three zero-padded decimal digits of a byte value.
    static void GetByteEscape(std::int16_t value, OLECHAR* escape);
};
