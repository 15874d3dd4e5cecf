// libTarvexQuillon.so: the in-process server of the barcode component. Its one class is
// created plain or aggregated by the class object, answers IUnknown, IDispatch and IQuillon
// with one pointer, and is called by name through the registered type library.
#include "TarvexQuillon.rgs.h"
#include "component/CQuillon.h"
#include "platform/serverkit/ServerKit.h"
#include "server/QuillonTypeLib.h"

namespace {

serverkit::EmbeddedTypeLibrary type_library(kTarvexQuillonLib);
serverkit::TypeInfoHolder quillon_type_info(LIBID_TarvexQuillonLib, 1, 0, IID_IQuillon);

class Quillon : public serverkit::TypeInfoDispatch<CQuillon, IQuillon, quillon_type_info> {
public:
    static constexpr serverkit::InterfaceEntry<Quillon> kInterfaces[] = {
        serverkit::Answer<Quillon, IQuillon>(IID_IQuillon),
        serverkit::Answer<Quillon, IQuillon>(IID_IDispatch),
    };

protected:
    ~Quillon() = default;
};

constexpr serverkit::ServerClass kClasses[] = {
    serverkit::ClassEntry<Quillon>(CLSID_Quillon, kTarvexQuillonScript),
};

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return serverkit::GetModuleClassObject(kClasses, rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow() {
    return serverkit::ModuleCanUnloadNow();
}

STDAPI DllRegisterServer() {
    const HRESULT hr = serverkit::RegisterModule(kClasses);
    return FAILED(hr) ? hr : serverkit::RegisterTypeLibrary(kTarvexQuillonLib);
}

STDAPI DllUnregisterServer() {
    const HRESULT hr = serverkit::UnregisterModule(kClasses);
    return FAILED(hr) ? hr : serverkit::UnregisterTypeLibrary(kTarvexQuillonLib);
}

PLATFORM_API const TypeLibDescription* PlatformTypeLibResource() {
    return &kTarvexQuillonLib;
}
