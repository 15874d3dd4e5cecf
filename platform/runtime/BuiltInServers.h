// In-process servers built into the program rather than loaded from a library file. A program
// that links a server in (the command line links the component's: a run is mostly process
// start, and loading the server's library was a good part of it) hands the runtime the
// server's entry points before its first registration or creation. From then on:
// - registering the library the server stands for (its file name beside the runtime) runs the
//   built-in DllRegisterServer (or DllUnregisterServer) in this process, loading no file, as
//   RegisterServerLibrary does for a library; the module the server registers is the program
//   itself, as the server kit finds it (its path, every link resolved);
// - creating a class whose InprocServer32 names the program enters the built-in servers'
//   DllGetClassObject, one after the other until one has the class.
// A built-in server stays for the life of the process: it has no DllCanUnloadNow to ask.
#pragma once

#include <string>

#include "platform/winapi/Guid.h"

namespace platform {

struct BuiltInServer {
    const char* file_name;  // the library it stands for, as it lies beside the runtime
    HRESULT (*get_class_object)(REFCLSID clsid, REFIID riid, void** ppv);
    HRESULT (*register_server)();
    HRESULT (*unregister_server)();
};

// Adds a server that lives as long as the process; call it before registering or creating any
// of its classes.
PLATFORM_CPP_API void AddBuiltInServer(const BuiltInServer* server);

// The built-in server that stands for the library at path, or null.
const BuiltInServer* BuiltInServerFor(const std::string& library_path);

// When module_path is the program's own path and a server is built in: true, with *result what
// the first built-in server that has the class answers, or CLASS_E_CLASSNOTAVAILABLE (and the
// thread's error object saying so) when none has it. False otherwise: the module is a library.
bool GetBuiltInClassObject(const std::string& module_path, REFCLSID clsid, REFIID riid, void** ppv,
                           HRESULT* result);

}  // namespace platform
