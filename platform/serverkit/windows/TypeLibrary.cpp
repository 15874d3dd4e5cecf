#include "platform/serverkit/windows/TypeLibrary.h"

#include <string>

#include "platform/common/Utf8.h"

namespace serverkit {
namespace {

// The library's TYPELIB resource, loaded without registering it, and the library's path.
HRESULT LoadModuleTypeLibrary(std::u16string* path, ITypeLib** library) {
    *path = platform::Utf8ToUtf16Lossy(ModulePath());
    return LoadTypeLibEx(reinterpret_cast<LPCOLESTR>(path->c_str()), REGKIND_NONE, library);
}

HRESULT RegisterModuleTypeLibrary() {
    std::u16string path;
    ITypeLib* library = nullptr;
    HRESULT hr = LoadModuleTypeLibrary(&path, &library);
    if (FAILED(hr)) return hr;
    hr = RegisterTypeLib(library, reinterpret_cast<LPOLESTR>(path.data()), nullptr);
    library->Release();
    return hr;
}

HRESULT UnregisterModuleTypeLibrary() {
    std::u16string path;
    ITypeLib* library = nullptr;
    HRESULT hr = LoadModuleTypeLibrary(&path, &library);
    if (FAILED(hr)) return hr;
    TLIBATTR* attributes = nullptr;
    hr = library->GetLibAttr(&attributes);
    if (SUCCEEDED(hr)) {
        hr = UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                               attributes->lcid, attributes->syskind);
        library->ReleaseTLibAttr(attributes);
    }
    library->Release();
    return hr;
}

}  // namespace

HRESULT RegisterServer(std::span<const ServerClass> classes) {
    const HRESULT hr = RegisterModule(classes);
    return FAILED(hr) ? hr : RegisterModuleTypeLibrary();
}

HRESULT UnregisterServer(std::span<const ServerClass> classes) {
    const HRESULT hr = UnregisterModule(classes);
    return FAILED(hr) ? hr : UnregisterModuleTypeLibrary();
}

}  // namespace serverkit
