// The barcode component: the members of IQuillon, of IQuillon2 derived from it, and of
// IQuillon3 derived from that, over the component state. IUnknown and IDispatch are left to the
// server (server/): identity and the module lock live in the object that owns an instance, and
// dispatch is answered from the registered type library.
#pragma once

#include <type_traits>

#include "component/contract/IQuillon.h"
#include "component/state/QuillonState.h"

class CQuillon : public IQuillon3, public QuillonState {
public:
    // Written out rather than defaulted: creating the object then value-initialises no more
    // than the state's defaults, instead of first zeroing all of its 52 KB, most of which are
    // work areas that every request writes before it reads them (QuillonState).
    CQuillon() {}
    CQuillon(const CQuillon&) = delete;
    CQuillon& operator=(const CQuillon&) = delete;

    // IQuillon's members, declared as the interface declares them: the page hooks
    // (PageHooks.cpp), the requests (PictureRequest.cpp, MeasuringRequests.cpp) and the property
    // accessors (generated from the interface's description into QuillonAccessors.cpp, but for
    // the few in Properties.cpp).
    IQUILLON_OVERRIDES
    // IQuillon2's and IQuillon3's: the accessors of the symbol options, generated alike.
    IQUILLON2_OVERRIDES
    IQUILLON3_OVERRIDES

protected:
    ~CQuillon();

private:
    // The generated accessors' two shapes. A get reads the field back as the declared type; a
    // put keeps a value that `accepted` (the property's range or list) holds, checked as the
    // field keeps it (a double as the single-precision float it becomes), and ignores any other
    // without an error. A boolean is on for VARIANT_TRUE alone.
    template <typename Field, typename Value>
    static HRESULT GetSetting(const Field& field, Value* pVal) {
        if (pVal == nullptr) return E_POINTER;
        *pVal = static_cast<Value>(field);
        return S_OK;
    }
    template <typename Field, typename Value, typename Accepted>
    static HRESULT PutSetting(Field& field, Value value, const Accepted& accepted) {
        // An integer is checked whole: no field is narrower than its property's type.
        static_assert(!std::is_integral_v<Value> || sizeof(Field) >= sizeof(Value));
        const auto kept = static_cast<Field>(value);
        if (accepted.Contains(kept)) field = kept;
        return S_OK;
    }
    static HRESULT GetSwitch(BOOL field, VARIANT_BOOL* pVal) {
        if (pVal == nullptr) return E_POINTER;
        *pVal = field != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    static HRESULT PutSwitch(BOOL& field, VARIANT_BOOL value) {
        field = value == VARIANT_TRUE ? TRUE : FALSE;
        return S_OK;
    }
};
