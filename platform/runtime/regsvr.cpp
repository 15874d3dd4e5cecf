// regsvr [-u] [-s] LIBRARY.so: registers an in-process server library (its
// DllRegisterServer) or unregisters it (-u, DllUnregisterServer) in the registry that
// QUILLON_REGISTRY or the default location names. The exit status is regsvr32's: 0 done
// (unregistering a server that is not registered too), 1 usage, 2 the runtime cannot be
// initialised, 3 the library cannot be loaded (or is refused as others could have changed it),
// 4 it lacks the entry point, 5 the entry point failed.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "platform/runtime/ClassRuntime.h"
#include "platform/runtime/Registry.h"
#include "platform/runtime/ServerRegistration.h"

namespace {

constexpr int kUsage = 1;
constexpr int kCannotInitialize = 2;
constexpr int kCannotLoad = 3;
constexpr int kNoEntryPoint = 4;
constexpr int kEntryPointFailed = 5;

int Usage(const char* problem) {
    if (problem != nullptr) std::fprintf(stderr, "regsvr: %s\n", problem);
    std::fprintf(stderr,
                 "usage: regsvr [-u] [-s] LIBRARY.so\n"
                 "  -u  unregister (DllUnregisterServer) instead of registering\n"
                 "  -s  silent: print nothing when it succeeds\n"
                 "The registry is $QUILLON_REGISTRY, else the default store.\n");
    return kUsage;
}

// As regsvr32 finds a bare file name in the current directory, so does this tool.
std::string LoadablePath(const std::string& argument) {
    struct stat info {};
    if (argument.find('/') == std::string::npos && stat(argument.c_str(), &info) == 0) {
        return "./" + argument;
    }
    return argument;
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    bool silent = false;
    const char* library = nullptr;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!options_done && argument == "--") {
            options_done = true;
        } else if (!options_done && (argument == "-h" || argument == "--help")) {
            Usage(nullptr);
            return 0;
        } else if (!options_done && argument.size() > 1 && argument[0] == '-') {
            for (size_t k = 1; k < argument.size(); ++k) {
                if (argument[k] == 'u') {
                    unregister = true;
                } else if (argument[k] == 's') {
                    silent = true;
                } else {
                    return Usage(("unknown option -" + std::string(1, argument[k])).c_str());
                }
            }
        } else if (library == nullptr) {
            library = argv[i];
        } else {
            return Usage("one library at a time");
        }
    }
    if (library == nullptr) return Usage("no library given");

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "regsvr: cannot initialise the class runtime\n");
        return kCannotInitialize;
    }
    std::string message;
    const platform::ServerRegistration result =
        platform::RegisterServerLibrary(LoadablePath(library), unregister, &message);
    CoUninitialize();
    if (result == platform::ServerRegistration::kDone) {
        if (!silent) {
            std::printf("%s succeeded (registry %s).\n", message.c_str(), PlatformRegistryPath());
        }
        return 0;
    }
    // Unregistering is making sure the server is not registered, as regsvr32 users expect.
    if (result == platform::ServerRegistration::kWasNotRegistered) {
        if (!silent) {
            std::printf("%s (registry %s); nothing to unregister.\n", message.c_str(),
                        PlatformRegistryPath());
        }
        return 0;
    }
    std::fprintf(stderr, "regsvr: %s\n", message.c_str());
    switch (result) {
        case platform::ServerRegistration::kCannotLoad:
            return kCannotLoad;
        case platform::ServerRegistration::kNoEntryPoint:
            return kNoEntryPoint;
        default:
            return kEntryPointFailed;
    }
}
