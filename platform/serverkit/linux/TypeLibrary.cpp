#include "platform/serverkit/linux/TypeLibrary.h"

#include "platform/common/Utf8.h"
#include "platform/runtime/TypeLibObject.h"
#include "platform/runtime/TypeLibRegistry.h"
#include "platform/serverkit/ServerModule.h"

namespace serverkit {

HRESULT RegisterTypeLibrary(const TypeLibDescription& description) {
    ITypeLib* library = nullptr;
    HRESULT hr = CreateTypeLibFromDescription(&description, &library);
    if (FAILED(hr)) return hr;
    const std::u16string path = platform::Utf8ToUtf16Lossy(ModulePath());
    hr = RegisterTypeLib(library, path.c_str(), nullptr);
    library->Release();
    return hr;
}

HRESULT UnregisterTypeLibrary(const TypeLibDescription& description) {
    return UnRegisterTypeLib(description.libid, description.majorVersion, description.minorVersion,
                             description.lcid, description.syskind);
}

HRESULT RegisterServer(std::span<const ServerClass> classes,
                       const TypeLibDescription& type_library) {
    const HRESULT hr = RegisterModule(classes);
    return FAILED(hr) ? hr : RegisterTypeLibrary(type_library);
}

HRESULT UnregisterServer(std::span<const ServerClass> classes,
                         const TypeLibDescription& type_library) {
    const HRESULT hr = UnregisterModule(classes);
    return FAILED(hr) ? hr : UnregisterTypeLibrary(type_library);
}

EmbeddedTypeLibrary::~EmbeddedTypeLibrary() {
    RevokeTypeLibDescription(&description_);
}

}  // namespace serverkit
