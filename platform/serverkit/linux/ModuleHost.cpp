// The server kit on Linux: the library (or program) found by an address inside it, scripts
// built in as text, and our registry's registrar.
#include "platform/serverkit/ModuleHost.h"

#include "platform/runtime/Registrar.h"
#include "platform/runtime/ResolvedPaths.h"

namespace serverkit {

std::string ModulePath() {
    // Worked out once: the library cannot move while it is loaded. Any address inside this
    // library (or the program, for a server built into it) names it; this function's will do.
    static const std::string path =
        platform::LoadedLibraryPath(reinterpret_cast<const void*>(&ModulePath));
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
