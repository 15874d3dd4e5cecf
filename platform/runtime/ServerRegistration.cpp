#include "platform/runtime/ServerRegistration.h"

#include <dlfcn.h>

#include <cstdio>

#include "platform/common/ErrorReporting.h"
#include "platform/runtime/BuiltInServers.h"
#include "platform/runtime/RegistryStore.h"
#include "platform/runtime/ResolvedPaths.h"
#include "platform/runtime/TrustedFiles.h"
#include "platform/winapi/WinError.h"

namespace platform {
namespace {

using EntryPoint = HRESULT (*)();

// Messages name the library by its full path when it has one.
std::string FullPath(const std::string& path) {
    std::string resolved = ResolvedPath(path);
    return resolved.empty() ? path : resolved;
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// Runs the server's entry point. Everything it writes (its classes, its type library) reaches
// the store as one change, or not at all when it fails: no reader ever finds the class without
// its type library. *message already says what runs; a failure or a server found not
// registered (shown names it) replaces it.
ServerRegistration RunEntryPoint(EntryPoint function, bool unregister, const std::string& shown,
                                 std::string* message) {
    RegistryTransaction transaction;
    std::string reason;
    long status = transaction.Begin(&reason);
    HRESULT hr = HRESULT_FROM_WIN32(status);
    if (status == ERROR_SUCCESS) {
        hr = function();
        if (FAILED(hr)) reason = TakeErrorDescription();
        if (unregister && hr == TYPE_E_LIBNOTREGISTERED) hr = S_OK;
    }
    // Whether anything changed matters only to unregistering, and telling costs a pass over
    // the whole registry.
    bool changed = true;
    if (SUCCEEDED(hr) &&
        (status = transaction.Commit(&reason, unregister ? &changed : nullptr)) != ERROR_SUCCESS) {
        hr = HRESULT_FROM_WIN32(status);
    }
    if (FAILED(hr)) {
        *message += " failed with " + Hex(hr) + (reason.empty() ? "" : ": " + reason);
        return ServerRegistration::kEntryPointFailed;
    }
    if (unregister && !changed) {
        *message = shown + " was not registered";
        return ServerRegistration::kWasNotRegistered;
    }
    return ServerRegistration::kDone;
}

}  // namespace

ServerRegistration RegisterServerLibrary(const std::string& path, bool unregister,
                                         std::string* message, AfterRegistration after) {
    const char* entry_point = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    // Built into the program: nothing to judge or load.
    if (const BuiltInServer* server = BuiltInServerFor(path)) {
        const std::string shown = path + " (built into " + ProgramPath() + ")";
        *message = std::string(entry_point) + " of " + shown;
        return RunEntryPoint(unregister ? server->unregister_server : server->register_server,
                             unregister, shown, message);
    }
    const std::string shown = FullPath(path);
    *message = std::string(entry_point) + " in " + shown;
    if (std::string why; !IsTrustedLibrary(path, &why)) {
        *message = "refusing the server library " + path + ": " + why;
        return ServerRegistration::kCannotLoad;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        *message = "cannot load " + shown + ": " + (reason != nullptr ? reason : "unknown error");
        return ServerRegistration::kCannotLoad;
    }
    auto function = reinterpret_cast<EntryPoint>(dlsym(handle, entry_point));
    ServerRegistration result = ServerRegistration::kNoEntryPoint;
    if (function == nullptr) {
        *message =
            shown + " has no entry point " + entry_point + "; it is not a self-registering server";
    } else {
        result = RunEntryPoint(function, unregister, shown, message);
    }
    // Kept: the loader's count stays one above what the class runtime's loading takes and gives
    // back, so the library is never unloaded in this process.
    const bool done =
        result == ServerRegistration::kDone || result == ServerRegistration::kWasNotRegistered;
    if (!done || after == AfterRegistration::kUnload) {
        dlclose(handle);
    }
    return result;
}

std::string RuntimeDirectory() {
    const std::string path = LoadedLibraryPath(reinterpret_cast<const void*>(&RuntimeDirectory));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace platform
