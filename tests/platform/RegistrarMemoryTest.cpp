// A script that runs out of memory half-way changes nothing: the registrar changes the store
// where it lies and undoes what it did. Every allocation of a run is made to fail in turn,
// through this binary's own operator new, which fails nothing until a test asks. It replaces
// the runtime's only where the runtime uses the shared C++ library (the sanitizer build);
// elsewhere each library carries its own, and the test says it is skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "platform/Runtime.h"
#include "platform/common/ErrorReporting.h"
#include "platform/runtime/Registrar.h"
#include "tests/platform/TemporaryRegistry.h"

namespace {
thread_local int allocations_until_failure = 0;
}  // namespace

// Every form without an alignment, so that no block passes between these and another
// allocator's (the sanitizer's).
void* operator new(std::size_t size) {
    if (allocations_until_failure > 0 && --allocations_until_failure == 0) throw std::bad_alloc();
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept {
    return operator new(size, nothrow);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}

namespace {

// Keys the script replaces (ForceRemove), adds to (a value set over another) and adds.
const std::string kBefore =
    "HKCR { Kept = s 'old' { val Name = s 'old' Below { Deeper = s 'd' } } "
    "NoRemove CLSID { {11111111-2222-3333-4444-555555555555} = s 'Old' { Old = s 'o' } } }";
const std::string kScript =
    "HKCR { Kept = s 'new' { val Name = s 'new' val Other = s 'x' Added = s 'a' } "
    "New { Sub = s 's' { val V = s 'v' } } Delete Gone "
    "NoRemove CLSID { ForceRemove {11111111-2222-3333-4444-555555555555} = s 'New' "
    "{ InprocServer32 = s '/opt/x.so' } } }";

struct Step {
    const char* what;
    HRESULT (*run)(std::string_view, const RegistrarReplacements&, std::string*);
};

TEST(RegistrarMemory, AScriptThatRunsOutOfMemoryChangesNothing) {
    TemporaryRegistry registry;
    PlatformUsePrivateRegistry(TRUE);  // changed in place: no file to fall back on
    allocations_until_failure = 1;
    const HRESULT probe = RegistrarRegister("HKCR { Probe = s 'p' }", {});
    allocations_until_failure = 0;
    platform::TakeErrorDescription();
    if (probe == S_OK) {
        PlatformUsePrivateRegistry(FALSE);
        GTEST_SKIP() << "the runtime allocates with its own operator new (a static C++ library)";
    }
    ASSERT_EQ(RegistrarRegister(kBefore + " HKCR { Gone = s 'g' }", {}), S_OK);
    const Step steps[] = {{"register", &RegistrarRegister}, {"unregister", &RegistrarUnregister}};
    for (const Step& step : steps) {
        const std::string before = DumpRegistry();
        int failures = 0;
        for (int n = 1;; ++n) {
            allocations_until_failure = n;
            const HRESULT hr = step.run(kScript, {}, nullptr);
            allocations_until_failure = 0;
            if (hr == S_OK) break;
            ++failures;
            ASSERT_EQ(hr, E_OUTOFMEMORY) << step.what << ", allocation " << n;
            EXPECT_EQ(DumpRegistry(), before) << step.what << ", allocation " << n;
            platform::TakeErrorDescription();
        }
        EXPECT_GT(failures, 10) << step.what;
        EXPECT_NE(DumpRegistry(), before) << step.what;
    }
    EXPECT_EQ(DumpRegistry().find("New"), std::string::npos);
    PlatformUsePrivateRegistry(FALSE);
}

}  // namespace
