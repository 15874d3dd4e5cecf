// Registering an in-process server library the way regsvr32 does: load it and call its
// DllRegisterServer (or DllUnregisterServer), which writes (or removes) its own registry
// entries. regsvr and the hosts, which register the servers beside them on first use, share it.
// A server built into the program (BuiltInServers.h) stands for its library: its entry point
// runs alike, and no file is judged or loaded.
#pragma once

#include <string>

#include "platform/winapi/WinTypes.h"

namespace platform {

enum class ServerRegistration {
    kDone,
    kWasNotRegistered,  // unregistering found nothing of the server's to remove: not an error
    kCannotLoad,        // the library does not exist, is not trusted, or the loader refuses it
    kNoEntryPoint,      // it is not a self-registering server
    kEntryPointFailed,  // the entry point returned an error
};

// What becomes of the library once its entry point has run: unloaded, as regsvr32 does, or
// kept loaded for the rest of the process, for a host that creates its classes next and would
// otherwise map, relocate and initialise it a second time. A failed one is always unloaded.
enum class AfterRegistration { kUnload, kKeepLoaded };

// The current thread must be initialised for the class runtime. The library is judged as
// TrustedFiles.h says before it is loaded, since loading it runs its code. Whatever the entry
// point writes reaches the registry as one change, and nothing does when it fails. Unregistering
// makes sure the server is not registered: a type library that is not is no failure. *message
// says what ran ("DllRegisterServer in /full/path.so"), or that the server was not registered
// ("/full/path.so was not registered"), or what failed and why: the refusal, the loader's
// reason, or the HRESULT and the description the entry point left.
PLATFORM_CPP_API ServerRegistration
RegisterServerLibrary(const std::string& path, bool unregister, std::string* message,
                      AfterRegistration after = AfterRegistration::kUnload);

// The directory of the runtime library itself, where the servers built or installed with it
// lie: they load the runtime from beside themselves ($ORIGIN), so wherever the runtime a host
// runs with lies, the servers that go with it lie too.
PLATFORM_CPP_API std::string RuntimeDirectory();

}  // namespace platform
