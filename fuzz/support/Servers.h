// The two servers of the build, for the targets that call them as a host does: registered in a
// registry private to the fuzzing process (no file is read or written), created by ProgID.
#pragma once

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Runtime.h"
#include "platform/runtime/ServerRegistration.h"

namespace fuzz {

// Once per process, on the calling thread, which stays initialised for the class runtime. The
// libraries stay loaded for good: the fuzzer keeps reading the coverage counters of every
// library it has seen, and an unloaded one's would be gone.
inline void UseServers() {
    PlatformUsePrivateRegistry(TRUE);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (const char* library : {QUILLON_SERVER_PATH, UNICODE_SERVER_PATH}) {
        dlopen(library, RTLD_NOW | RTLD_NODELETE);
        std::string message;
        if (platform::RegisterServerLibrary(library, false, &message) !=
            platform::ServerRegistration::kDone) {
            std::fprintf(stderr, "%s\n", message.c_str());
            std::abort();
        }
    }
}

// A new object of the class progid, asked for interface iid; aborts when it cannot be had.
template <class Interface>
Interface* Create(const char16_t* progid, REFIID iid) {
    CLSID clsid{};
    void* object = nullptr;
    if (FAILED(CLSIDFromProgID(progid, &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, &object))) {
        std::fprintf(stderr, "cannot create the object\n");
        std::abort();
    }
    return static_cast<Interface*>(object);
}

}  // namespace fuzz
