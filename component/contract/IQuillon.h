// The barcode component's public contract, as a generated interface header carries it: the
// identifiers, the dual interface IQuillon in vtable order with its dispatch identifiers, and
// the error the requests return. server/TarvexQuillon.idl declares the same for the type
// library, and a test keeps the two equal. The settable properties' types, defaults and
// accepted ranges are in QuillonProperties.h.
#pragma once

#include "platform/Platform.h"

// {C328BB70-51A2-4538-B390-F8946A7379FF}
constexpr CLSID CLSID_Quillon = {
    0xC328BB70, 0x51A2, 0x4538, {0xB3, 0x90, 0xF8, 0x94, 0x6A, 0x73, 0x79, 0xFF}};
// {07CBEBAC-03FE-482A-ABF0-1EFB6EB80663}
constexpr IID IID_IQuillon = {
    0x07CBEBAC, 0x03FE, 0x482A, {0xAB, 0xF0, 0x1E, 0xFB, 0x6E, 0xB8, 0x06, 0x63}};
// {82252240-6716-43F7-8E8D-8D4A667E3C46}
constexpr GUID LIBID_TarvexQuillonLib = {
    0x82252240, 0x6716, 0x43F7, {0x8E, 0x8D, 0x8D, 0x4A, 0x66, 0x7E, 0x3C, 0x46}};

// The ProgID scripts create the object by (version-independent; ".1" names the current one).
inline constexpr OLECHAR kQuillonProgId[] = OLESTR("TarvexQuillon.Quillon");

// The data needs more than one symbol can hold: too many codewords, or too many rows even at
// the most columns. Returned by every request that encodes, with a description that says why.
constexpr HRESULT QUILLON_E_DATA_DOES_NOT_FIT = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x200);

// Dispatch identifiers. DISPIDs 2, 3 and 10 are not used.
constexpr DISPID DISPID_QUILLON_ONSTARTPAGE = 0x60020000;
constexpr DISPID DISPID_QUILLON_ONENDPAGE = 0x60020001;
constexpr DISPID DISPID_QUILLON_PNGIMAGE = 1;
constexpr DISPID DISPID_QUILLON_BORDERSTYLE = 4;
constexpr DISPID DISPID_QUILLON_DATA = 5;
constexpr DISPID DISPID_QUILLON_ERRORCORRECTIONLEVEL = 6;
constexpr DISPID DISPID_QUILLON_ORIENTATION = 7;
constexpr DISPID DISPID_QUILLON_COLUMNS = 8;
constexpr DISPID DISPID_QUILLON_ROWS = 9;
constexpr DISPID DISPID_QUILLON_TRUNCATESYMBOL = 11;
constexpr DISPID DISPID_QUILLON_Y2XRATIO = 12;
constexpr DISPID DISPID_QUILLON_WIDTH = 13;
constexpr DISPID DISPID_QUILLON_HEIGHT = 14;
constexpr DISPID DISPID_QUILLON_NARROWBARWIDTH = 15;
constexpr DISPID DISPID_QUILLON_BACKCOLOR = 16;
constexpr DISPID DISPID_QUILLON_BARCOLOR = 17;
constexpr DISPID DISPID_QUILLON_MODE = 18;
constexpr DISPID DISPID_QUILLON_HANDLETILDE = 19;
constexpr DISPID DISPID_QUILLON_GETACTUALRC = 20;
constexpr DISPID DISPID_QUILLON_GETACTUALSIZE = 21;

struct IQuillon : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE OnStartPage(IUnknown* piUnk) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnEndPage() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PNGImage(VARIANT* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_BorderStyle(SHORT newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Data(BSTR newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ErrorCorrectionLevel(SHORT newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Orientation(SHORT newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Columns(SHORT newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Rows(SHORT newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_TruncateSymbol(VARIANT_BOOL newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Y2XRatio(FLOAT newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Width(SHORT newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Height(SHORT newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_NarrowBarWidth(DOUBLE newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_BackColor(LONG newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_BarColor(LONG newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Mode(SHORT* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Mode(SHORT newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HandleTilde(VARIANT_BOOL* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_HandleTilde(VARIANT_BOOL newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetActualRC(VARIANT* ActualRows, VARIANT* ActualCols) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetActualSize(VARIANT* ActualWidth,
                                                    VARIANT* ActualHeight) = 0;
};
