#include "platform/runtime/InprocLibraries.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <chrono>
#include <list>
#include <mutex>
#include <optional>

#include "platform/common/ErrorReporting.h"
#include "platform/runtime/TrustedFiles.h"

namespace platform {
namespace {

using DllGetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowFunction = HRESULT (*)();

struct Library {
    std::string path;
    void* handle = nullptr;
    DllGetClassObjectFunction get_class_object = nullptr;
    DllCanUnloadNowFunction can_unload_now = nullptr;
    // Calls into DllGetClassObject under way. A library is not unloaded while one runs: the
    // class object it hands out only holds the library's lock once it has been returned.
    int callers = 0;
    // Since when DllCanUnloadNow has said S_OK at every look, for unloading with a delay.
    std::optional<std::chrono::steady_clock::time_point> idle_since;
};

// Kept for the life of the process and never torn down: libraries stay loaded at exit, as
// objects in them may still be referenced by other static objects.
struct LoadedLibraries {
    std::mutex mutex;
    std::list<Library> libraries;
};

LoadedLibraries& Loaded() {
    static auto* loaded = new LoadedLibraries;
    return *loaded;
}

std::string LoaderMessage() {
    const char* text = dlerror();
    return text == nullptr ? "unknown error" : text;
}

Library* FindLoaded(const std::string& path, void* handle) {
    for (Library& library : Loaded().libraries) {
        if ((handle == nullptr && library.path == path) ||
            (handle != nullptr && library.handle == handle)) {
            return &library;
        }
    }
    return nullptr;
}

HRESULT Acquire(const std::string& path, Library** result) {
    {
        std::lock_guard lock(Loaded().mutex);
        if (Library* library = FindLoaded(path, nullptr)) {
            ++library->callers;
            *result = library;
            return S_OK;
        }
    }
    // Loading runs the library's constructors, which may use the runtime: not under the lock.
    struct stat info {};
    if (path.find('/') != std::string::npos && stat(path.c_str(), &info) != 0) {
        return ReportFailure(CO_E_DLLNOTFOUND, "the server library " + path + " does not exist");
    }
    // A library the process has loaded already (a host registers its server a moment before
    // it creates the class) runs nothing when it is opened again: judging it, a system call for
    // every folder on its path, is for a library about to be loaded.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (handle == nullptr) {
        if (std::string why; !IsTrustedLibrary(path, &why)) {
            return ReportFailure(E_ACCESSDENIED,
                                 "refusing the server library " + path + ": " + why);
        }
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (handle == nullptr) {
        const bool searched = path.find('/') == std::string::npos;
        return ReportFailure(searched ? CO_E_DLLNOTFOUND : CO_E_ERRORINDLL,
                             "cannot load the server library " + path + ": " + LoaderMessage());
    }
    auto get_class_object =
        reinterpret_cast<DllGetClassObjectFunction>(dlsym(handle, "DllGetClassObject"));
    if (get_class_object == nullptr) {
        dlclose(handle);
        return ReportFailure(CO_E_ERRORINDLL, "the server library " + path +
                                                  " has no entry point DllGetClassObject");
    }
    auto can_unload_now =
        reinterpret_cast<DllCanUnloadNowFunction>(dlsym(handle, "DllCanUnloadNow"));

    std::lock_guard lock(Loaded().mutex);
    // Another thread may have loaded it meanwhile, or under another name of the same file.
    Library* library = FindLoaded(path, handle);
    if (library != nullptr) {
        dlclose(handle);  // the loader counts references; the list keeps one
    } else {
        Loaded().libraries.push_back({path, handle, get_class_object, can_unload_now, 0, {}});
        library = &Loaded().libraries.back();
    }
    ++library->callers;
    *result = library;
    return S_OK;
}

void ReleaseCaller(Library* library) {
    std::lock_guard lock(Loaded().mutex);
    --library->callers;
}

}  // namespace

HRESULT GetClassObjectFromLibrary(const std::string& path, REFCLSID clsid, REFIID riid,
                                  void** ppv) {
    Library* library = nullptr;
    const HRESULT hr = Acquire(path, &library);
    if (FAILED(hr)) return hr;
    const HRESULT result = library->get_class_object(clsid, riid, ppv);
    ReleaseCaller(library);
    return result;
}

void FreeUnusedLibraries(std::chrono::milliseconds delay) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(Loaded().mutex);
    auto& libraries = Loaded().libraries;
    for (auto it = libraries.begin(); it != libraries.end();) {
        const bool idle =
            it->callers == 0 && it->can_unload_now != nullptr && it->can_unload_now() == S_OK;
        if (!idle) {
            it->idle_since.reset();
            ++it;
            continue;
        }
        if (!it->idle_since) it->idle_since = now;
        if (now - *it->idle_since < delay) {
            ++it;
            continue;
        }
        dlclose(it->handle);
        it = libraries.erase(it);
    }
}

}  // namespace platform
