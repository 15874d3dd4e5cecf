#include "component/ComponentError.h"

#include "component/IQuillon.h"

HRESULT ReportError(HRESULT hr, const char16_t* description) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create))) return hr;
    create->SetGUID(IID_IQuillon);
    create->SetSource(const_cast<LPOLESTR>(u"TarvexQuillon.Quillon"));
    create->SetDescription(const_cast<LPOLESTR>(description));
    IErrorInfo* error = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&error)))) {
        SetErrorInfo(0, error);
        error->Release();
    }
    create->Release();
    return hr;
}
