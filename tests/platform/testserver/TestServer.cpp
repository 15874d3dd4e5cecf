// The test server: two classes built with the server kit, exporting the four entry points.
#include <atomic>

#include "TestGadget.rgs.h"
#include "TestServer.rgs.h"
#include "platform/serverkit/ServerKit.h"
#include "tests/platform/testserver/TestWidget.h"

namespace {

std::atomic<LONG> live_objects{0};

// Counts the objects alive in this library, whatever their class.
class LiveObject {
public:
    LiveObject() { ++live_objects; }
    ~LiveObject() { --live_objects; }
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;
};

class Widget : public ITestWidget, public ITestPeer, private LiveObject {
public:
    static constexpr serverkit::InterfaceEntry<Widget> kInterfaces[] = {
        serverkit::Answer<Widget, ITestWidget>(IID_ITestWidget),
        serverkit::Answer<Widget, ITestPeer>(IID_ITestPeer),
    };

    HRESULT STDMETHODCALLTYPE SetValue(LONG value) override {
        value_ = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetValue(LONG* value) override {
        if (value == nullptr) return E_POINTER;
        *value = value_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLiveObjects(LONG* count) override {
        if (count == nullptr) return E_POINTER;
        *count = live_objects.load();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetWidget(ITestWidget** widget) override {
        return static_cast<ITestPeer*>(this)->QueryInterface(IID_ITestWidget,
                                                             reinterpret_cast<void**>(widget));
    }

protected:
    ~Widget() = default;

private:
    LONG value_ = 0;
};

// A second class, answering ITestWidget only; its value starts at 7.
class Gadget : public ITestWidget, private LiveObject {
public:
    static constexpr serverkit::InterfaceEntry<Gadget> kInterfaces[] = {
        serverkit::Answer<Gadget, ITestWidget>(IID_ITestWidget),
    };

    HRESULT STDMETHODCALLTYPE SetValue(LONG) override { return E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE GetValue(LONG* value) override {
        if (value == nullptr) return E_POINTER;
        *value = 7;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLiveObjects(LONG* count) override {
        if (count == nullptr) return E_POINTER;
        *count = live_objects.load();
        return S_OK;
    }

protected:
    ~Gadget() = default;
};

constexpr serverkit::ServerClass kClasses[] = {
    serverkit::ClassEntry<Widget>(CLSID_TestWidget, kTestServerScript),
    serverkit::ClassEntry<Gadget>(CLSID_TestServerGadget, kTestGadgetScript),
};

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return serverkit::GetModuleClassObject(kClasses, rclsid, riid, ppv);
}
STDAPI DllCanUnloadNow() {
    return serverkit::ModuleCanUnloadNow();
}
STDAPI DllRegisterServer() {
    return serverkit::RegisterModule(kClasses);
}
STDAPI DllUnregisterServer() {
    return serverkit::UnregisterModule(kClasses);
}

PLATFORM_API LONG TestServerModuleLocks() {
    return serverkit::ModuleLockCount();
}
