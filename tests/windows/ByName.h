// Calling an automation object by name, as a page script does, through the hosts' own
// platform::CallByName with the user's locale; and the VARIANTs and text the checks use.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/common/DispatchByName.h"

// What a call gave: its HRESULT and, for DISP_E_EXCEPTION, the error the member reported.
using CallResult = platform::DispatchCall;

// An owned VARIANT.
class Variant {
public:
    Variant() { VariantInit(&v_); }
    explicit Variant(const std::wstring& text) : Variant() {
        v_.vt = VT_BSTR;
        v_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* operator&() { return &v_; }
    const VARIANT& operator*() const { return v_; }
    const VARIANT* operator->() const { return &v_; }

private:
    VARIANT v_;
};

// A by-reference argument to *target, as a script passes its variables.
inline VARIANT RefTo(VARIANT* target) {
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = target;
    return ref;
}

// The object registered under the ProgID, as IDispatch; null when it cannot be created.
IDispatch* CreateByProgId(const wchar_t* progid, HRESULT* hr);

// args are in the caller's order.
CallResult Invoke(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT*> args,
                  VARIANT* result);
CallResult Put(IDispatch* object, const wchar_t* name, const std::wstring& value);
CallResult Get(IDispatch* object, const wchar_t* name, VARIANT* result);

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);
std::string Hex(HRESULT hr);
