// Libraries the registry names are loaded only when no one but their owner and root could have
// changed them: otherwise whoever could write the file would run code in every host that loads
// it, root's included.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/runtime/Registrar.h"
#include "platform/runtime/ServerRegistration.h"
#include "tests/platform/TestServerHost.h"

namespace {

class TrustedLibraries : public TestServerHost {
protected:
    // A copy of the test server in the registry's directory, with the given mode.
    std::string Copy(const char* name, mode_t mode) {
        const std::string path = registry_.directory() + "/" + name;
        std::filesystem::copy_file(TEST_SERVER_PATH, path);
        chmod(path.c_str(), mode);
        return path;
    }
};

constexpr char kWidgetServer[] =
    "HKCR { NoRemove CLSID { ForceRemove {BE0D0261-4B60-4C59-9273-7B82A87240BF} "
    "{ InprocServer32 = s '%PATH%' } } }";

TEST_F(TrustedLibraries, AServerLibraryOthersCouldChangeIsNotLoaded) {
    const std::string library = Copy("libshared.so", 0664);
    ASSERT_EQ(RegistrarRegister(kWidgetServer, {{"PATH", library}}), S_OK);
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              E_ACCESSDENIED);
    EXPECT_EQ(platform::TakeErrorDescription(), "refusing the server library " + library + ": " +
                                                    library +
                                                    " is writable by its group (mode 0664)");
    EXPECT_FALSE(IsLoaded(library.c_str()));

    chmod(library.c_str(), 0644);
    object = CreateObject<IUnknown>(CLSID_TestWidget, IID_IUnknown);
    ASSERT_NE(object, nullptr);
    object->Release();
}

TEST_F(TrustedLibraries, ATypeLibraryModuleOthersCouldChangeIsNotLoaded) {
    const std::string module = Copy("libtypes.so", 0646);
    ASSERT_EQ(RegistrarRegister("HKCR { TypeLib { {0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9} "
                                "{ 1.0 { 0 { win32 = s '%PATH%' } } } } }",
                                {{"PATH", module}}),
              S_OK);
    constexpr GUID kLibrary = {
        0x0F1E2D3C, 0x4B5A, 0x4978, {0x86, 0x95, 0xA4, 0xB3, 0xC2, 0xD1, 0xE0, 0xF9}};
    ITypeLib* library = nullptr;
    EXPECT_EQ(LoadRegTypeLib(kLibrary, 1, 0, 0, &library), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(platform::TakeErrorDescription(), "refusing the type library's module: " + module +
                                                    " is writable by others (mode 0646)");
    EXPECT_FALSE(IsLoaded(module.c_str()));
}

TEST_F(TrustedLibraries, AServerLibraryReachedThroughALinkOthersCouldChangeIsNotLoaded) {
    const std::string library = Copy("libshared.so", 0644);
    const std::string open = registry_.directory() + "/open";
    ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
    chmod(open.c_str(), 0777);
    ASSERT_EQ(symlink(library.c_str(), (open + "/libshared.so").c_str()), 0);
    ASSERT_EQ(RegistrarRegister(kWidgetServer, {{"PATH", open + "/libshared.so"}}), S_OK);
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              E_ACCESSDENIED);
    EXPECT_EQ(platform::TakeErrorDescription(), "refusing the server library " + open +
                                                    "/libshared.so: " + open +
                                                    " is writable by others (mode 0777)");
    EXPECT_FALSE(IsLoaded(library.c_str()));
}

// Registering runs the library's code as loading it for a class does: neither its
// DllRegisterServer nor its DllUnregisterServer, nor even its constructors, run untrusted.
TEST_F(TrustedLibraries, AServerLibraryOthersCouldChangeIsNeitherRegisteredNorUnregistered) {
    const std::string library = Copy("libshared.so", 0666);
    const std::string before = registry_.ReadFile();
    for (const bool unregister : {false, true}) {
        std::string message;
        EXPECT_EQ(platform::RegisterServerLibrary(library, unregister, &message,
                                                  platform::AfterRegistration::kKeepLoaded),
                  platform::ServerRegistration::kCannotLoad);
        EXPECT_EQ(message, "refusing the server library " + library + ": " + library +
                               " is writable by others (mode 0666)");
        EXPECT_FALSE(IsLoaded(library.c_str()));
    }
    EXPECT_EQ(registry_.ReadFile(), before);
}

}  // namespace
