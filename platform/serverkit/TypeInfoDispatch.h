// IDispatch answered from a registered type library, for classes with a dual interface: the
// names, DISPIDs and argument types come from the library, and standard dispatch converts
// each argument to its declared type before the member is called.
//
//     serverkit::TypeInfoHolder widget_type_info(LIBID_WidgetLib, 1, 0, IID_IWidget);
//     class Widget : public serverkit::TypeInfoDispatch<CWidget, IWidget, widget_type_info> {...};
#pragma once

#include <atomic>
#include <mutex>

#include "platform/Runtime.h"

namespace serverkit {

// The type information of one interface, loaded from its registered library on first need
// and kept for the life of the module (the holder is a static of the server library). A
// failed load is not kept: the next call tries again. Not constexpr: std::mutex of mingw-w64's
// POSIX-thread runtime cannot be made at compile time; the holder is made when its library
// is loaded, before anyone can call into it.
class TypeInfoHolder {
public:
    TypeInfoHolder(const GUID& libid, WORD major, WORD minor, const IID& iid)
        : libid_(libid), major_(major), minor_(minor), iid_(iid) {}
    ~TypeInfoHolder() {
        if (ITypeInfo* info = info_.load(std::memory_order_acquire)) info->Release();
    }
    TypeInfoHolder(const TypeInfoHolder&) = delete;
    TypeInfoHolder& operator=(const TypeInfoHolder&) = delete;

    // The type information with a reference for the caller, or the loading error.
    HRESULT Get(ITypeInfo** info) {
        const HRESULT hr = Borrow(info);
        if (SUCCEEDED(hr)) (*info)->AddRef();
        return hr;
    }

    // The type information without a reference: the holder keeps its own for the module's
    // life. Once loaded, it is read without the lock: dispatch asks for it on every call.
    HRESULT Borrow(ITypeInfo** info) {
        *info = info_.load(std::memory_order_acquire);
        if (*info != nullptr) return S_OK;
        std::lock_guard lock(mutex_);
        *info = info_.load(std::memory_order_relaxed);
        if (*info != nullptr) return S_OK;
        ITypeLib* library = nullptr;
        HRESULT hr = LoadRegTypeLib(libid_, major_, minor_, 0, &library);
        if (FAILED(hr)) return hr;
        ITypeInfo* loaded = nullptr;
        hr = library->GetTypeInfoOfGuid(iid_, &loaded);
        library->Release();
        if (FAILED(hr)) return hr;
        info_.store(loaded, std::memory_order_release);
        *info = loaded;
        return S_OK;
    }

private:
    const GUID& libid_;
    WORD major_;
    WORD minor_;
    const IID& iid_;
    std::mutex mutex_;
    std::atomic<ITypeInfo*> info_ = nullptr;
};

template <class Base, class Interface, TypeInfoHolder& kTypeInfo>
class TypeInfoDispatch : public Base {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo == nullptr) return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo == nullptr) return E_POINTER;
        *ppTInfo = nullptr;
        if (iTInfo != 0) return DISP_E_BADINDEX;
        return kTypeInfo.Get(ppTInfo);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                            DISPID* rgDispId) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        ITypeInfo* info = nullptr;
        const HRESULT hr = kTypeInfo.Borrow(&info);
        return FAILED(hr) ? hr : DispGetIDsOfNames(info, rgszNames, cNames, rgDispId);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        ITypeInfo* info = nullptr;
        const HRESULT hr = kTypeInfo.Borrow(&info);
        return FAILED(hr) ? hr
                          : DispInvoke(static_cast<Interface*>(this), info, dispIdMember, wFlags,
                                       pDispParams, pVarResult, pExcepInfo, puArgErr);
    }

protected:
    ~TypeInfoDispatch() = default;
};

}  // namespace serverkit
