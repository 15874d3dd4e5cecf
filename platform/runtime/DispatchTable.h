// Building an interface's member table from its C++ member functions, one line per member:
//
//     using namespace dispatch;
//     constexpr MemberDescription kWidgetMembers[] = {
//         Method<&IWidget::Reset>(u"Reset", 1),
//         PropertyGet<&IWidget::get_Size>(u"Size", 2, u"property Size", {Retval(u"pVal")}),
//         PropertyPut<&IWidget::put_Size>(u"Size", 2, u"property Size", {In(u"newVal")}),
//         PropertyPut<&IWidget::put_Visible>(u"Visible", 3, {In(u"newVal", VT_BOOL)}),
//         Method<&IWidget::Measure>(u"Measure", 4, {Param(u"Width"), Param(u"Height")}),
//     };
//
// The parameter types come from the member function: short is VT_I2, long VT_I4, float
// VT_R4, double VT_R8, BYTE VT_UI1, BSTR VT_BSTR, IUnknown* VT_UNKNOWN, IDispatch*
// VT_DISPATCH, VARIANT VT_VARIANT, and a pointer to one of these the same with VT_BYREF.
// VARIANT_BOOL is a short in C++, so a boolean parameter says VT_BOOL. Without a parameter
// list, value parameters are [in] and unnamed, the last pointer of a property get is
// [out, retval], and other pointers carry no direction, as in IDL. A list, when given, has
// one entry per parameter. Mistakes (a wrong count, a type that does not fit the C++
// parameter, a retval that is not last) stop the compilation, since the builders are
// consteval.
//
// Each entry carries a thunk that calls the member on an object passed as a pointer to the
// interface the member belongs to (IWidget* here), which is what DispInvoke's first argument
// must be.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <type_traits>
#include <utility>

#include "platform/runtime/TypeDescription.h"

namespace dispatch {

struct ParameterSpec {
    const OLECHAR* name = nullptr;
    VARTYPE type = VT_EMPTY;  // VT_EMPTY: taken from the C++ parameter
    USHORT flags = PARAMFLAG_NONE;
    bool deduceFlags = true;

    constexpr ParameterSpec Optional() const {
        ParameterSpec p = *this;
        p.flags = static_cast<USHORT>((deduceFlags ? PARAMFLAG_FIN : flags) | PARAMFLAG_FOPT);
        p.deduceFlags = false;
        return p;
    }
};

// [in]
constexpr ParameterSpec In(const OLECHAR* name = nullptr, VARTYPE type = VT_EMPTY) {
    return {name, type, PARAMFLAG_FIN, false};
}
// [out]
constexpr ParameterSpec Out(const OLECHAR* name = nullptr, VARTYPE type = VT_EMPTY) {
    return {name, type, PARAMFLAG_FOUT, false};
}
// [out, retval]
constexpr ParameterSpec Retval(const OLECHAR* name = nullptr, VARTYPE type = VT_EMPTY) {
    return {name, type, static_cast<USHORT>(PARAMFLAG_FOUT | PARAMFLAG_FRETVAL), false};
}
// Direction as without a list: [in] for values, none for pointers.
constexpr ParameterSpec Param(const OLECHAR* name = nullptr, VARTYPE type = VT_EMPTY) {
    return {name, type, PARAMFLAG_NONE, true};
}

namespace detail {

// Not constexpr: reaching it during constant evaluation makes the table fail to compile,
// and the compiler's message quotes the reason.
inline void TableError(const char*) {}

template <class T>
inline constexpr bool kNotAutomationType = false;

template <class T>
constexpr bool IsPointerParameter() {
    return std::is_pointer_v<T> && !std::is_same_v<T, BSTR> && !std::is_same_v<T, IUnknown*> &&
           !std::is_same_v<T, IDispatch*>;
}

template <class T>
constexpr VARTYPE DefaultType() {
    if constexpr (std::is_same_v<T, SHORT>) {
        return VT_I2;
    } else if constexpr (std::is_same_v<T, LONG>) {
        return VT_I4;
    } else if constexpr (std::is_same_v<T, FLOAT>) {
        return VT_R4;
    } else if constexpr (std::is_same_v<T, DOUBLE>) {
        return VT_R8;
    } else if constexpr (std::is_same_v<T, BYTE>) {
        return VT_UI1;
    } else if constexpr (std::is_same_v<T, BSTR>) {
        return VT_BSTR;
    } else if constexpr (std::is_same_v<T, IUnknown*>) {
        return VT_UNKNOWN;
    } else if constexpr (std::is_same_v<T, IDispatch*>) {
        return VT_DISPATCH;
    } else if constexpr (std::is_same_v<T, VARIANT>) {
        return VT_VARIANT;
    } else if constexpr (IsPointerParameter<T>()) {
        return static_cast<VARTYPE>(DefaultType<std::remove_pointer_t<T>>() | VT_BYREF);
    } else {
        static_assert(kNotAutomationType<T>, "parameter type has no automation equivalent");
        return VT_EMPTY;
    }
}

template <class T>
constexpr bool Accepts(VARTYPE vt) {
    if (vt == DefaultType<T>()) return true;
    // VARIANT_BOOL and short are one C++ type.
    if constexpr (std::is_same_v<T, SHORT>) return vt == VT_BOOL;
    if constexpr (std::is_same_v<T, SHORT*>) return vt == (VT_BOOL | VT_BYREF);
    return false;
}

template <class T>
T ArgumentFrom(VARIANTARG& v) {
    if constexpr (std::is_same_v<T, SHORT>) {
        return v.iVal;
    } else if constexpr (std::is_same_v<T, LONG>) {
        return v.lVal;
    } else if constexpr (std::is_same_v<T, FLOAT>) {
        return v.fltVal;
    } else if constexpr (std::is_same_v<T, DOUBLE>) {
        return v.dblVal;
    } else if constexpr (std::is_same_v<T, BYTE>) {
        return v.bVal;
    } else if constexpr (std::is_same_v<T, BSTR>) {
        return v.bstrVal;
    } else if constexpr (std::is_same_v<T, IUnknown*>) {
        return v.punkVal;
    } else if constexpr (std::is_same_v<T, IDispatch*>) {
        return v.pdispVal;
    } else if constexpr (std::is_same_v<T, VARIANT>) {
        return v;
    } else {
        return static_cast<T>(v.byref);
    }
}

template <auto M, class C, class... A, std::size_t... I>
HRESULT CallWith(C* self, [[maybe_unused]] VARIANTARG* args, std::index_sequence<I...>) {
    return (self->*M)(ArgumentFrom<A>(args[I])...);
}

template <auto M, class C, class... A>
HRESULT Thunk(void* object, VARIANTARG* args) {
    return CallWith<M, C, A...>(static_cast<C*>(object), args, std::index_sequence_for<A...>{});
}

template <auto M, class C, class... A>
consteval MemberDescription Describe(HRESULT (C::*)(A...), const OLECHAR* name, DISPID dispid,
                                     INVOKEKIND kind, const OLECHAR* help,
                                     std::initializer_list<ParameterSpec> specs) {
    constexpr std::size_t arity = sizeof...(A);
    static_assert(arity <= kMaxDispatchParameters, "too many parameters for a dispatch table");
    constexpr std::array<VARTYPE, arity> deduced = {DefaultType<A>()...};
    constexpr std::array<bool, arity> pointer = {IsPointerParameter<A>()...};
    constexpr std::array<bool (*)(VARTYPE), arity> accepts = {&Accepts<A>...};

    MemberDescription d{};
    d.name = name;
    d.dispid = dispid;
    d.kind = kind;
    d.help = help;
    d.paramCount = static_cast<SHORT>(arity);
    d.thunk = &Thunk<M, C, A...>;
    if (name == nullptr) TableError("a member needs a name");
    if (specs.size() != 0 && specs.size() != arity) {
        TableError("the parameter list must have one entry per parameter");
    }
    for (std::size_t i = 0; i < arity; ++i) {
        const ParameterSpec spec = specs.size() != 0 ? specs.begin()[i] : Param();
        ParameterDescription& p = d.params[i];
        p.name = spec.name;
        p.type = spec.type == VT_EMPTY
                     ? deduced[i]
                     : static_cast<VARTYPE>(spec.type | (pointer[i] ? VT_BYREF : 0));
        if (!accepts[i](p.type)) TableError("the declared type does not fit the C++ parameter");
        p.flags = spec.flags;
        if (spec.deduceFlags) {
            const bool retval = pointer[i] && kind == INVOKE_PROPERTYGET && i + 1 == arity;
            p.flags = pointer[i] ? (retval ? PARAMFLAG_FOUT | PARAMFLAG_FRETVAL : PARAMFLAG_NONE)
                                 : PARAMFLAG_FIN;
        }
        if ((p.flags & PARAMFLAG_FOUT) != 0 && !pointer[i]) {
            TableError("an [out] parameter must be a pointer");
        }
        if ((p.flags & PARAMFLAG_FRETVAL) != 0 && i + 1 != arity) {
            TableError("only the last parameter can be [retval]");
        }
    }
    const bool has_retval = arity > 0 && (d.params[arity - 1].flags & PARAMFLAG_FRETVAL) != 0;
    if ((kind == INVOKE_PROPERTYPUT || kind == INVOKE_PROPERTYPUTREF) &&
        (has_retval || arity == 0)) {
        TableError("a property put takes its value and returns none");
    }
    return d;
}

}  // namespace detail

template <auto M>
consteval MemberDescription Method(const OLECHAR* name, DISPID dispid,
                                   std::initializer_list<ParameterSpec> params = {}) {
    return detail::Describe<M>(M, name, dispid, INVOKE_FUNC, nullptr, params);
}
template <auto M>
consteval MemberDescription Method(const OLECHAR* name, DISPID dispid, const OLECHAR* help,
                                   std::initializer_list<ParameterSpec> params = {}) {
    return detail::Describe<M>(M, name, dispid, INVOKE_FUNC, help, params);
}
template <auto M>
consteval MemberDescription PropertyGet(const OLECHAR* name, DISPID dispid,
                                        std::initializer_list<ParameterSpec> params = {}) {
    return detail::Describe<M>(M, name, dispid, INVOKE_PROPERTYGET, nullptr, params);
}
template <auto M>
consteval MemberDescription PropertyGet(const OLECHAR* name, DISPID dispid, const OLECHAR* help,
                                        std::initializer_list<ParameterSpec> params = {}) {
    return detail::Describe<M>(M, name, dispid, INVOKE_PROPERTYGET, help, params);
}
template <auto M>
consteval MemberDescription PropertyPut(const OLECHAR* name, DISPID dispid,
                                        std::initializer_list<ParameterSpec> params = {}) {
    return detail::Describe<M>(M, name, dispid, INVOKE_PROPERTYPUT, nullptr, params);
}
template <auto M>
consteval MemberDescription PropertyPut(const OLECHAR* name, DISPID dispid, const OLECHAR* help,
                                        std::initializer_list<ParameterSpec> params = {}) {
    return detail::Describe<M>(M, name, dispid, INVOKE_PROPERTYPUT, help, params);
}

}  // namespace dispatch
