// The barcode component: IQuillon's members over the component state. IUnknown and IDispatch
// are left to the server (server/): identity and the module lock live in the object that
// owns an instance, and dispatch is answered from the registered type library.
#pragma once

#include "component/contract/IQuillon.h"
#include "component/state/QuillonState.h"

class CQuillon : public IQuillon, public QuillonState {
public:
    // Written out rather than defaulted: creating the object then value-initialises no more
    // than the state's defaults, instead of first zeroing all of its 52 KB, most of which are
    // work areas that every request writes before it reads them (QuillonState).
    CQuillon() {}
    CQuillon(const CQuillon&) = delete;
    CQuillon& operator=(const CQuillon&) = delete;

    // Page hooks.
    HRESULT STDMETHODCALLTYPE OnStartPage(IUnknown* piUnk) override;
    HRESULT STDMETHODCALLTYPE OnEndPage() override;

    // Requests.
    HRESULT STDMETHODCALLTYPE get_PNGImage(VARIANT* pVal) override;
    HRESULT STDMETHODCALLTYPE GetActualRC(VARIANT* ActualRows, VARIANT* ActualCols) override;
    HRESULT STDMETHODCALLTYPE GetActualSize(VARIANT* ActualWidth, VARIANT* ActualHeight) override;

    // Property accessors (component/Properties.cpp).
    HRESULT STDMETHODCALLTYPE put_BorderStyle(SHORT newVal) override;
    HRESULT STDMETHODCALLTYPE put_Data(BSTR newVal) override;
    HRESULT STDMETHODCALLTYPE put_ErrorCorrectionLevel(SHORT newVal) override;
    HRESULT STDMETHODCALLTYPE put_Orientation(SHORT newVal) override;
    HRESULT STDMETHODCALLTYPE put_Columns(SHORT newVal) override;
    HRESULT STDMETHODCALLTYPE put_Rows(SHORT newVal) override;
    HRESULT STDMETHODCALLTYPE put_TruncateSymbol(VARIANT_BOOL newVal) override;
    HRESULT STDMETHODCALLTYPE put_Y2XRatio(FLOAT newVal) override;
    HRESULT STDMETHODCALLTYPE put_Width(SHORT newVal) override;
    HRESULT STDMETHODCALLTYPE put_Height(SHORT newVal) override;
    HRESULT STDMETHODCALLTYPE put_NarrowBarWidth(DOUBLE newVal) override;
    HRESULT STDMETHODCALLTYPE put_BackColor(LONG newVal) override;
    HRESULT STDMETHODCALLTYPE put_BarColor(LONG newVal) override;
    HRESULT STDMETHODCALLTYPE get_Mode(SHORT* pVal) override;
    HRESULT STDMETHODCALLTYPE put_Mode(SHORT newVal) override;
    HRESULT STDMETHODCALLTYPE get_HandleTilde(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_HandleTilde(VARIANT_BOOL newVal) override;

protected:
    ~CQuillon();
};
