// Paths with every symbolic link resolved: of a file, and of the library (or program) that holds
// an address.
#pragma once

#include <string>

#include "platform/winapi/WinTypes.h"

namespace platform {

// What realpath gives for path, or the empty string when it does not exist.
PLATFORM_CPP_API std::string ResolvedPath(const std::string& path);

// The resolved path of the program this process runs.
PLATFORM_CPP_API std::string ProgramPath();

// The resolved path of the loaded library, or of the program, that holds address; empty when
// none does.
PLATFORM_CPP_API std::string LoadedLibraryPath(const void* address);

}  // namespace platform
