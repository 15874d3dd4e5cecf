#include "server/QuillonTypeLib.h"

#include "component/contract/IQuillon.h"
#include "platform/runtime/DispatchTable.h"

namespace {

using namespace dispatch;

// In vtable order. Property puts take one [in] value with no name, as the library declares
// them; VARIANT_BOOL parameters are spelled out, since C++ sees a short.
constexpr MemberDescription kMembers[] = {
    Method<&IQuillon::OnStartPage>(u"OnStartPage", DISPID_QUILLON_ONSTARTPAGE, {In(u"piUnk")}),
    Method<&IQuillon::OnEndPage>(u"OnEndPage", DISPID_QUILLON_ONENDPAGE),
    PropertyGet<&IQuillon::get_PNGImage>(u"PNGImage", DISPID_QUILLON_PNGIMAGE, u"property PNGImage",
                                         {Retval(u"pVal")}),
    PropertyPut<&IQuillon::put_BorderStyle>(u"BorderStyle", DISPID_QUILLON_BORDERSTYLE,
                                            u"property BorderStyle", {In()}),
    PropertyPut<&IQuillon::put_Data>(u"Data", DISPID_QUILLON_DATA, u"property Data", {In()}),
    PropertyPut<&IQuillon::put_ErrorCorrectionLevel>(u"ErrorCorrectionLevel",
                                                     DISPID_QUILLON_ERRORCORRECTIONLEVEL,
                                                     u"property ErrorCorrectionLevel", {In()}),
    PropertyPut<&IQuillon::put_Orientation>(u"Orientation", DISPID_QUILLON_ORIENTATION,
                                            u"property Orientation", {In()}),
    PropertyPut<&IQuillon::put_Columns>(u"Columns", DISPID_QUILLON_COLUMNS, u"property PDFColumns",
                                        {In()}),
    PropertyPut<&IQuillon::put_Rows>(u"Rows", DISPID_QUILLON_ROWS, u"property PDFRows", {In()}),
    PropertyPut<&IQuillon::put_TruncateSymbol>(u"TruncateSymbol", DISPID_QUILLON_TRUNCATESYMBOL,
                                               u"property TruncateSymbol", {In(nullptr, VT_BOOL)}),
    PropertyPut<&IQuillon::put_Y2XRatio>(u"Y2XRatio", DISPID_QUILLON_Y2XRATIO, u"property Y2XRatio",
                                         {In()}),
    PropertyPut<&IQuillon::put_Width>(u"Width", DISPID_QUILLON_WIDTH, u"property Width", {In()}),
    PropertyPut<&IQuillon::put_Height>(u"Height", DISPID_QUILLON_HEIGHT, u"property Height",
                                       {In()}),
    PropertyPut<&IQuillon::put_NarrowBarWidth>(u"NarrowBarWidth", DISPID_QUILLON_NARROWBARWIDTH,
                                               u"property NarrowBarWidth", {In()}),
    PropertyPut<&IQuillon::put_BackColor>(u"BackColor", DISPID_QUILLON_BACKCOLOR,
                                          u"property BackColor", {In()}),
    PropertyPut<&IQuillon::put_BarColor>(u"BarColor", DISPID_QUILLON_BARCOLOR, u"property BarColor",
                                         {In()}),
    PropertyGet<&IQuillon::get_Mode>(u"Mode", DISPID_QUILLON_MODE, u"property Mode",
                                     {Retval(u"pVal")}),
    PropertyPut<&IQuillon::put_Mode>(u"Mode", DISPID_QUILLON_MODE, u"property Mode", {In()}),
    PropertyGet<&IQuillon::get_HandleTilde>(u"HandleTilde", DISPID_QUILLON_HANDLETILDE,
                                            u"property HandleTilde", {Retval(u"pVal", VT_BOOL)}),
    PropertyPut<&IQuillon::put_HandleTilde>(u"HandleTilde", DISPID_QUILLON_HANDLETILDE,
                                            u"property HandleTilde", {In(nullptr, VT_BOOL)}),
    Method<&IQuillon::GetActualRC>(u"GetActualRC", DISPID_QUILLON_GETACTUALRC,
                                   u"method GetActualRC",
                                   {Param(u"ActualRows"), Param(u"ActualCols")}),
    Method<&IQuillon::GetActualSize>(u"GetActualSize", DISPID_QUILLON_GETACTUALSIZE,
                                     u"method GetActualSize",
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
