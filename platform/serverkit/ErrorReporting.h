// Reporting a failure with a description, as a member of an automation class does: the
// thread's error object gets the description, the reporting interface and the class's
// ProgID as its source, and dispatch hands them to the script. Written with the automation
// API alone, so a class's own code can use it on any platform.
#pragma once

#include "platform/ErrorInfo.h"

namespace serverkit {

// Returns hr, so that a member can end with `return ReportError(E_..., iid, source, text)`.
inline HRESULT ReportError(HRESULT hr, REFIID iid, LPCOLESTR source, LPCOLESTR description) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create))) return hr;
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(source));
    create->SetDescription(const_cast<LPOLESTR>(description));
    IErrorInfo* error = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&error)))) {
        SetErrorInfo(0, error);
        error->Release();
    }
    create->Release();
    return hr;
}

}  // namespace serverkit
