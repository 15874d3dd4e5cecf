// The in-process server kit: what a self-registering server library is built from. Linked
// into each server (not into the platform runtime), so that each library has its own lock
// count and class objects. See ServerModule.h for how a server puts it together.
#pragma once

#include "platform/serverkit/ClassFactory.h"
#include "platform/serverkit/InterfaceTable.h"
#include "platform/serverkit/ModuleLock.h"
#include "platform/serverkit/Objects.h"
#include "platform/serverkit/ServerModule.h"
#include "platform/serverkit/TypeInfoDispatch.h"
#include "platform/serverkit/TypeLibrary.h"

// The exports of a server library whose classes are listed in `classes` and whose type
// library `type_library` describes: the four entry points, and the type library as the
// resource that LoadRegTypeLib reads (revoked when the library is unloaded).
//
//     SERVERKIT_ENTRY_POINTS(kClasses, kWidgetLib)
#define SERVERKIT_ENTRY_POINTS(classes, type_library)                       \
    namespace {                                                             \
    serverkit::EmbeddedTypeLibrary embedded_type_library(type_library);     \
    }                                                                       \
    STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {   \
        return serverkit::GetModuleClassObject(classes, rclsid, riid, ppv); \
    }                                                                       \
    STDAPI DllCanUnloadNow() {                                              \
        return serverkit::ModuleCanUnloadNow();                             \
    }                                                                       \
    STDAPI DllRegisterServer() {                                            \
        return serverkit::RegisterServer(classes, type_library);            \
    }                                                                       \
    STDAPI DllUnregisterServer() {                                          \
        return serverkit::UnregisterServer(classes, type_library);          \
    }                                                                       \
    PLATFORM_API const TypeLibDescription* PlatformTypeLibResource() {      \
        return &type_library;                                               \
    }
