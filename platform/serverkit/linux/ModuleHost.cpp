// The server kit on Linux: the library found by an address inside it, scripts built in as
// text, and our registry's registrar.
#include "platform/serverkit/ModuleHost.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include "platform/runtime/Registrar.h"

namespace serverkit {

std::string ModulePath() {
    // Worked out once: the library cannot move while it is loaded, and resolving the path
    // takes a system call for every directory in it. Any address inside this library names
    // it; this function's own will do.
    static const std::string path = [] {
        Dl_info info{};
        char resolved[PATH_MAX];
        if (dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 || info.dli_fname == nullptr ||
            realpath(info.dli_fname, resolved) == nullptr) {
            return std::string();
        }
        return std::string(resolved);
    }();
    return path;
}

HRESULT LoadRegistrationScript(const RegistrationScript& script, std::string_view* text) {
    *text = script.text;
    return S_OK;
}

HRESULT ApplyRegistrationScript(std::string_view script,
                                const platform::RegistrarReplacementMap& replacements,
                                bool do_register) {
    return do_register ? RegistrarRegister(script, replacements)
                       : RegistrarUnregister(script, replacements);
}

}  // namespace serverkit
