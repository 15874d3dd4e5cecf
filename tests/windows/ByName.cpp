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
    CallResult call;
    DISPID dispid = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    call.hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(call.hr)) return call;

    std::vector<VARIANT> reversed;  // Invoke takes the last argument first
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(**it);
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    EXCEPINFO error{};
    UINT bad_argument = 0;
    call.hr = object->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &error,
                             &bad_argument);
    if (call.hr == DISP_E_EXCEPTION) {
        if (error.pfnDeferredFillIn != nullptr) error.pfnDeferredFillIn(&error);
        call.scode = error.scode;
        if (error.bstrSource != nullptr) call.source = error.bstrSource;
        if (error.bstrDescription != nullptr) call.description = error.bstrDescription;
    }
    SysFreeString(error.bstrSource);
    SysFreeString(error.bstrDescription);
    SysFreeString(error.bstrHelpFile);
    return call;
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
