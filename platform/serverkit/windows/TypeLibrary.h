// A server's type library on Windows: the TYPELIB resource 1 of the library, registered from
// the library's own path and unregistered by the identifier, version, locale and system kind
// it declares. SERVERKIT_ENTRY_POINTS puts these together with the rest of the kit.
#pragma once

#include <span>

#include "platform/serverkit/ServerModule.h"

namespace serverkit {

// DllRegisterServer and DllUnregisterServer: the classes' scripts, then the library's
// embedded type library (the first failure ends the run and is returned).
HRESULT RegisterServer(std::span<const ServerClass> classes);
HRESULT UnregisterServer(std::span<const ServerClass> classes);

}  // namespace serverkit

// The four exports of a server library whose classes are listed in `classes`. The type
// library is the library's TYPELIB resource: `type_library` names the Linux stand-in for it
// and is not used here.
#define SERVERKIT_ENTRY_POINTS(classes, type_library) \
    SERVERKIT_CLASS_ENTRY_POINTS(classes)             \
    STDAPI DllRegisterServer() {                      \
        return serverkit::RegisterServer(classes);    \
    }                                                 \
    STDAPI DllUnregisterServer() {                    \
        return serverkit::UnregisterServer(classes);  \
    }
