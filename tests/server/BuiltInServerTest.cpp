// The component's server built into a program (as the command line builds it in): registering
// the library it stands for writes what the library itself writes, naming the program as the
// module, and creating the class by ProgID enters the program, loading no file.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "TarvexQuillonBuiltIn.h"
#include "component/contract/IQuillon.h"
#include "platform/runtime/Registrar.h"
#include "platform/runtime/ResolvedPaths.h"
#include "tests/server/ServerHost.h"

namespace {

// Where the session registers the component from: beside the runtime.
std::string LibraryBesideTheRuntime() {
    return platform::RuntimeDirectory() + "/libTarvexQuillon.so";
}

bool IsLoaded(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

class BuiltInServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        platform::AddBuiltInServer(&kTarvexQuillonBuiltIn);
    }
    void TearDown() override { CoUninitialize(); }

    static void Register() {
        std::string message;
        ASSERT_EQ(platform::RegisterServerLibrary(LibraryBesideTheRuntime(), false, &message),
                  platform::ServerRegistration::kDone)
            << message;
    }

    TemporaryRegistry registry_;
};

TEST_F(BuiltInServer, RegistersWhatItsLibraryRegistersNamingTheProgram) {
    // The library, registered by regsvr in a process of its own.
    ASSERT_EQ(RunRegsvr(QUILLON_SERVER_PATH), 0);
    const std::string by_library = registry_.ReadFile();
    ASSERT_EQ(RunRegsvr(std::string("-u ") + QUILLON_SERVER_PATH), 0);
    ASSERT_EQ(registry_.ReadFile().find("TarvexQuillon"), std::string::npos);

    Register();
    const std::string by_program = registry_.ReadFile();
    const std::string library = platform::ResolvedPath(QUILLON_SERVER_PATH);
    EXPECT_NE(by_program.find(platform::ProgramPath()), std::string::npos) << by_program;
    EXPECT_EQ(by_program, Replaced(by_library, library, platform::ProgramPath()));
    EXPECT_FALSE(IsLoaded(QUILLON_SERVER_PATH));
}

TEST_F(BuiltInServer, CreatingTheClassByProgIdEntersTheProgram) {
    Register();
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"TarvexQuillon.Quillon", &clsid), S_OK);
    IDispatch* object = CreateObject<IDispatch>(clsid, IID_IDispatch);
    ASSERT_NE(object, nullptr);
    // Its code (the first entry of its table of functions) lies in this program.
    const void* code = **reinterpret_cast<void***>(object);
    EXPECT_EQ(platform::LoadedLibraryPath(code), platform::ProgramPath());
    EXPECT_FALSE(IsLoaded(QUILLON_SERVER_PATH));
    // Called by name through the type library it registered.
    EXPECT_EQ(Put(object, u"Mode", u"1").hr, S_OK);
    Value mode;
    ASSERT_EQ(Invoke(object, u"Mode", DISPATCH_PROPERTYGET, {}, &mode.v).hr, S_OK);
    EXPECT_EQ(mode.v.vt, VT_I2);
    EXPECT_EQ(mode.v.iVal, 1);
    object->Release();
}

// A class registered in the program that none of its servers has.
TEST_F(BuiltInServer, AClassNoneOfTheProgramsServersHasIsNotAvailable) {
    ASSERT_EQ(RegistrarRegister("HKCR { NoRemove CLSID { ForceRemove "
                                "{0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9} { InprocServer32 = s "
                                "'%PATH%' } } }",
                                {{"PATH", platform::ProgramPath()}}),
              S_OK);
    constexpr CLSID kElsewhere = {
        0x0F1E2D3C, 0x4B5A, 0x4978, {0x86, 0x95, 0xA4, 0xB3, 0xC2, 0xD1, 0xE0, 0xF9}};
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(kElsewhere, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_NE(platform::TakeErrorDescription().find("none of the servers built into it"),
              std::string::npos);
}

}  // namespace
