// A server's type library: the description it carries (its stand-in for the TYPELIB
// resource), registered from the library's own path, and revoked when the library is unloaded
// so that no one calls into unloaded member code.
//
//     serverkit::EmbeddedTypeLibrary widget_library(kWidgetLib);
//     PLATFORM_API const TypeLibDescription* PlatformTypeLibResource() { return &kWidgetLib; }
//     ... DllRegisterServer: serverkit::RegisterTypeLibrary(kWidgetLib)
#pragma once

#include "platform/TypeDescription.h"

namespace serverkit {

// RegisterTypeLib of the description, with this library's full path as the module.
HRESULT RegisterTypeLibrary(const TypeLibDescription& description);
// UnRegisterTypeLib of the description's identifier, version, locale and system kind.
HRESULT UnregisterTypeLibrary(const TypeLibDescription& description);

// A static of the server: revokes the description when the library is unloaded.
class EmbeddedTypeLibrary {
public:
    constexpr explicit EmbeddedTypeLibrary(const TypeLibDescription& description)
        : description_(description) {}
    ~EmbeddedTypeLibrary();
    EmbeddedTypeLibrary(const EmbeddedTypeLibrary&) = delete;
    EmbeddedTypeLibrary& operator=(const EmbeddedTypeLibrary&) = delete;

private:
    const TypeLibDescription& description_;
};

}  // namespace serverkit
