// The barcode component: the members of IQuillon and of IQuillon2, derived from it, over the
// component state. IUnknown and IDispatch are left to the server (server/): identity and the
// module lock live in the object that owns an instance, and dispatch is answered from the
// registered type library.
#pragma once

#include "component/contract/IQuillon.h"
#include "component/state/QuillonState.h"

class CQuillon : public IQuillon2, public QuillonState {
public:
    // Written out rather than defaulted: creating the object then value-initialises no more
    // than the state's defaults, instead of first zeroing all of its 52 KB, most of which are
    // work areas that every request writes before it reads them (QuillonState).
    CQuillon() {}
    CQuillon(const CQuillon&) = delete;
    CQuillon& operator=(const CQuillon&) = delete;

    // IQuillon's members, declared as the interface declares them: the page hooks
    // (PageHooks.cpp), the requests (PictureRequest.cpp, MeasuringRequests.cpp) and the property
    // accessors (Properties.cpp).
    IQUILLON_OVERRIDES
    // IQuillon2's: the accessors of the symbol options (SymbolOptionProperties.cpp).
    IQUILLON2_OVERRIDES

protected:
    ~CQuillon();
};
