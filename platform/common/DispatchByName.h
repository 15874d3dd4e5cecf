// Calling an automation object's member by name, as a script does: the name looked up with
// GetIDsOfNames, the arguments handed to Invoke last first, a property's new value named as
// such, and the error a member raised read back from EXCEPINFO. Only the Automation API is
// used, so the hosts and tests on Linux and the client tests built for Windows call objects
// the same way.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace platform {

// What a call by name gave.
struct DispatchCall {
    HRESULT hr = E_FAIL;                     // GetIDsOfNames' failure, or what Invoke returned
    DISPID dispid = DISPID_UNKNOWN;          // the member's, once the name is found
    UINT bad_argument = 0;                   // the argument Invoke blamed
    SCODE scode = 0;                         // with DISP_E_EXCEPTION: the error the member raised,
    std::basic_string<OLECHAR> source;       // where it came from,
    std::basic_string<OLECHAR> description;  // and what it says
};

// Calls the member `dispid`. args are in the caller's order; flags is DISPATCH_METHOD,
// DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT. The arguments stay the caller's to clear.
inline DispatchCall CallById(IDispatch* object, DISPID dispid, WORD flags,
                             std::vector<VARIANT> args, VARIANT* result, LCID locale = 0) {
    DispatchCall call;
    call.dispid = dispid;
    std::reverse(args.begin(), args.end());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    EXCEPINFO exception{};
    call.hr = object->Invoke(dispid, IID_NULL, locale, flags, &params, result, &exception,
                             &call.bad_argument);
    if (call.hr == DISP_E_EXCEPTION && exception.pfnDeferredFillIn != nullptr) {
        exception.pfnDeferredFillIn(&exception);
    }
    call.scode = exception.scode;
    if (exception.bstrSource != nullptr) call.source = exception.bstrSource;
    if (exception.bstrDescription != nullptr) call.description = exception.bstrDescription;
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return call;
}

// Looks the name up with GetIDsOfNames, then calls the member as CallById does.
inline DispatchCall CallByName(IDispatch* object, const OLECHAR* name, WORD flags,
                               std::vector<VARIANT> args, VARIANT* result, LCID locale = 0) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID dispid = DISPID_UNKNOWN;
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, locale, &dispid);
    if (FAILED(hr)) {
        DispatchCall call;
        call.hr = hr;
        return call;
    }
    return CallById(object, dispid, flags, std::move(args), result, locale);
}

}  // namespace platform
