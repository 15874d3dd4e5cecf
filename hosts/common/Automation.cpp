#include "hosts/common/Automation.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <map>
#include <string>

#include "platform/common/ErrorReporting.h"
#include "platform/common/Utf8.h"
#include "platform/runtime/ServerRegistration.h"

namespace {

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string DirectoryOfExecutable() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string p(path, static_cast<std::size_t>(n));
    const std::size_t slash = p.rfind('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

// The class objects this thread has looked up, by ProgID. A page host creates an object for
// every request, and finding the class in the registry each time would cost more than the
// request itself; the class object is kept instead, as page hosts keep theirs.
class ClassObjectCache {
public:
    ~ClassObjectCache() {
        for (auto& [progid, factory] : factories_) factory->Release();
    }
    HRESULT Get(const char16_t* progid, IClassFactory** factory) {
        const auto found = factories_.find(progid);
        if (found != factories_.end()) {
            *factory = found->second;
            return S_OK;
        }
        CLSID clsid{};
        HRESULT hr = CLSIDFromProgID(progid, &clsid);
        if (FAILED(hr)) return hr;
        hr = CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                              reinterpret_cast<void**>(factory));
        if (SUCCEEDED(hr)) factories_.emplace(progid, *factory);
        return hr;
    }

private:
    std::map<std::u16string, IClassFactory*> factories_;
};

thread_local ClassObjectCache class_objects;

HRESULT TryCreate(const char16_t* progid, IDispatch** object) {
    IClassFactory* factory = nullptr;
    const HRESULT hr = class_objects.Get(progid, &factory);
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(object));
}

}  // namespace

DispatchPtr& DispatchPtr::operator=(DispatchPtr&& other) noexcept {
    if (this != &other) {
        Reset();
        p_ = other.p_;
        other.p_ = nullptr;
    }
    return *this;
}

void DispatchPtr::Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
}

DispatchPtr CreateByProgId(const char16_t* progid, const char* library, CallError* error) {
    IDispatch* object = nullptr;
    HRESULT hr = TryCreate(progid, &object);
    if (FAILED(hr)) {
        std::string message;
        if (platform::RegisterServerLibrary(DirectoryOfExecutable() + "/" + library, false,
                                            &message) != platform::ServerRegistration::kDone) {
            error->hr = CO_E_ERRORINDLL;
            error->message = message;
            return {};
        }
        hr = TryCreate(progid, &object);
    }
    if (FAILED(hr)) {
        error->hr = hr;
        const std::string description = platform::TakeErrorDescription();
        error->message = "cannot create " + platform::Utf16ToUtf8(progid) + " (" + Hex(hr) + ")" +
                         (description.empty() ? "" : ": " + description);
        return {};
    }
    return DispatchPtr(object);
}

HRESULT InvokeByName(IDispatch* object, std::u16string_view name, WORD flags,
                     std::vector<VARIANT>& args, VARIANT* result, CallError* error) {
    std::u16string member(name);
    LPOLESTR names[] = {member.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    if (FAILED(hr)) {
        error->hr = hr;
        error->message = "unknown member";
        return hr;
    }

    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID put_id = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put_id;
        params.cNamedArgs = 1;
    }
    EXCEPINFO exception{};
    UINT bad_argument = 0;
    hr = object->Invoke(id, IID_NULL, 0, flags, &params, result, &exception, &bad_argument);
    if (hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
        error->hr = exception.scode != 0 ? exception.scode : hr;
        error->message = exception.bstrDescription == nullptr
                             ? "failed with " + Hex(error->hr)
                             : platform::Utf16ToUtf8(exception.bstrDescription);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        return error->hr;
    }
    if (FAILED(hr)) {
        error->hr = hr;
        error->message = hr == DISP_E_TYPEMISMATCH ? "type mismatch"
                         : hr == DISP_E_OVERFLOW   ? "out of range"
                                                   : "failed with " + Hex(hr);
    }
    return hr;
}
