// A server's type library: the description it carries (its stand-in for the TYPELIB
// resource), registered from the library's own path, and revoked when the library is unloaded
// so that no one calls into unloaded member code. SERVERKIT_ENTRY_POINTS (ServerKit.h) puts
// these together for a server.
#pragma once

#include <span>

#include "platform/runtime/TypeDescription.h"
#include "platform/serverkit/ServerModule.h"

namespace serverkit {

// DllRegisterServer and DllUnregisterServer of a server with a type library: the classes'
// scripts, then the library (the first failure ends the run and is returned).
HRESULT RegisterServer(std::span<const ServerClass> classes,
                       const TypeLibDescription& type_library);
HRESULT UnregisterServer(std::span<const ServerClass> classes,
                         const TypeLibDescription& type_library);

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
