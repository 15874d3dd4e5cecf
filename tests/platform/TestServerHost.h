// What the class runtime's and the kit's tests share: a temporary registry with the test
// server registered (through its own DllRegisterServer), a thread initialised for the class
// runtime, and looks at whether the test server is loaded and how many locks it holds.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/Runtime.h"
#include "tests/platform/TemporaryRegistry.h"
#include "tests/platform/testserver/TestWidget.h"
#include "tests/support/ClassRuntimeCalls.h"

// Whether the library is mapped into this process now.
inline bool IsLoaded(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

// The test server's module lock count, or -1 when it is not loaded.
inline LONG TestServerLocks() {
    void* handle = dlopen(TEST_SERVER_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return -1;
    auto locks =
        reinterpret_cast<TestServerModuleLocksFunction>(dlsym(handle, "TestServerModuleLocks"));
    const LONG count = locks == nullptr ? -2 : locks();
    dlclose(handle);
    return count;
}

class TestServerHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        ASSERT_EQ(CallEntryPoint(TEST_SERVER_PATH, "DllRegisterServer"), S_OK)
            << platform::TakeErrorDescription();
        // Whatever an earlier test in this process left loaded goes now.
        CoFreeUnusedLibraries();
        ASSERT_FALSE(IsLoaded(TEST_SERVER_PATH));
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        CoUninitialize();
    }

    TemporaryRegistry registry_;
};
