#include "tests/windows/PageHost.h"

HRESULT PageObject::QueryInterface(REFIID riid, void** ppv) {
    if (riid != IID_IUnknown && riid != IID_IDispatch) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

HRESULT PageContext::QueryInterface(REFIID riid, void** ppv) {
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != IID_IScriptingContext) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    *ppv = static_cast<IScriptingContext*>(this);
    AddRef();
    return S_OK;
}

int PageContext::Held() const {
    int held = 0;
    for (const PageObject& object : objects) held += static_cast<int>(object.references) - 1;
    return held;
}

HRESULT PageContext::Hand(int index, IDispatch** object) {
    asked += kNames[index][0];
    if (index == failing_) {
        *object = nullptr;
        return E_FAIL;
    }
    objects[index].AddRef();
    *object = &objects[index];
    return S_OK;
}
