// A barcode object for tests that call the component directly, without the server: identity
// is trivial, there is no dispatch, and the object lives on the stack.
#pragma once

#include "component/CQuillon.h"
#include "tests/support/WithoutDispatch.h"

class TestQuillon final : public WithoutDispatch<CQuillon> {
public:
    ~TestQuillon() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        if (ppv != nullptr) *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

private:
    ULONG references_ = 0;
};
