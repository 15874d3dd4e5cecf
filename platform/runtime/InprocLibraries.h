// The in-process server libraries this process has loaded: each loaded once, entered through
// its DllGetClassObject, and unloaded when its DllCanUnloadNow allows.
#pragma once

#include <chrono>
#include <string>

#include "platform/winapi/Guid.h"

namespace platform {

// Loads the library at path unless it is loaded already and asks it for the class object.
// CO_E_DLLNOTFOUND when the file does not exist, E_ACCESSDENIED when others than its owner and
// root could have changed it (TrustedFiles.h), CO_E_ERRORINDLL when it cannot be loaded or has
// no DllGetClassObject (with the reason in the thread's error object); otherwise what
// DllGetClassObject returns.
HRESULT GetClassObjectFromLibrary(const std::string& path, REFCLSID clsid, REFIID riid, void** ppv);

// Unloads the libraries whose DllCanUnloadNow has said S_OK at every call for at least delay
// (at once for a zero delay), and none while a call into its DllGetClassObject is under way.
void FreeUnusedLibraries(std::chrono::milliseconds delay);

}  // namespace platform
