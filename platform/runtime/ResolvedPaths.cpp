#include "platform/runtime/ResolvedPaths.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <sys/auxv.h>
#include <unistd.h>

namespace platform {
namespace {

std::string FindProgramPath() {
    // The kernel's name for the program file has every link resolved: one system call, where
    // realpath(3) takes one a folder. Without /proc, the name the program was started by.
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length > 0 && static_cast<size_t>(length) < sizeof path) {
        return std::string(path, static_cast<size_t>(length));
    }
    const auto started_as = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
    return started_as != nullptr ? ResolvedPath(started_as) : std::string();
}

}  // namespace

std::string ProgramPath() {
    // Worked out once: the program cannot move while it runs.
    static const std::string path = FindProgramPath();
    return path;
}

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
        found.dlfo_link_map == nullptr || found.dlfo_link_map->l_name == nullptr) {
        return {};
    }
    // The loader names every object it mapped but the program itself, which the kernel did.
    if (found.dlfo_link_map->l_name[0] == '\0') return ProgramPath();
    return ResolvedPath(found.dlfo_link_map->l_name);
}

}  // namespace platform
