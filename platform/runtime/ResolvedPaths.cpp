#include "platform/runtime/ResolvedPaths.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>

namespace platform {

std::string ResolvedPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

std::string LoadedLibraryPath(const void* address) {
    // _dl_find_object finds the library without dladdr's search through its exported symbols
    // for the one nearest the address, which a host paid for its runtime and its server at
    // every start.
    dl_find_object found{};
    if (_dl_find_object(const_cast<void*>(address), &found) != 0 ||
        found.dlfo_link_map == nullptr || found.dlfo_link_map->l_name == nullptr ||
        found.dlfo_link_map->l_name[0] == '\0') {
        return {};
    }
    return ResolvedPath(found.dlfo_link_map->l_name);
}

}  // namespace platform
