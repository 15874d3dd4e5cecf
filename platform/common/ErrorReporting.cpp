#include "platform/common/ErrorReporting.h"

#include "platform/common/Utf8.h"

namespace platform {

HRESULT ReportError(HRESULT hr, REFIID iid, LPCOLESTR source, LPCOLESTR description) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create))) return hr;
    create->SetGUID(iid);
    if (source != nullptr) create->SetSource(const_cast<LPOLESTR>(source));
    create->SetDescription(const_cast<LPOLESTR>(description));
    IErrorInfo* error = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&error)))) {
        SetErrorInfo(0, error);
        error->Release();
    }
    create->Release();
    return hr;
}

HRESULT ReportFailure(HRESULT hr, std::string_view message) {
    const std::u16string description = Utf8ToUtf16Lossy(message);
    return ReportError(hr, GUID_NULL, nullptr, reinterpret_cast<LPCOLESTR>(description.c_str()));
}

std::string TakeErrorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return {};
    BSTR text = nullptr;
    info->GetDescription(&text);
    info->Release();
    std::string description;
    if (text != nullptr) {
        description = Utf16ToUtf8(
            std::u16string_view(reinterpret_cast<const char16_t*>(text), SysStringLen(text)));
    }
    SysFreeString(text);
    return description;
}

}  // namespace platform
