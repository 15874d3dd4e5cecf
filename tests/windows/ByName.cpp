#include "tests/windows/ByName.h"

#include <cstdio>

IDispatch* CreateByProgId(const wchar_t* progid, HRESULT* hr) {
    CLSID clsid{};
    *hr = CLSIDFromProgID(progid, &clsid);
    if (FAILED(*hr)) return nullptr;
    IDispatch* object = nullptr;
    *hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                           reinterpret_cast<void**>(&object));
    return SUCCEEDED(*hr) ? object : nullptr;
}

CallResult Invoke(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT*> args,
                  VARIANT* result) {
    std::vector<VARIANT> values;
    for (const VARIANT* arg : args) values.push_back(*arg);
    return platform::CallByName(object, name, flags, std::move(values), result,
                                LOCALE_USER_DEFAULT);
}

CallResult Put(IDispatch* object, const wchar_t* name, const std::wstring& value) {
    Variant text(value);
    return Invoke(object, name, DISPATCH_PROPERTYPUT, {&text}, nullptr);
}

CallResult Get(IDispatch* object, const wchar_t* name, VARIANT* result) {
    return Invoke(object, name, DISPATCH_PROPERTYGET, {}, result);
}

std::wstring Widen(const std::string& utf8) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), n);
    return text;
}

std::string Narrow(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), n,
                        nullptr, nullptr);
    return utf8;
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}
