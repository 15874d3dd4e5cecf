// Type information as data: a description of an interface that mirrors its IDL (names,
// DISPIDs, kinds, parameter types and directions, help strings), and of a type library with
// its classes. ITypeInfo and ITypeLib are served from these records (TypeLibObject.h), and
// standard dispatch calls the members through the thunk each member carries.
//
// The records are meant to be constant tables with static storage; DispatchTable.h builds
// the members of one with a line per member. Everything here refers to, and never copies,
// the strings and tables it is given.
#pragma once

#include <cstddef>
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

// An interface derived from IDispatch, or from another interface of its library. members are
// the interface's own, in the order the C++ interface declares them: members[i] is the vtable
// slot after IDispatch's seven and every base interface's members.
//
// Callers of a derived interface reach its bases' members too (by name, by DISPID, in a call),
// with the same object pointer: COM lays a derived interface out as its base's vtable followed
// by its own slots, so a pointer to the derived interface is one to the base as well.
struct InterfaceDescription {
    const OLECHAR* name = nullptr;
    IID iid = IID_NULL;
    WORD flags = 0;  // TYPEFLAG_FDUAL, FOLEAUTOMATION, FHIDDEN, FNONEXTENSIBLE, ...
    const OLECHAR* help = nullptr;
    std::span<const MemberDescription> members;
    const InterfaceDescription* base = nullptr;  // null: derived from IDispatch
};

// The first member that callers of the interface reach for which `matches` holds, looking at
// the interface's own members before each base's in turn; null when there is none.
template <class Matches>
const MemberDescription* FindReachableMember(const InterfaceDescription& interface,
                                             Matches matches) {
    for (const InterfaceDescription* i = &interface; i != nullptr; i = i->base) {
        for (const MemberDescription& m : i->members) {
            if (matches(m)) return &m;
        }
    }
    return nullptr;
}

// The vtable slots of the interface's bases after IDispatch's.
inline std::size_t BaseSlotCount(const InterfaceDescription& interface) {
    std::size_t slots = 0;
    for (const InterfaceDescription* i = interface.base; i != nullptr; i = i->base) {
        slots += i->members.size();
    }
    return slots;
}

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
