#include "platform/PlatformError.h"

#include "platform/Bstr.h"
#include "platform/ErrorInfo.h"
#include "platform/Utf8.h"

namespace platform {

HRESULT ReportFailure(HRESULT hr, std::string_view message) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create))) return hr;
    std::u16string description = Utf8ToUtf16Lossy(message);
    create->SetDescription(description.data());
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
    return hr;
}

std::string TakeErrorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK) return {};
    BSTR text = nullptr;
    info->GetDescription(&text);
    info->Release();
    std::string description = text == nullptr
                                  ? std::string()
                                  : Utf16ToUtf8(std::u16string_view(text, SysStringLen(text)));
    SysFreeString(text);
    return description;
}

}  // namespace platform
