// A barcode object for tests that call the component directly, without the server shell:
// identity is trivial and the object lives on the stack.
#pragma once

#include "component/CQuillon.h"

class TestQuillon final : public CQuillon {
public:
    ~TestQuillon() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        if (ppv != nullptr) *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++ReferenceCount; }
    ULONG STDMETHODCALLTYPE Release() override { return --ReferenceCount; }
};
