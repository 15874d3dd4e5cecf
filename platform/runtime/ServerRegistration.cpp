#include "platform/runtime/ServerRegistration.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>

#include "platform/common/ErrorReporting.h"

namespace platform {
namespace {

// Messages name the library by its full path when it has one.
std::string FullPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

}  // namespace

ServerRegistration RegisterServerLibrary(const std::string& path, bool unregister,
                                         std::string* message) {
    const char* entry_point = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    const std::string shown = FullPath(path);
    *message = std::string(entry_point) + " in " + shown;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        *message = "cannot load " + shown + ": " + (reason != nullptr ? reason : "unknown error");
        return ServerRegistration::kCannotLoad;
    }
    using EntryPoint = HRESULT (*)();
    auto function = reinterpret_cast<EntryPoint>(dlsym(handle, entry_point));
    ServerRegistration result = ServerRegistration::kDone;
    if (function == nullptr) {
        *message =
            shown + " has no entry point " + entry_point + "; it is not a self-registering server";
        result = ServerRegistration::kNoEntryPoint;
    } else if (const HRESULT hr = function(); FAILED(hr)) {
        const std::string reason = TakeErrorDescription();
        *message += " failed with " + Hex(hr) + (reason.empty() ? "" : ": " + reason);
        result = ServerRegistration::kEntryPointFailed;
    }
    dlclose(handle);
    return result;
}

}  // namespace platform
