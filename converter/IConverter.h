// The companion server's interface and identifiers, as its type library declares them
// (converter/TarvexUnicode.idl).
#pragma once

#include "platform/Platform.h"

// {F98AFDC0-C0F2-48B0-A525-4C4A675466E2}
constexpr CLSID CLSID_Converter = {
    0xF98AFDC0, 0xC0F2, 0x48B0, {0xA5, 0x25, 0x4C, 0x4A, 0x67, 0x54, 0x66, 0xE2}};
// {56B0F6E0-EF48-4FED-B36C-E8D859E28F04}
constexpr IID IID__Converter = {
    0x56B0F6E0, 0xEF48, 0x4FED, {0xB3, 0x6C, 0xE8, 0xD8, 0x59, 0xE2, 0x8F, 0x04}};
// {806B6A99-FDED-48F5-8711-91C3846F54DE}
constexpr GUID LIBID_TarvexUnicode = {
    0x806B6A99, 0xFDED, 0x48F5, {0x87, 0x11, 0x91, 0xC3, 0x84, 0x6F, 0x54, 0xDE}};

// The ProgID scripts create the converter by.
inline constexpr OLECHAR kConverterProgId[] = OLESTR("TarvexUnicode.Converter");

struct _Converter : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetUTF8String(BSTR UnicodeText, BSTR* result) = 0;
};
