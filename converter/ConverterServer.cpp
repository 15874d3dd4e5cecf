// libTarvexUnicode.so: the in-process server of the companion class Converter.
#include "TarvexUnicode.rgs.h"
#include "converter/CConverter.h"
#include "converter/ConverterTypeLib.h"
#include "platform/serverkit/ServerKit.h"

namespace {

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

SERVERKIT_ENTRY_POINTS(kClasses, kTarvexUnicodeLib)
