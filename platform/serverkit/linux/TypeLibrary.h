// A server's type library on Linux: the description it carries (its stand-in for the TYPELIB
// resource), registered from the library's own path, and revoked when the library is unloaded
// so that no one calls into unloaded member code. SERVERKIT_ENTRY_POINTS puts these together
// with the rest of the kit.
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

#ifndef SERVERKIT_BUILT_IN
// The exports of a server library whose classes are listed in `classes` and whose type
// library `type_library` describes: the four entry points, and the type library as the
// resource that LoadRegTypeLib reads (revoked when the library is unloaded).
#define SERVERKIT_ENTRY_POINTS(classes, type_library)                   \
    namespace {                                                         \
    serverkit::EmbeddedTypeLibrary embedded_type_library(type_library); \
    }                                                                   \
    SERVERKIT_CLASS_ENTRY_POINTS(classes)                               \
    STDAPI DllRegisterServer() {                                        \
        return serverkit::RegisterServer(classes, type_library);        \
    }                                                                   \
    STDAPI DllUnregisterServer() {                                      \
        return serverkit::UnregisterServer(classes, type_library);      \
    }                                                                   \
    PLATFORM_API const TypeLibDescription* PlatformTypeLibResource() {  \
        return &type_library;                                           \
    }
#else
#include "platform/runtime/BuiltInServers.h"
// The same server built into a program (quillon_add_inproc_server's BUILT_IN): its entry points
// are no exports, named alike in every server, but the program's own, handed to the runtime in
// one record named SERVERKIT_BUILT_IN, which stands for the library SERVERKIT_BUILT_IN_FILE_NAME.
// Its type library is registered in this process, where LoadRegTypeLib finds it.
#define SERVERKIT_ENTRY_POINTS(classes, type_library)                                 \
    namespace {                                                                       \
    serverkit::EmbeddedTypeLibrary embedded_type_library(type_library);               \
    HRESULT BuiltInGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {         \
        return serverkit::GetModuleClassObject(classes, rclsid, riid, ppv);           \
    }                                                                                 \
    HRESULT BuiltInRegisterServer() {                                                 \
        return serverkit::RegisterServer(classes, type_library);                      \
    }                                                                                 \
    HRESULT BuiltInUnregisterServer() {                                               \
        return serverkit::UnregisterServer(classes, type_library);                    \
    }                                                                                 \
    }                                                                                 \
    extern const platform::BuiltInServer SERVERKIT_BUILT_IN;                          \
    const platform::BuiltInServer SERVERKIT_BUILT_IN{                                 \
        SERVERKIT_BUILT_IN_FILE_NAME, &BuiltInGetClassObject, &BuiltInRegisterServer, \
        &BuiltInUnregisterServer};
#endif
