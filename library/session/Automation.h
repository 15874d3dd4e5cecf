// The small automation client both hosts are made of: create a class by ProgID from the
// servers built or installed with the host, and call it by name through IDispatch, as a page
// script does.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Runtime.h"

// An owned interface pointer.
class DispatchPtr {
public:
    DispatchPtr() = default;
    explicit DispatchPtr(IDispatch* p) : p_(p) {}
    DispatchPtr(const DispatchPtr&) = delete;
    DispatchPtr& operator=(const DispatchPtr&) = delete;
    DispatchPtr(DispatchPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    DispatchPtr& operator=(DispatchPtr&& other) noexcept;
    ~DispatchPtr() { Reset(); }
    IDispatch* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void Reset();

private:
    IDispatch* p_ = nullptr;
};

// The result of a failed call: its HRESULT and a sentence saying why.
struct CallError {
    HRESULT hr = S_OK;
    std::string message;
};

// Creates the class progid of the server library named `library` on this thread
// (CoInitializeEx must have run). The library is the one beside the runtime this host runs
// with, registered (once) in a registry private to this process, whatever any other registry
// says about the class.
DispatchPtr CreateByProgId(const char16_t* progid, const char* library, CallError* error);

// Calls a member by name. args are in the caller's order (Invoke receives them reversed).
// flags is DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT.
HRESULT InvokeByName(IDispatch* object, std::u16string_view name, WORD flags,
                     std::vector<VARIANT>& args, VARIANT* result, CallError* error);
