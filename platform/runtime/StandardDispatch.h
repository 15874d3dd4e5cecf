// The standard implementation of IDispatch's GetIDsOfNames and Invoke from type information,
// for an object whose interface is described by an ITypeInfo: an IDispatch implementation
// forwards to these with the type information of its interface. The rules are those of
// DispatchInvoke.h.
#pragma once

#include "platform/runtime/TypeInfo.h"

PLATFORM_API HRESULT DispGetIDsOfNames(ITypeInfo* ptinfo, LPOLESTR* rgszNames, UINT cNames,
                                       DISPID* rgdispid);
// _this is the object as a pointer to the interface that ptinfo describes (IQuillon*, not
// the implementing class), as the member thunks expect it.
PLATFORM_API HRESULT DispInvoke(void* _this, ITypeInfo* ptinfo, DISPID dispidMember, WORD wFlags,
                                DISPPARAMS* pparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo,
                                UINT* puArgErr);
