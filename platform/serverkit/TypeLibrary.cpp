#include "platform/serverkit/TypeLibrary.h"

#include "platform/TypeLibObject.h"
#include "platform/TypeLibRegistry.h"
#include "platform/Utf8.h"
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

EmbeddedTypeLibrary::~EmbeddedTypeLibrary() {
    RevokeTypeLibDescription(&description_);
}

}  // namespace serverkit
