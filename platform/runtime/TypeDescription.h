// Type information as data: a description of an interface that mirrors its IDL (names,
// DISPIDs, kinds, parameter types and directions, help strings), and of a type library with
// its classes. ITypeInfo and ITypeLib are served from these records (TypeLibObject.h), and
// standard dispatch calls the members through the thunk each member carries.
//
// The records are meant to be constant tables with static storage; DispatchTable.h builds
// the members of one with a line per member. Everything here refers to, and never copies,
// the strings and tables it is given.
#pragma once

#include <span>

#include "platform/runtime/TypeInfo.h"

// Calls a member on an object. args holds one VARIANT per parameter in declaration order,
// each already of the parameter's declared type: values for [in] parameters, VT_BYREF
// pointers for pointer parameters.
using DispatchThunk = HRESULT (*)(void* object, VARIANTARG* args);

constexpr int kMaxDispatchParameters = 8;

struct ParameterDescription {
    const OLECHAR* name = nullptr;  // null for an unnamed parameter (IDL puts' values often are)
    // The automation type; VT_BYREF marks a pointer: VT_I2 | VT_BYREF is short*,
    // VT_VARIANT | VT_BYREF is VARIANT*. IUnknown* and IDispatch* are VT_UNKNOWN, VT_DISPATCH.
    VARTYPE type = VT_EMPTY;
    USHORT flags = PARAMFLAG_NONE;  // PARAMFLAG_FIN, FOUT, FRETVAL, FOPT
};

struct MemberDescription {
    const OLECHAR* name = nullptr;
    DISPID dispid = DISPID_UNKNOWN;
    INVOKEKIND kind = INVOKE_FUNC;
    const OLECHAR* help = nullptr;
    ParameterDescription params[kMaxDispatchParameters] = {};
    SHORT paramCount = 0;
    DispatchThunk thunk = nullptr;
};

// An interface derived from IDispatch: members[i] is the vtable slot after IDispatch's seven
// slots, so the members are listed in the order the C++ interface declares them.
struct InterfaceDescription {
    const OLECHAR* name = nullptr;
    IID iid = IID_NULL;
    WORD flags = 0;  // TYPEFLAG_FDUAL, FOLEAUTOMATION, FHIDDEN, FNONEXTENSIBLE, ...
    const OLECHAR* help = nullptr;
    std::span<const MemberDescription> members;
};

struct ClassDescription {
    const OLECHAR* name = nullptr;
    CLSID clsid = GUID_NULL;
    WORD flags = TYPEFLAG_FCANCREATE;
    const OLECHAR* help = nullptr;
    const InterfaceDescription* defaultInterface = nullptr;  // one of the library's interfaces
};

struct TypeLibDescription {
    const OLECHAR* name = nullptr;
    GUID libid = GUID_NULL;
    WORD majorVersion = 1;
    WORD minorVersion = 0;
    LCID lcid = 0;
    SYSKIND syskind = SYS_WIN32;
    const OLECHAR* help = nullptr;
    // Type information index i is interfaces[i], then the classes follow.
    std::span<const InterfaceDescription* const> interfaces;
    std::span<const ClassDescription> classes;
};
