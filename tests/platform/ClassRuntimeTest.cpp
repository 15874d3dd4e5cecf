#include <dlfcn.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <thread>

#include "platform/runtime/Registrar.h"
#include "tests/platform/TestServerHost.h"

namespace {

std::string FullPath(const char* path) {
    char resolved[PATH_MAX];
    return realpath(path, resolved) != nullptr ? resolved : "";
}

void RegisterInprocServer(REFCLSID clsid, const std::string& path) {
    OLECHAR text[39];
    StringFromGUID2(clsid, text, 39);
    const std::string guid(text, text + 38);
    ASSERT_EQ(RegistrarRegister("HKCR { NoRemove CLSID { ForceRemove " + guid +
                                    " { InprocServer32 = s '%PATH%' } } }",
                                {{"PATH", path}}),
              S_OK);
}

// {0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}: registered by some tests, never by the server.
constexpr CLSID CLSID_Elsewhere = {
    0x0F1E2D3C, 0x4B5A, 0x4978, {0x86, 0x95, 0xA4, 0xB3, 0xC2, 0xD1, 0xE0, 0xF9}};

using ClassRuntime = TestServerHost;

TEST(ClassRuntimeInitialisation, CountsPerThreadAndKeepsItsModel) {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    int dummy = 0;
    EXPECT_EQ(CoInitializeEx(&dummy, COINIT_APARTMENTTHREADED), E_INVALIDARG);

    // Another thread has its own count.
    HRESULT other = E_FAIL;
    std::thread([&] {
        other = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoUninitialize();
    }).join();
    EXPECT_EQ(other, S_OK);

    CoUninitialize();
    IUnknown* object = reinterpret_cast<IUnknown*>(&dummy);
    EXPECT_NE(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CO_E_NOTINITIALIZED);  // still initialised once
    if (object != nullptr) object->Release();
    CoUninitialize();
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    EXPECT_NE(platform::TakeErrorDescription().find("CoInitializeEx"), std::string::npos);
    CoUninitialize();                                                // one too many does no harm
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);  // a fresh start
    CoUninitialize();
}

TEST_F(ClassRuntime, AnUninitialisedThreadCannotCreateObjects) {
    HRESULT get = S_OK;
    HRESULT create = S_OK;
    std::thread([&] {
        IUnknown* object = nullptr;
        get = CoGetClassObject(CLSID_TestWidget, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&object));
        create = CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&object));
    }).join();
    EXPECT_EQ(get, CO_E_NOTINITIALIZED);
    EXPECT_EQ(create, CO_E_NOTINITIALIZED);
    EXPECT_FALSE(IsLoaded(TEST_SERVER_PATH));
}

TEST_F(ClassRuntime, RegistrationRecordsTheLibrarysFullPath) {
    const std::string path = FullPath(TEST_SERVER_PATH);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(GetString(u"CLSID\\{BE0D0261-4B60-4C59-9273-7B82A87240BF}\\InprocServer32", u""),
              std::u16string(path.begin(), path.end()));
}

TEST_F(ClassRuntime, CreatesByProgIdAndByClsid) {
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromProgID(u"QuillonTest.Widget.1", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestWidget);
    ASSERT_EQ(CLSIDFromProgID(u"quillontest.gadget", &clsid), S_OK);  // any letter case
    EXPECT_EQ(clsid, CLSID_TestServerGadget);

    ITestWidget* widget = CreateObject<ITestWidget>(CLSID_TestWidget, IID_ITestWidget);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->SetValue(42), S_OK);
    LONG value = 0;
    EXPECT_EQ(widget->GetValue(&value), S_OK);
    EXPECT_EQ(value, 42);

    ITestWidget* gadget = CreateObject<ITestWidget>(CLSID_TestServerGadget, IID_ITestWidget);
    ASSERT_NE(gadget, nullptr);
    EXPECT_EQ(gadget->GetValue(&value), S_OK);
    EXPECT_EQ(value, 7);
    // Both classes live in one copy of the library.
    LONG live = 0;
    EXPECT_EQ(gadget->GetLiveObjects(&live), S_OK);
    EXPECT_EQ(live, 2);
    gadget->Release();
    widget->Release();

    LPOLESTR prog_id = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_TestWidget, &prog_id), S_OK);
    EXPECT_EQ(std::u16string(prog_id), u"QuillonTest.Widget.1");
    CoTaskMemFree(prog_id);
    EXPECT_EQ(ProgIDFromCLSID(CLSID_Elsewhere, &prog_id), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(prog_id, nullptr);
}

TEST_F(ClassRuntime, FollowsCurVerWhenAProgIdHasNoClsidOfItsOwn) {
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromProgID(u"QuillonTest.Widget", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestWidget);

    ASSERT_EQ(RegistrarRegister("HKCR { Only.CurVer { CurVer = s 'QuillonTest.Widget.1' } "
                                "Own.Clsid { CLSID = s '{E1E96D8D-C1D6-4A12-9B91-C1328E703C40}'"
                                "            CurVer = s 'QuillonTest.Widget.1' } }",
                                {}),
              S_OK);
    ASSERT_EQ(CLSIDFromProgID(u"Only.CurVer", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestWidget);
    // A CLSID of its own wins over CurVer.
    ASSERT_EQ(CLSIDFromProgID(u"Own.Clsid", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestServerGadget);
}

struct ProgIdErrorCase {
    const char* what;
    const char16_t* prog_id;
    const char* message;
};

TEST_F(ClassRuntime, UnknownProgIdsAndBadClsidsAreClassStringErrors) {
    ASSERT_EQ(RegistrarRegister("HKCR { Loop.A { CurVer = s 'Loop.B' } "
                                "Loop.B { CurVer = s 'Loop.A' } "
                                "Bad.Clsid { CLSID = s 'not a guid' } }",
                                {}),
              S_OK);
    const ProgIdErrorCase cases[] = {
        {"unknown", u"No.Such.Thing", "No.Such.Thing is not registered"},
        {"CurVer loop", u"Loop.A", "Loop.A is not registered"},
        {"malformed CLSID", u"Bad.Clsid", "malformed CLSID \"not a guid\""},
        {"not a key name", u"Back\\slash", "is not registered"},
        {"empty", u"", "is not registered"},
    };
    for (const auto& c : cases) {
        CLSID clsid = CLSID_TestWidget;
        EXPECT_EQ(CLSIDFromProgID(c.prog_id, &clsid), CO_E_CLASSSTRING) << c.what;
        EXPECT_NE(platform::TakeErrorDescription().find(c.message), std::string::npos) << c.what;
    }
}

TEST_F(ClassRuntime, AClassThatIsNotRegisteredIsReported) {
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Elsewhere, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    const std::string message = platform::TakeErrorDescription();
    EXPECT_NE(message.find("CLSID\\{0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}\\InprocServer32"),
              std::string::npos)
        << message;
    EXPECT_NE(message.find(registry_.file()), std::string::npos) << message;

    // A class key without a library path is no better.
    ASSERT_EQ(RegistrarRegister("HKCR { NoRemove CLSID { "
                                "{0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9} = s 'x' { "
                                "InprocServer32 { val ThreadingModel = s 'Apartment' } } } }",
                                {}),
              S_OK);
    EXPECT_EQ(CoGetClassObject(CLSID_Elsewhere, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_NE(platform::TakeErrorDescription().find("names no library"), std::string::npos);

    // Only in-process servers exist.
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(IsLoaded(TEST_SERVER_PATH));
}

struct LibraryErrorCase {
    const char* what;
    std::string path;
    HRESULT expected;
    std::string message;
};

TEST_F(ClassRuntime, LibrariesThatCannotServeAreReported) {
    const std::string not_a_library = registry_.directory() + "/text.so";
    std::ofstream(not_a_library) << "not an ELF file\n";
    const std::string missing = registry_.directory() + "/missing.so";
    const LibraryErrorCase cases[] = {
        {"missing file", missing, CO_E_DLLNOTFOUND, missing + " does not exist"},
        {"not on the search path", "libquillon-no-such-server.so", CO_E_DLLNOTFOUND,
         "libquillon-no-such-server.so"},
        {"not a library", not_a_library, CO_E_ERRORINDLL, "cannot load the server library"},
        {"no DllGetClassObject", NO_ENTRY_POINT_PATH, CO_E_ERRORINDLL,
         "has no entry point DllGetClassObject"},
    };
    for (const auto& c : cases) {
        RegisterInprocServer(CLSID_Elsewhere, c.path);
        IClassFactory* factory = reinterpret_cast<IClassFactory*>(&factory);
        EXPECT_EQ(CoGetClassObject(CLSID_Elsewhere, CLSCTX_INPROC_SERVER, nullptr,
                                   IID_IClassFactory, reinterpret_cast<void**>(&factory)),
                  c.expected)
            << c.what;
        EXPECT_EQ(factory, nullptr) << c.what;
        const std::string message = platform::TakeErrorDescription();
        EXPECT_NE(message.find(c.message), std::string::npos) << c.what << ": " << message;
    }
    // The loader's own words come through for a file it refuses.
    RegisterInprocServer(CLSID_Elsewhere, not_a_library);
    IUnknown* object = nullptr;
    CoCreateInstance(CLSID_Elsewhere, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                     reinterpret_cast<void**>(&object));
    EXPECT_NE(platform::TakeErrorDescription().find("text.so: "), std::string::npos);
    // A refused library is not kept loaded.
    EXPECT_FALSE(IsLoaded(NO_ENTRY_POINT_PATH));
}

TEST_F(ClassRuntime, AServerStaysLoadedWhileAnObjectLives) {
    ITestWidget* widget = CreateObject<ITestWidget>(CLSID_TestWidget, IID_ITestWidget);
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(IsLoaded(TEST_SERVER_PATH));
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLoaded(TEST_SERVER_PATH));
    LONG value = 0;
    EXPECT_EQ(widget->GetValue(&value), S_OK);  // still callable
    widget->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLoaded(TEST_SERVER_PATH));
}

TEST_F(ClassRuntime, AServerStaysLoadedWhileItsClassObjectIsHeldOrLocked) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_TestWidget, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLoaded(TEST_SERVER_PATH));

    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLoaded(TEST_SERVER_PATH));  // the LockServer lock remains

    ASSERT_EQ(CoGetClassObject(CLSID_TestWidget, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLoaded(TEST_SERVER_PATH));
}

TEST_F(ClassRuntime, AnUnloadDelayKeepsAnIdleServerUntilItHasPassed) {
    ITestWidget* widget = CreateObject<ITestWidget>(CLSID_TestWidget, IID_ITestWidget);
    ASSERT_NE(widget, nullptr);
    widget->Release();
    CoFreeUnusedLibrariesEx(0xFFFFFFFF, 0);  // idle from now, for ten minutes
    EXPECT_TRUE(IsLoaded(TEST_SERVER_PATH));
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_FALSE(IsLoaded(TEST_SERVER_PATH));
}

TEST_F(ClassRuntime, ALibraryIsLoadedOnceAndAgainAfterUnloading) {
    ITestWidget* first = CreateObject<ITestWidget>(CLSID_TestWidget, IID_ITestWidget);
    ITestWidget* second = CreateObject<ITestWidget>(CLSID_TestWidget, IID_ITestWidget);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    LONG live = 0;
    EXPECT_EQ(second->GetLiveObjects(&live), S_OK);
    EXPECT_EQ(live, 2);  // one copy of the library's state
    first->Release();
    second->Release();
    CoFreeUnusedLibraries();
    ASSERT_FALSE(IsLoaded(TEST_SERVER_PATH));

    ITestWidget* third = CreateObject<ITestWidget>(CLSID_TestWidget, IID_ITestWidget);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->GetLiveObjects(&live), S_OK);
    EXPECT_EQ(live, 1);
    third->Release();
}

}  // namespace
