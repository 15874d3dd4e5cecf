#include "converter/ConverterTypeLib.h"

#include "converter/IConverter.h"
#include "platform/runtime/DispatchTable.h"

namespace {

using namespace dispatch;

constexpr MemberDescription kMembers[] = {
    Method<&_Converter::GetUTF8String>(u"GetUTF8String", 0x60030001,
                                       {In(u"UnicodeText"), Retval(u"result")}),
};

constexpr const InterfaceDescription* kInterfaces[] = {&kConverterInterface};

constexpr ClassDescription kClasses[] = {
    {u"Converter", CLSID_Converter, TYPEFLAG_FCANCREATE, nullptr, &kConverterInterface}};

}  // namespace

constexpr InterfaceDescription kConverterInterface{
    u"_Converter", IID__Converter,
    TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION, nullptr,
    kMembers};

constexpr TypeLibDescription kTarvexUnicodeLib{
    u"TarvexUnicode", LIBID_TarvexUnicode, 1, 0, 0, SYS_WIN32, nullptr, kInterfaces, kClasses};
