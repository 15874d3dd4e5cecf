// What the tests of the two real servers share: a registry of their own in which the servers
// are registered by the regsvr tool (another process, as an installer would), a thread
// initialised for the class runtime, and calls by name through IDispatch, as scripts make them.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Runtime.h"
#include "platform/common/DispatchByName.h"
#include "tests/platform/TemporaryRegistry.h"
#include "tests/support/ClassRuntimeCalls.h"

// Runs the regsvr tool on a server library; its exit status.
inline int RunRegsvr(const std::string& arguments) {
    const std::string command = std::string(REGSVR_PATH) + " -s " + arguments;
    return std::system(command.c_str());
}

// A VARIANT that clears itself.
struct Value {
    VARIANT v;
    Value() { VariantInit(&v); }
    explicit Value(const std::u16string& text) {
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    ~Value() { VariantClear(&v); }
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;
};

// The outcome of one Invoke: its HRESULT, the argument it blamed, the exception it raised.
using Call = platform::DispatchCall;

// args in the caller's order.
inline Call Invoke(IDispatch* object, const std::u16string& name, WORD flags,
                   std::vector<VARIANT> args = {}, VARIANT* result = nullptr) {
    return platform::CallByName(object, name.c_str(), flags, std::move(args), result);
}

inline Call Put(IDispatch* object, const std::u16string& name, const std::u16string& text) {
    Value value(text);
    return Invoke(object, name, DISPATCH_PROPERTYPUT, {value.v});
}

class ServerHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RunRegsvr(QUILLON_SERVER_PATH), 0);
        ASSERT_EQ(RunRegsvr(UNICODE_SERVER_PATH), 0);
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        CoUninitialize();
    }

    // Creates a registered class by ProgID, as a page script does.
    static IDispatch* Create(const char16_t* progid) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(progid, &clsid), S_OK);
        return CreateObject<IDispatch>(clsid, IID_IDispatch);
    }

    TemporaryRegistry registry_;
};
