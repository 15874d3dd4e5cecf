// ITypeLib and ITypeInfo served from a TypeLibDescription (TypeDescription.h).
//
// Each interface is presented as the vtable view of its IDL: TKIND_INTERFACE with the
// interface's own flags (TYPEFLAG_FDUAL for a dual one) plus TYPEFLAG_FDISPATCHABLE, one
// FUNCDESC per member of its own in slot order (FUNC_PUREVIRTUAL, CC_STDCALL, an HRESULT
// result, every parameter including [out, retval] ones, pointers as VT_PTR, oVft counting
// every slot before), and no inherited members. An interface derived from another of the
// library has that base as implemented type 0 (cImplTypes 1, no flags), as Windows has it, and
// GetNames, GetDocumentation, GetIDsOfNames and Invoke reach the base's members through it;
// one derived from IDispatch has cImplTypes 0: IUnknown's and IDispatch's slots are not
// described. For a dual interface GetRefTypeOfImplType(-1) leads back to the same type
// information, so callers that look for the vtable partner of a dispatch view find it. A
// class is TKIND_COCLASS with its default interface as implemented type 0.
#pragma once

#include "platform/runtime/TypeDescription.h"

// The library refers to the description (strings, tables, thunks) without copying it, so the
// description must stay valid while the library or any of its type information is alive.
// E_INVALIDARG for a malformed description: missing names, a class whose default interface is
// not one of the library's, a base interface that is not one listed before the interface, two
// members of one interface and its bases with the same DISPID and kind.
PLATFORM_API HRESULT CreateTypeLibFromDescription(const TypeLibDescription* description,
                                                  ITypeLib** pptlib);

// Disconnects every library made from this description, for a module that is about to be
// unloaded together with its description and member code: from then on these libraries and
// their type information answer every call with TYPE_E_CANTLOADLIBRARY (counts as 0) and
// call no member, though they stay valid objects until their last reference goes.
PLATFORM_API void RevokeTypeLibDescription(const TypeLibDescription* description);
