// The standard dispatch of one described interface: names to DISPIDs, and a call of a member
// with the arguments of a DISPPARAMS converted to the member's declared types.
// ITypeInfo::GetIDsOfNames and ITypeInfo::Invoke of described type information
// (TypeLibObject.h) are these, and DispGetIDsOfNames / DispInvoke (StandardDispatch.h) reach
// them through the ITypeInfo.
//
// The members are the interface's own and those of its bases (TypeDescription.h), found in that
// order; a base's member is called with the same object pointer.
//
// Names: compared without regard to ASCII case. rgszNames[0] is a member name, the rest are
// names of that member's parameters, whose DISPIDs are their zero-based positions. Every
// unknown name gets DISPID_UNKNOWN and the call answers DISP_E_UNKNOWNNAME; the known ones
// are still filled in.
//
// Calls:
// - The member is the one with the DISPID whose kind is among wFlags' DISPATCH_ bits, so
//   DISPATCH_METHOD | DISPATCH_PROPERTYGET, which scripts send, reaches a method or a getter.
//   No such member: DISP_E_MEMBERNOTFOUND.
// - rgvarg holds the arguments last first; named arguments come first in it. A named
//   argument's DISPID is its parameter's position, or DISPID_PROPERTYPUT for a put's value.
//   A put without DISPID_PROPERTYPUT takes its arguments by position, as Windows does, which
//   for the usual single value is the same thing. A named DISPID that matches no parameter,
//   or names one twice: DISP_E_PARAMNOTFOUND with *puArgErr at that argument.
// - More arguments than parameters ([retval] excluded): DISP_E_BADPARAMCOUNT. A parameter
//   left without argument that is not [optional]: DISP_E_BADPARAMCOUNT for a call by position
//   alone, DISP_E_PARAMNOTOPTIONAL for one with named arguments; so is an argument marked as
//   missing (VT_ERROR with DISP_E_PARAMNOTFOUND) for such a parameter, with *puArgErr set.
//   Omitted optional VARIANT parameters receive that marker, others a zero value.
// - Value parameters get their argument converted by VariantChangeType, VT_BYREF arguments
//   read through; a VARIANT value parameter gets a copy. A failed conversion returns its
//   error (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW, ...) with *puArgErr set to the argument's
//   index in rgvarg, and the member is not called.
// - A VARIANT* parameter that is not [retval] receives the caller's own VARIANT: the one a
//   VT_BYREF | VT_VARIANT argument points to, or the argument in rgvarg itself, so what the
//   member writes there reaches the caller. Other pointer parameters need a VT_BYREF argument
//   of exactly their type (or a VT_BYREF | VT_VARIANT one holding it): DISP_E_TYPEMISMATCH
//   otherwise.
// - A [retval] parameter becomes *pVarResult: VT_I2 for short*, VT_BOOL for VARIANT_BOOL*,
//   VT_BSTR for BSTR*, and so on; the VARIANT itself for VARIANT*. pVarResult, when given, is
//   set to VT_EMPTY first (its old content is not freed).
// - A member's success codes (S_FALSE included) are reported as S_OK.
// - The thread's error object is cleared before the member runs. A member that returns a
//   failure makes the call return DISP_E_EXCEPTION with EXCEPINFO holding its HRESULT in
//   scode and the source, description and help of the error object it left; without one the
//   description names the HRESULT and the source is the interface's name. With no EXCEPINFO
//   the error object is left on the thread for the caller.
#pragma once

#include "platform/runtime/TypeDescription.h"

namespace platform {

HRESULT FindIDsOfNames(const InterfaceDescription& description, LPOLESTR* rgszNames, UINT cNames,
                       DISPID* rgDispId);

HRESULT InvokeDescribedMember(void* object, const InterfaceDescription& description,
                              DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams,
                              VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);

// Case-insensitive (ASCII) comparison of two names.
bool SameName(const OLECHAR* a, const OLECHAR* b);

}  // namespace platform
