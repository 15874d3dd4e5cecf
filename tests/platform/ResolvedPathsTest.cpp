// The path of a loaded library is the file the loader mapped, as dladdr and realpath(3) name it;
// the program's, the file it was started from.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/auxv.h>

#include <string>

#include "platform/runtime/ResolvedPaths.h"

namespace {

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : "";
}

TEST(LoadedLibraryPath, IsTheFileTheLoaderMapped) {
    const void* inside_runtime = reinterpret_cast<const void*>(&platform::ResolvedPath);
    Dl_info info{};
    ASSERT_NE(dladdr(inside_runtime, &info), 0);
    EXPECT_EQ(platform::LoadedLibraryPath(inside_runtime), RealPath(info.dli_fname));
    // The program, which the loader does not name, by the name it was started by.
    const std::string program = RealPath(reinterpret_cast<const char*>(getauxval(AT_EXECFN)));
    EXPECT_EQ(platform::LoadedLibraryPath(reinterpret_cast<const void*>(&RealPath)), program);
    EXPECT_EQ(platform::ProgramPath(), program);
}

}  // namespace
