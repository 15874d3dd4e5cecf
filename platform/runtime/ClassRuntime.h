// The class runtime: per-thread initialisation, ProgID lookups, and the creation of objects
// of classes that in-process servers (shared libraries) provide, as registered under
// HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32.
//
// Only in-process servers exist. A server library is loaded once per process (dlopen with
// RTLD_NOW | RTLD_LOCAL), entered through its exported DllGetClassObject, and unloaded by
// CoFreeUnusedLibraries when its DllCanUnloadNow says S_OK. A class whose InprocServer32 names
// the program itself is one of the servers built into it (BuiltInServers.h). There is no
// marshalling: every object is called directly on the thread that calls it, whatever the threading
// model it is registered with, so an apartment-threaded object must be kept to the thread that made
// it. Failures leave an error object on the thread that says what is missing or what the loader
// reported.
#pragma once

#include "platform/winapi/Unknown.h"

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD COINIT_DISABLE_OLE1DDE = 0x4;
constexpr DWORD COINIT_SPEED_OVER_MEMORY = 0x8;

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER;

struct COSERVERINFO;

// Counts per thread: S_OK for the first call, S_FALSE for each further one (each is matched by
// a CoUninitialize). Asking for the other model while initialised gives RPC_E_CHANGED_MODE.
PLATFORM_API HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
PLATFORM_API HRESULT CoInitialize(LPVOID pvReserved);  // apartment-threaded
PLATFORM_API void CoUninitialize();

// ProgID\CLSID. A ProgID without a CLSID of its own is followed through its CurVer (a
// version-independent ProgID naming the current one); Windows reads ProgID\CLSID alone.
// CO_E_CLASSSTRING for an unknown ProgID or a malformed CLSID. Needs no initialisation.
PLATFORM_API HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid);
// CLSID\{...}\ProgID, allocated with CoTaskMemAlloc; REGDB_E_CLASSNOTREG when there is none.
PLATFORM_API HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);

// dwClsContext must include CLSCTX_INPROC_SERVER; pServerInfo must be null.
// REGDB_E_CLASSNOTREG when the class has no InprocServer32 path, CO_E_DLLNOTFOUND when the
// library does not exist, CO_E_ERRORINDLL when it cannot be loaded or lacks DllGetClassObject,
// CO_E_NOTINITIALIZED on a thread without CoInitializeEx.
PLATFORM_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext,
                                      COSERVERINFO* pServerInfo, REFIID riid, LPVOID* ppv);
// The class object's IClassFactory::CreateInstance, with the errors of CoGetClassObject.
PLATFORM_API HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext,
                                      REFIID riid, LPVOID* ppv);
// Unloads every loaded server library whose DllCanUnloadNow returns S_OK (a library without
// that entry point stays). Safe to call from any thread at any time, but a thread that is
// just returning from the Release that freed a library's last object may still be running
// the library's code: hosts with several threads use CoFreeUnusedLibrariesEx with a delay.
PLATFORM_API void CoFreeUnusedLibraries();
// Unloads a library only once its DllCanUnloadNow has said S_OK at every call for
// dwUnloadDelay milliseconds (INFINITE, 0xFFFFFFFF, means the default of ten minutes).
PLATFORM_API void CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD dwReserved);
