// Calls that the tests of servers make through the class runtime: a library's exported entry
// point, called as regsvr calls it, and an object created the way a host creates one, with
// the runtime's explanation in the failure message.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "platform/Runtime.h"
#include "platform/common/ErrorReporting.h"

// Loads the library for the call; E_FAIL when it cannot be loaded or lacks the entry point.
inline HRESULT CallEntryPoint(const char* path, const char* name) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return E_FAIL;
    auto function = reinterpret_cast<HRESULT (*)()>(dlsym(handle, name));
    const HRESULT hr = function == nullptr ? E_FAIL : function();
    dlclose(handle);
    return hr;
}

template <class Interface>
Interface* CreateObject(REFCLSID clsid, REFIID iid) {
    Interface* object = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                               reinterpret_cast<void**>(&object)),
              S_OK)
        << platform::TakeErrorDescription();
    return object;
}
