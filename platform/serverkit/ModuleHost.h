// What the server kit asks of the platform a server library runs on: the library's own path,
// its registration scripts' text, and applying a script to HKEY_CLASSES_ROOT. Each platform
// has its own file for these (platform/serverkit/linux/, platform/serverkit/windows/); the rest
// of the kit is the same on both.
#pragma once

#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "platform/common/RegistrarScript.h"

namespace serverkit {

// Where a class's registration script is: its text, built into the library (Linux), or the
// REGISTRY resource of the library that carries it (Windows). The build generates one for each
// script a server lists (quillon_add_inproc_server in platform/serverkit/CMakeLists.txt).
struct RegistrationScript {
    const char* text;         // null when the script is a resource
    unsigned short resource;  // the REGISTRY resource's identifier, when text is null
};

// The full path of the library (or program) this kit is linked into, UTF-8; empty if unknown.
std::string ModulePath();

// The script's text. Fails, with the thread's error object saying why, when the resource is
// missing.
HRESULT LoadRegistrationScript(const RegistrationScript& script, std::string_view* text);

// Registers (or unregisters) what the script describes in HKEY_CLASSES_ROOT, with the meaning
// of its markings that platform/runtime/Registrar.h sets out. A script with an error changes
// nothing; on failure the thread's error object says why.
HRESULT ApplyRegistrationScript(std::string_view script,
                                const platform::RegistrarReplacementMap& replacements,
                                bool do_register);

}  // namespace serverkit
