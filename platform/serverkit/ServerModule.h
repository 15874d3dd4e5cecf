// What an in-process server library is made of, and what its four entry points call.
//
// The server lists its classes in a table: each class's identifier, its class-object creator
// and its registration script. The module creates a class's object on the first
// DllGetClassObject for it, once (under a module-wide mutex), and keeps it until the library
// is unloaded. Registration runs each class's script with %MODULE% replaced by the library's
// own full path.
//
//     constexpr serverkit::ServerClass kClasses[] = {
//         serverkit::ClassEntry<Widget>(CLSID_Widget, kWidgetScript),
//     };
//     STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
//         return serverkit::GetModuleClassObject(kClasses, rclsid, riid, ppv);
//     }
//     STDAPI DllCanUnloadNow() { return serverkit::ModuleCanUnloadNow(); }
//     STDAPI DllRegisterServer() { return serverkit::RegisterModule(kClasses); }
//     STDAPI DllUnregisterServer() { return serverkit::UnregisterModule(kClasses); }
#pragma once

#include <span>

#include "platform/serverkit/ClassFactory.h"
#include "platform/serverkit/ModuleHost.h"

namespace serverkit {

struct ServerClass {
    const CLSID* clsid;
    HRESULT (*create_class_object)(IClassFactory** factory);
    const RegistrationScript* registration_script;  // null when the class registers nothing
};

template <class T>
constexpr ServerClass ClassEntry(const CLSID& clsid, const RegistrationScript& script) {
    return {&clsid, &ClassFactory<T>::Create, &script};
}

// DllGetClassObject: E_POINTER for a null ppv; CLASS_E_CLASSNOTAVAILABLE (and a null *ppv)
// for a class not in the table; otherwise the class object's answer to the query for riid.
HRESULT GetModuleClassObject(std::span<const ServerClass> classes, REFCLSID clsid, REFIID riid,
                             void** ppv);

// DllRegisterServer and DllUnregisterServer: each class's script, with %MODULE% and the
// replacements given; the first failure ends the run and is returned (the thread's error
// object says why).
HRESULT RegisterModule(std::span<const ServerClass> classes,
                       const platform::RegistrarReplacementMap& replacements = {});
HRESULT UnregisterModule(std::span<const ServerClass> classes,
                         const platform::RegistrarReplacementMap& replacements = {});

}  // namespace serverkit

// The two exports every server has alike, for SERVERKIT_ENTRY_POINTS (ServerKit.h) on either
// platform.
#define SERVERKIT_CLASS_ENTRY_POINTS(classes)                               \
    STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {   \
        return serverkit::GetModuleClassObject(classes, rclsid, riid, ppv); \
    }                                                                       \
    STDAPI DllCanUnloadNow() {                                              \
        return serverkit::ModuleCanUnloadNow();                             \
    }
