// libTarvexUnicode.so: the in-process server of the companion class Converter.
#include "TarvexUnicode.rgs.h"
#include "converter/CConverter.h"
#include "converter/ConverterTypeLib.h"
#include "platform/serverkit/ServerKit.h"

namespace {

serverkit::EmbeddedTypeLibrary type_library(kTarvexUnicodeLib);
serverkit::TypeInfoHolder converter_type_info(LIBID_TarvexUnicode, 1, 0, IID__Converter);

class Converter : public serverkit::TypeInfoDispatch<CConverter, _Converter, converter_type_info> {
public:
    static constexpr serverkit::InterfaceEntry<Converter> kInterfaces[] = {
        serverkit::Answer<Converter, _Converter>(IID__Converter),
        serverkit::Answer<Converter, _Converter>(IID_IDispatch),
    };

protected:
    ~Converter() = default;
};

constexpr serverkit::ServerClass kClasses[] = {
    serverkit::ClassEntry<Converter>(CLSID_Converter, kTarvexUnicodeScript),
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
    return FAILED(hr) ? hr : serverkit::RegisterTypeLibrary(kTarvexUnicodeLib);
}

STDAPI DllUnregisterServer() {
    const HRESULT hr = serverkit::UnregisterModule(kClasses);
    return FAILED(hr) ? hr : serverkit::UnregisterTypeLibrary(kTarvexUnicodeLib);
}

PLATFORM_API const TypeLibDescription* PlatformTypeLibResource() {
    return &kTarvexUnicodeLib;
}
