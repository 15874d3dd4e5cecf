#include <new>
#include <string>

#include "platform/common/ErrorReporting.h"
#include "platform/common/Utf8.h"
#include "platform/runtime/Apartment.h"
#include "platform/runtime/BuiltInServers.h"
#include "platform/runtime/ClassRegistry.h"
#include "platform/runtime/ClassRuntime.h"
#include "platform/runtime/InprocLibraries.h"

using platform::ReportFailure;

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO* pServerInfo,
                         REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    if (!platform::IsThreadInitialized()) {
        return ReportFailure(CO_E_NOTINITIALIZED,
                             "CoInitializeEx has not been called on this thread");
    }
    if (pServerInfo != nullptr) {
        return ReportFailure(E_INVALIDARG, "only in-process servers exist on this platform");
    }
    try {
        if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) {
            return ReportFailure(REGDB_E_CLASSNOTREG,
                                 "class " + platform::Utf16ToUtf8(platform::GuidText(rclsid)) +
                                     " is not available in the requested context (only "
                                     "in-process servers exist on this platform)");
        }
        std::string path;
        std::string message;
        const HRESULT hr = platform::FindInprocServer(rclsid, &path, &message);
        if (FAILED(hr)) return ReportFailure(hr, message);
        if (HRESULT built_in; platform::GetBuiltInClassObject(path, rclsid, riid, ppv, &built_in)) {
            return built_in;
        }
        return platform::GetClassObjectFromLibrary(path, rclsid, riid, ppv);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    return hr;
}

void CoFreeUnusedLibraries() {
    platform::FreeUnusedLibraries(std::chrono::milliseconds(0));
}

void CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD) {
    constexpr DWORD kInfinite = 0xFFFFFFFF;
    constexpr DWORD kDefaultDelay = 10 * 60 * 1000;
    platform::FreeUnusedLibraries(
        std::chrono::milliseconds(dwUnloadDelay == kInfinite ? kDefaultDelay : dwUnloadDelay));
}
