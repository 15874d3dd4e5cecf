#include "server/QuillonTypeLib.h"

#include "component/contract/IQuillon.h"
#include "platform/runtime/DispatchTable.h"

namespace {

using namespace dispatch;

// In vtable order. Property puts take one [in] value with no name, as the library declares
// them; VARIANT_BOOL parameters are spelled out, since C++ sees a short.
constexpr MemberDescription kMembers[] = {
    Method<&IQuillon::OnStartPage>(u"OnStartPage", 0x60020000, {In(u"piUnk")}),
    Method<&IQuillon::OnEndPage>(u"OnEndPage", 0x60020001),
    PropertyGet<&IQuillon::get_PNGImage>(u"PNGImage", 1, u"property PNGImage", {Retval(u"pVal")}),
    PropertyPut<&IQuillon::put_BorderStyle>(u"BorderStyle", 4, u"property BorderStyle", {In()}),
    PropertyPut<&IQuillon::put_Data>(u"Data", 5, u"property Data", {In()}),
    PropertyPut<&IQuillon::put_ErrorCorrectionLevel>(u"ErrorCorrectionLevel", 6,
                                                     u"property ErrorCorrectionLevel", {In()}),
    PropertyPut<&IQuillon::put_Orientation>(u"Orientation", 7, u"property Orientation", {In()}),
    PropertyPut<&IQuillon::put_Columns>(u"Columns", 8, u"property PDFColumns", {In()}),
    PropertyPut<&IQuillon::put_Rows>(u"Rows", 9, u"property PDFRows", {In()}),
    PropertyPut<&IQuillon::put_TruncateSymbol>(u"TruncateSymbol", 11, u"property TruncateSymbol",
                                               {In(nullptr, VT_BOOL)}),
    PropertyPut<&IQuillon::put_Y2XRatio>(u"Y2XRatio", 12, u"property Y2XRatio", {In()}),
    PropertyPut<&IQuillon::put_Width>(u"Width", 13, u"property Width", {In()}),
    PropertyPut<&IQuillon::put_Height>(u"Height", 14, u"property Height", {In()}),
    PropertyPut<&IQuillon::put_NarrowBarWidth>(u"NarrowBarWidth", 15, u"property NarrowBarWidth",
                                               {In()}),
    PropertyPut<&IQuillon::put_BackColor>(u"BackColor", 16, u"property BackColor", {In()}),
    PropertyPut<&IQuillon::put_BarColor>(u"BarColor", 17, u"property BarColor", {In()}),
    PropertyGet<&IQuillon::get_Mode>(u"Mode", 18, u"property Mode", {Retval(u"pVal")}),
    PropertyPut<&IQuillon::put_Mode>(u"Mode", 18, u"property Mode", {In()}),
    PropertyGet<&IQuillon::get_HandleTilde>(u"HandleTilde", 19, u"property HandleTilde",
                                            {Retval(u"pVal", VT_BOOL)}),
    PropertyPut<&IQuillon::put_HandleTilde>(u"HandleTilde", 19, u"property HandleTilde",
                                            {In(nullptr, VT_BOOL)}),
    Method<&IQuillon::GetActualRC>(u"GetActualRC", 20, u"method GetActualRC",
                                   {Param(u"ActualRows"), Param(u"ActualCols")}),
    Method<&IQuillon::GetActualSize>(u"GetActualSize", 21, u"method GetActualSize",
                                     {Param(u"ActualWidth"), Param(u"ActualHeight")}),
};

constexpr const InterfaceDescription* kInterfaces[] = {&kIQuillonInterface};

constexpr ClassDescription kClasses[] = {{u"Quillon", CLSID_Quillon, TYPEFLAG_FCANCREATE,
                                          u"Tarvex Quillon Component", &kIQuillonInterface}};

}  // namespace

constexpr InterfaceDescription kIQuillonInterface{u"IQuillon", IID_IQuillon,
                                                  TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION,
                                                  u"IQuillon Interface", kMembers};

constexpr TypeLibDescription kTarvexQuillonLib{
    u"TarvexQuillonLib", LIBID_TarvexQuillonLib,      1,           0,       0,
    SYS_WIN32,           u"Tarvex Quillon Component", kInterfaces, kClasses};
