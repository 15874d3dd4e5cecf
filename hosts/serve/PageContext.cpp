#include "hosts/serve/PageContext.h"

#include <atomic>
#include <new>

namespace {

std::atomic<long> live_page_objects{0};

// Shared IDispatch answers of objects that expose no members to scripts.
template <typename Interface>
class MemberlessDispatch : public Interface {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT names, LCID,
                                            DISPID* ids) override {
        for (UINT i = 0; ids != nullptr && i < names; ++i) ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~MemberlessDispatch() = default;

private:
    ULONG references_ = 1;  // used on one worker thread only
};

class PageObject final : public MemberlessDispatch<IDispatch> {
public:
    PageObject() { ++live_page_objects; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

private:
    ~PageObject() override { --live_page_objects; }
};

class ScriptingContext final : public MemberlessDispatch<IScriptingContext> {
public:
    ScriptingContext() { ++live_page_objects; }
    bool Complete() const {
        for (IDispatch* page : pages_) {
            if (page == nullptr) return false;
        }
        return true;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IScriptingContext) {
            *ppv = static_cast<IScriptingContext*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE get_Request(IDispatch** out) override { return Give(0, out); }
    HRESULT STDMETHODCALLTYPE get_Response(IDispatch** out) override { return Give(1, out); }
    HRESULT STDMETHODCALLTYPE get_Server(IDispatch** out) override { return Give(2, out); }
    HRESULT STDMETHODCALLTYPE get_Session(IDispatch** out) override { return Give(3, out); }
    HRESULT STDMETHODCALLTYPE get_Application(IDispatch** out) override { return Give(4, out); }

private:
    ~ScriptingContext() override {
        for (IDispatch* page : pages_) {
            if (page != nullptr) page->Release();
        }
        --live_page_objects;
    }
    HRESULT Give(int index, IDispatch** out) {
        if (out == nullptr) return E_POINTER;
        *out = pages_[index];
        (*out)->AddRef();
        return S_OK;
    }

    IDispatch* pages_[5] = {new (std::nothrow) PageObject, new (std::nothrow) PageObject,
                            new (std::nothrow) PageObject, new (std::nothrow) PageObject,
                            new (std::nothrow) PageObject};
};

}  // namespace

IScriptingContext* CreateScriptingContext() {
    auto* context = new (std::nothrow) ScriptingContext;
    if (context != nullptr && !context->Complete()) {
        context->Release();
        return nullptr;
    }
    return context;
}

IScriptingContext* ThreadScriptingContext() {
    struct Owned {
        IScriptingContext* context = nullptr;
        ~Owned() {
            if (context != nullptr) context->Release();
        }
    };
    thread_local Owned owned;
    if (owned.context == nullptr) owned.context = CreateScriptingContext();
    return owned.context;
}

long LivePageObjects() {
    return live_page_objects.load();
}
