#include "platform/winapi/ErrorInfo.h"

#include <atomic>
#include <new>

#include "platform/common/ReferenceCount.h"
#include "platform/winapi/Bstr.h"

namespace {

BSTR CopyOrNull(BSTR text) {
    return text == nullptr ? nullptr : SysAllocStringLen(text, SysStringLen(text));
}

HRESULT ReturnCopy(BSTR text, BSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = CopyOrNull(text);
    return (text != nullptr && *out == nullptr) ? E_OUTOFMEMORY : S_OK;
}

HRESULT Replace(BSTR* field, LPOLESTR text) {
    BSTR copy = text == nullptr ? nullptr : SysAllocString(text);
    if (text != nullptr && copy == nullptr) return E_OUTOFMEMORY;
    SysFreeString(*field);
    *field = copy;
    return S_OK;
}

class ErrorObject final : public IErrorInfo, public ICreateErrorInfo {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
            *ppv = static_cast<IErrorInfo*>(this);
        } else if (riid == IID_ICreateErrorInfo) {
            *ppv = static_cast<ICreateErrorInfo*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return references_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return references_.Release(this); }

    HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
        if (pGUID == nullptr) return E_POINTER;
        *pGUID = guid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* out) override { return ReturnCopy(source_, out); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* out) override {
        return ReturnCopy(description_, out);
    }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* out) override {
        return ReturnCopy(help_file_, out);
    }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* out) override {
        if (out == nullptr) return E_POINTER;
        *out = help_context_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) override {
        guid_ = rguid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return Replace(&source_, text); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override {
        return Replace(&description_, text);
    }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override {
        return Replace(&help_file_, text);
    }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override {
        help_context_ = context;
        return S_OK;
    }

private:
    friend class ReferenceCount<std::atomic<ULONG>>;
    ~ErrorObject() {
        SysFreeString(source_);
        SysFreeString(description_);
        SysFreeString(help_file_);
    }

    ReferenceCount<std::atomic<ULONG>> references_{1};
    GUID guid_ = GUID_NULL;
    BSTR source_ = nullptr;
    BSTR description_ = nullptr;
    BSTR help_file_ = nullptr;
    DWORD help_context_ = 0;
};

// Releases the thread's error object when the thread ends.
struct ThreadErrorSlot {
    IErrorInfo* error = nullptr;
    ~ThreadErrorSlot() {
        if (error != nullptr) error->Release();
    }
};
thread_local ThreadErrorSlot thread_error;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (pperrinfo == nullptr) return E_POINTER;
    auto* object = new (std::nothrow) ErrorObject();
    *pperrinfo = object;
    return object == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT SetErrorInfo(ULONG, IErrorInfo* perrinfo) {
    if (perrinfo != nullptr) perrinfo->AddRef();
    if (thread_error.error != nullptr) thread_error.error->Release();
    thread_error.error = perrinfo;
    return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** pperrinfo) {
    if (pperrinfo == nullptr) return E_POINTER;
    *pperrinfo = thread_error.error;
    thread_error.error = nullptr;
    return *pperrinfo == nullptr ? S_FALSE : S_OK;
}
