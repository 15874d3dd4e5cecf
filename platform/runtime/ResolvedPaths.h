// Paths with every symbolic link resolved: of a file, and of the library that holds an address.
#pragma once

#include <string>

#include "platform/winapi/WinTypes.h"

namespace platform {

// What realpath gives for path, or the empty string when it does not exist.
PLATFORM_CPP_API std::string ResolvedPath(const std::string& path);

// The resolved path of the loaded library that holds address; empty when none does (or for the
// main program, which the loader does not name).
PLATFORM_CPP_API std::string LoadedLibraryPath(const void* address);

}  // namespace platform
