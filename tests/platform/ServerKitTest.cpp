#include <dlfcn.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/TestServerHost.h"

namespace {

using ServerKit = TestServerHost;

// An outer object that aggregates a widget and passes ITestWidget on to it. It lives on the
// stack and only counts its references, so that the tests can watch the count.
class Outer final : public IUnknown {
public:
    ~Outer() {
        if (inner_ != nullptr) inner_->Release();
    }
    HRESULT Aggregate(REFIID riid) {
        return CoCreateInstance(CLSID_TestWidget, this, CLSCTX_INPROC_SERVER, riid,
                                reinterpret_cast<void**>(&inner_));
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (riid == IID_ITestWidget) return inner_->QueryInterface(riid, ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }

    IUnknown* inner() const { return inner_; }
    ULONG references = 1;

private:
    IUnknown* inner_ = nullptr;
};

LONG LiveObjects(ITestWidget* any) {
    LONG live = -1;
    any->GetLiveObjects(&live);
    return live;
}

TEST_F(ServerKit, TheClassObjectAnswersForItsOwnClassesOnly) {
    void* library = dlopen(TEST_SERVER_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr);
    auto get = reinterpret_cast<HRESULT (*)(REFCLSID, REFIID, void**)>(
        dlsym(library, "DllGetClassObject"));
    ASSERT_NE(get, nullptr);

    void* object = &object;
    EXPECT_EQ(get(IID_ITestWidget, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(get(CLSID_TestWidget, IID_IClassFactory, nullptr), E_POINTER);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(get(CLSID_TestWidget, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(get(CLSID_TestWidget, IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(factory), unknown);  // made once, handed out again
    object = &object;
    EXPECT_EQ(factory->QueryInterface(IID_ITestWidget, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    IClassFactory* gadget_factory = nullptr;
    ASSERT_EQ(
        get(CLSID_TestServerGadget, IID_IClassFactory, reinterpret_cast<void**>(&gadget_factory)),
        S_OK);
    EXPECT_NE(gadget_factory, factory);
    gadget_factory->Release();
    unknown->Release();
    factory->Release();
    dlclose(library);
}

TEST_F(ServerKit, TheClassObjectHoldsOneLockWhileReferencedFromOutside) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_TestWidget, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(TestServerLocks(), 1);
    factory->AddRef();
    IClassFactory* again = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_TestWidget, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&again)),
              S_OK);
    EXPECT_EQ(again, factory);
    EXPECT_EQ(TestServerLocks(), 1);
    EXPECT_EQ(factory->Release(), 3u);  // the module keeps one reference of its own
    EXPECT_EQ(again->Release(), 2u);
    EXPECT_EQ(TestServerLocks(), 1);

    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(TestServerLocks(), 3);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(TestServerLocks(), 0);
}

TEST_F(ServerKit, CreateInstanceChecksItsArguments) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_TestWidget, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_ITestWidget, nullptr), E_POINTER);

    Outer outer;
    void* object = &object;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_ITestWidget, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(outer.references, 1u);

    // An interface the class does not answer: the new object is destroyed again.
    object = &object;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(TestServerLocks(), 1);  // the class object's alone

    ITestWidget* widget = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ITestWidget, reinterpret_cast<void**>(&widget)),
              S_OK);
    EXPECT_EQ(LiveObjects(widget), 1);  // the refused one is gone
    EXPECT_EQ(TestServerLocks(), 2);
    widget->Release();
    factory->Release();
    EXPECT_EQ(TestServerLocks(), 0);
}

TEST_F(ServerKit, APlainObjectHasOneIdentity) {
    ITestWidget* widget = CreateObject<ITestWidget>(CLSID_TestWidget, IID_ITestWidget);
    ASSERT_NE(widget, nullptr);
    ITestPeer* peer = nullptr;
    ASSERT_EQ(widget->QueryInterface(IID_ITestPeer, reinterpret_cast<void**>(&peer)), S_OK);
    EXPECT_NE(static_cast<void*>(peer), static_cast<void*>(widget));

    IUnknown* from_widget = nullptr;
    IUnknown* from_peer = nullptr;
    ASSERT_EQ(widget->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&from_widget)), S_OK);
    ASSERT_EQ(peer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&from_peer)), S_OK);
    EXPECT_EQ(from_widget, from_peer);
    ITestWidget* back = nullptr;
    ASSERT_EQ(peer->GetWidget(&back), S_OK);
    EXPECT_EQ(back, widget);

    void* none = &none;
    EXPECT_EQ(widget->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(widget->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    // One count for the object, whichever interface it goes through: five references now.
    EXPECT_EQ(widget->AddRef(), 6u);
    EXPECT_EQ(peer->Release(), 5u);
    for (IUnknown* p :
         {static_cast<IUnknown*>(back), from_peer, from_widget, static_cast<IUnknown*>(widget)}) {
        p->Release();
    }
    EXPECT_EQ(TestServerLocks(), 1);
    EXPECT_EQ(widget->Release(), 0u);
    EXPECT_EQ(TestServerLocks(), 0);
}

TEST_F(ServerKit, AnAggregatedObjectLooksLikePartOfItsOuterObject) {
    {
        Outer outer;
        ASSERT_EQ(outer.Aggregate(IID_IUnknown), S_OK);
        IUnknown* inner = outer.inner();
        ASSERT_NE(inner, nullptr);
        EXPECT_NE(inner, static_cast<IUnknown*>(&outer));
        EXPECT_EQ(outer.references, 1u);  // the inner object holds no reference to it
        EXPECT_EQ(TestServerLocks(), 1);

        // The inner identity answers IUnknown with itself.
        IUnknown* inner_again = nullptr;
        ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&inner_again)),
                  S_OK);
        EXPECT_EQ(inner_again, inner);
        inner_again->Release();

        // The class's interfaces count on the outer object and ask it for interfaces.
        ITestWidget* widget = nullptr;
        ASSERT_EQ(outer.QueryInterface(IID_ITestWidget, reinterpret_cast<void**>(&widget)), S_OK);
        EXPECT_EQ(outer.references, 2u);
        EXPECT_EQ(widget->AddRef(), 3u);
        EXPECT_EQ(widget->Release(), 2u);
        IUnknown* identity = nullptr;
        ASSERT_EQ(widget->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
        EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
        identity->Release();
        void* peer = &peer;
        EXPECT_EQ(widget->QueryInterface(IID_ITestPeer, &peer), E_NOINTERFACE);  // outer's choice
        EXPECT_EQ(peer, nullptr);

        // Asked directly, the inner object hands out its peer, which also defers to the outer.
        ITestPeer* direct_peer = nullptr;
        ASSERT_EQ(inner->QueryInterface(IID_ITestPeer, reinterpret_cast<void**>(&direct_peer)),
                  S_OK);
        EXPECT_EQ(outer.references, 3u);
        ITestWidget* through_outer = nullptr;
        ASSERT_EQ(direct_peer->GetWidget(&through_outer), S_OK);
        EXPECT_EQ(through_outer, widget);
        through_outer->Release();
        direct_peer->Release();

        // The members work as on a plain object.
        EXPECT_EQ(widget->SetValue(-5), S_OK);
        LONG value = 0;
        EXPECT_EQ(widget->GetValue(&value), S_OK);
        EXPECT_EQ(value, -5);
        widget->Release();
        EXPECT_EQ(outer.references, 1u);
        EXPECT_EQ(TestServerLocks(), 1);
    }
    EXPECT_EQ(TestServerLocks(), 0);  // the outer object released the inner one
}

TEST_F(ServerKit, AggregationNeedsIUnknownThroughTheRuntimeToo) {
    Outer outer;
    EXPECT_EQ(outer.Aggregate(IID_ITestWidget), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(outer.inner(), nullptr);
    EXPECT_EQ(TestServerLocks(), 0);
}

TEST_F(ServerKit, ThreadsCreatingAndReleasingObjectsLeaveNoLockBehind) {
    // Held throughout, so that the library cannot go while the threads run.
    ITestWidget* keeper = CreateObject<ITestWidget>(CLSID_TestWidget, IID_ITestWidget);
    ASSERT_NE(keeper, nullptr);

    constexpr int kThreads = 6;
    constexpr int kRounds = 150;
    std::atomic<int> failures{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            if (CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) != S_OK) ++failures;
            for (int i = 0; i < kRounds; ++i) {
                ITestWidget* widget = nullptr;
                const CLSID& clsid = (i % 5 == 0) ? CLSID_TestServerGadget : CLSID_TestWidget;
                if (CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITestWidget,
                                     reinterpret_cast<void**>(&widget)) != S_OK) {
                    ++failures;
                    continue;
                }
                LONG value = 0;
                if (clsid == CLSID_TestWidget) {
                    widget->SetValue(t * 1000 + i);
                    if (widget->GetValue(&value) != S_OK || value != t * 1000 + i) ++failures;
                }
                if (i % 7 == 0) {
                    IClassFactory* factory = nullptr;
                    if (CoGetClassObject(CLSID_TestWidget, CLSCTX_INPROC_SERVER, nullptr,
                                         IID_IClassFactory,
                                         reinterpret_cast<void**>(&factory)) == S_OK) {
                        factory->LockServer(TRUE);
                        Outer outer;
                        if (outer.Aggregate(IID_IUnknown) != S_OK) ++failures;
                        factory->LockServer(FALSE);
                        factory->Release();
                    } else {
                        ++failures;
                    }
                }
                widget->Release();
            }
            CoUninitialize();
        });
    }
    // Meanwhile another thread keeps asking for unused libraries to be freed.
    std::thread sweeper([&] {
        while (!done) CoFreeUnusedLibraries();
    });
    for (auto& thread : threads) thread.join();
    done = true;
    sweeper.join();

    EXPECT_EQ(failures, 0);
    EXPECT_EQ(LiveObjects(keeper), 1);
    EXPECT_EQ(TestServerLocks(), 1);
    keeper->Release();
    EXPECT_EQ(TestServerLocks(), 0);
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLoaded(TEST_SERVER_PATH));
}

TEST_F(ServerKit, RegistrationWritesEachClassAndUnregistrationRemovesIt) {
    char resolved[PATH_MAX];
    ASSERT_NE(realpath(TEST_SERVER_PATH, resolved), nullptr);
    const std::string path = resolved;
    const std::string widget = "CLSID\\{BE0D0261-4B60-4C59-9273-7B82A87240BF}";
    const std::string gadget = "CLSID\\{E1E96D8D-C1D6-4A12-9B91-C1328E703C40}";
    const std::string expected =
        "CLSID\n" + widget + "\n" + widget + " @=Test Widget\n" + widget + "\\InprocServer32\n" +
        widget + "\\InprocServer32 @=" + path + "\n" + widget +
        "\\InprocServer32 ThreadingModel=Apartment\n" + widget + "\\ProgID\n" + widget +
        "\\ProgID @=QuillonTest.Widget.1\n" + widget + "\\VersionIndependentProgID\n" + widget +
        "\\VersionIndependentProgID @=QuillonTest.Widget\n" + gadget + "\n" + gadget +
        " @=Test Gadget\n" + gadget + "\\InprocServer32\n" + gadget + "\\InprocServer32 @=" + path +
        "\n" + gadget + "\\InprocServer32 ThreadingModel=Apartment\n" + gadget + "\\ProgID\n" +
        gadget + "\\ProgID @=QuillonTest.Gadget\n" +
        "QuillonTest.Gadget\nQuillonTest.Gadget @=Test Gadget\n"
        "QuillonTest.Gadget\\CLSID\n"
        "QuillonTest.Gadget\\CLSID @={E1E96D8D-C1D6-4A12-9B91-C1328E703C40}\n"
        "QuillonTest.Widget\nQuillonTest.Widget @=Test Widget\n"
        "QuillonTest.Widget\\CLSID\n"
        "QuillonTest.Widget\\CLSID @={BE0D0261-4B60-4C59-9273-7B82A87240BF}\n"
        "QuillonTest.Widget\\CurVer\nQuillonTest.Widget\\CurVer @=QuillonTest.Widget.1\n"
        "QuillonTest.Widget.1\nQuillonTest.Widget.1 @=Test Widget\n"
        "QuillonTest.Widget.1\\CLSID\n"
        "QuillonTest.Widget.1\\CLSID @={BE0D0261-4B60-4C59-9273-7B82A87240BF}\n";
    // The fixture registered once; a second time changes nothing.
    EXPECT_EQ(DumpRegistry(), expected);
    ASSERT_EQ(CallEntryPoint(TEST_SERVER_PATH, "DllRegisterServer"), S_OK);
    EXPECT_EQ(DumpRegistry(), expected);

    ASSERT_EQ(CallEntryPoint(TEST_SERVER_PATH, "DllUnregisterServer"), S_OK);
    EXPECT_EQ(DumpRegistry(), "CLSID\n");
}

TEST_F(ServerKit, ARegistrationFailureIsReportedWithItsReason) {
    registry_.WriteFile("damaged\n");
    EXPECT_EQ(CallEntryPoint(TEST_SERVER_PATH, "DllRegisterServer"),
              HRESULT_FROM_WIN32(ERROR_REGISTRY_CORRUPT));
    EXPECT_NE(platform::TakeErrorDescription().find("corrupt"), std::string::npos);
    EXPECT_EQ(CallEntryPoint(TEST_SERVER_PATH, "DllUnregisterServer"),
              HRESULT_FROM_WIN32(ERROR_REGISTRY_CORRUPT));
    EXPECT_EQ(registry_.ReadFile(), "damaged\n");
}

}  // namespace
