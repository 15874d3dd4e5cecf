// The class object of a class T: IClassFactory, creating plain objects, or aggregated ones
// when an outer object asks for IUnknown. Its reference count is atomic, since any thread may
// use it. The module keeps one reference from its creation until the library is unloaded;
// while anyone else holds one too (a count above 1) it holds one module lock, taken when the
// count goes from 1 to 2 and given back when it returns to 1.
#pragma once

#include <atomic>
#include <new>

#include "platform/serverkit/ModuleLock.h"
#include "platform/serverkit/Objects.h"

namespace serverkit {

template <class T>
class ClassFactory final : public IClassFactory {
public:
    // A new class object with its one reference, the module's.
    static HRESULT Create(IClassFactory** factory) {
        *factory = new (std::nothrow) ClassFactory();
        return *factory == nullptr ? E_OUTOFMEMORY : S_OK;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        const ULONG count = references_.fetch_add(1) + 1;
        if (count == 2) LockModule();
        return count;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG count = references_.fetch_sub(1) - 1;
        if (count == 1) UnlockModule();
        if (count == 0) delete this;
        return count;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppvObject) override {
        if (ppvObject == nullptr) return E_POINTER;
        *ppvObject = nullptr;
        if (pUnkOuter != nullptr && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
        IUnknown* object = nullptr;
        try {
            if (pUnkOuter == nullptr) {
                object = (new PlainObject<T>())->Identity();
            } else {
                object = new AggregatedObject<T>(pUnkOuter);
            }
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        // Held across the query, so that a failing query destroys the new object.
        object->AddRef();
        const HRESULT hr = object->QueryInterface(riid, ppvObject);
        object->Release();
        return hr;
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
        if (fLock) {
            LockModule();
        } else {
            UnlockModule();
        }
        return S_OK;
    }

private:
    ClassFactory() = default;
    ~ClassFactory() = default;

    std::atomic<ULONG> references_{1};
};

}  // namespace serverkit
