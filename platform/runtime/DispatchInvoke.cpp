#include "platform/runtime/DispatchInvoke.h"

#include <cstdio>
#include <string>

#include "platform/common/AsciiCase.h"
#include "platform/runtime/VariantConversion.h"
#include "platform/winapi/ErrorInfo.h"

namespace platform {

namespace {

const MemberDescription* FindMember(const InterfaceDescription& d, DISPID id, WORD wFlags) {
    const WORD kinds = wFlags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT |
                                 DISPATCH_PROPERTYPUTREF);
    return FindReachableMember(
        d, [&](const MemberDescription& m) { return m.dispid == id && (m.kind & kinds) != 0; });
}

bool IsMissingMarker(const VARIANT& v) {
    return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}

// The values a member receives, and what must be freed once it has run. Only the slots of
// the member's parameters are used, and only they are made empty and cleared: a call is made
// for every put and request, and most members take one or two values.
struct CallFrame {
    explicit CallFrame(int count) : count_(count) {
        for (int i = 0; i < count_; ++i) args[i] = spare[i] = VARIANT{};
        result = VARIANT{};
    }
    ~CallFrame() {
        for (int i = 0; i < count_; ++i) {
            if (owned[i]) VariantClear(&args[i]);
        }
        if (result.vt != VT_EMPTY) VariantClear(&result);
    }
    CallFrame(const CallFrame&) = delete;
    CallFrame& operator=(const CallFrame&) = delete;

    VARIANT args[kMaxDispatchParameters];
    bool owned[kMaxDispatchParameters] = {};
    VARIANT spare[kMaxDispatchParameters];  // storage behind omitted optional pointer params
    VARIANT result;

private:
    int count_;
};

void FillOmitted(const ParameterDescription& p, VARIANT* slot, VARIANT* spare) {
    const VARTYPE base = static_cast<VARTYPE>(p.type & ~VT_BYREF);
    VARIANT* value = (p.type & VT_BYREF) != 0 ? spare : slot;
    if (base == VT_VARIANT) {
        value->vt = VT_ERROR;
        value->scode = DISP_E_PARAMNOTFOUND;
    } else {
        value->vt = base;  // a zero value: 0, VARIANT_FALSE, a null string or object
    }
    if (value == spare) {
        slot->vt = p.type;
        slot->byref = base == VT_VARIANT ? static_cast<void*>(spare) : &spare->llVal;
    }
}

// Points a pointer parameter at the caller's storage.
HRESULT BindPointer(const ParameterDescription& p, VARIANT* arg, VARIANT* slot) {
    const VARTYPE base = static_cast<VARTYPE>(p.type & ~VT_BYREF);
    void* target = nullptr;
    if (base == VT_VARIANT) {
        target = arg->vt == (VT_BYREF | VT_VARIANT) ? static_cast<void*>(arg->pvarVal) : arg;
    } else if (arg->vt == p.type) {
        target = arg->byref;
    } else if (arg->vt == (VT_BYREF | VT_VARIANT) && arg->pvarVal != nullptr &&
               arg->pvarVal->vt == base) {
        target = &arg->pvarVal->llVal;
    }
    if (target == nullptr) return DISP_E_TYPEMISMATCH;
    slot->vt = p.type;
    slot->byref = target;
    return S_OK;
}

// A copy of the value the argument holds or refers to.
HRESULT CopyValue(const VARIANT* arg, VARIANT* slot) {
    if (arg->vt == (VT_BYREF | VT_VARIANT)) {
        if (arg->pvarVal == nullptr) return DISP_E_TYPEMISMATCH;
        arg = arg->pvarVal;
    }
    if ((arg->vt & VT_BYREF) != 0) {
        return VariantChangeType(slot, arg, 0, static_cast<VARTYPE>(arg->vt & ~VT_BYREF));
    }
    return VariantCopy(slot, arg);
}

const OLECHAR* KnownErrorText(HRESULT hr) {
    switch (hr) {
        case E_OUTOFMEMORY:
            return u"Out of memory";
        case E_INVALIDARG:
            return u"Invalid argument";
        case E_POINTER:
            return u"Invalid pointer";
        case E_NOTIMPL:
            return u"Not implemented";
        case E_UNEXPECTED:
            return u"Unexpected failure";
        case E_ACCESSDENIED:
            return u"Access denied";
        case E_FAIL:
            return u"Unspecified error";
        default:
            return u"Error";
    }
}

// "Invalid argument (0x80070057)".
BSTR GenericDescription(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    std::u16string text = KnownErrorText(hr);
    text += u" (";
    for (const char* c = code; *c != 0; ++c) text += static_cast<char16_t>(*c);
    text += u")";
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

HRESULT ReportFailure(HRESULT hr, const InterfaceDescription& d, EXCEPINFO* excep) {
    if (excep == nullptr) return DISP_E_EXCEPTION;
    *excep = EXCEPINFO{};
    excep->scode = hr;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
        info->GetSource(&excep->bstrSource);
        info->GetDescription(&excep->bstrDescription);
        info->GetHelpFile(&excep->bstrHelpFile);
        info->GetHelpContext(&excep->dwHelpContext);
        info->Release();
    }
    if (excep->bstrDescription == nullptr || SysStringLen(excep->bstrDescription) == 0) {
        SysFreeString(excep->bstrDescription);
        excep->bstrDescription = GenericDescription(hr);
    }
    if (excep->bstrSource == nullptr && d.name != nullptr) {
        excep->bstrSource = SysAllocString(d.name);
    }
    return DISP_E_EXCEPTION;
}

}  // namespace

bool SameName(const OLECHAR* a, const OLECHAR* b) {
    return a != nullptr && b != nullptr && EqualsIgnoringCase(std::u16string_view(a), b);
}

HRESULT FindIDsOfNames(const InterfaceDescription& d, LPOLESTR* rgszNames, UINT cNames,
                       DISPID* rgDispId) {
    if (cNames == 0) return S_OK;
    if (rgszNames == nullptr || rgDispId == nullptr) return E_INVALIDARG;
    for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
    if (rgszNames[0] == nullptr) return DISP_E_UNKNOWNNAME;
    // The name's first letter is compared before the whole name is measured and compared: the
    // members are looked through one by one, and most differ at once.
    const std::u16string_view wanted(rgszNames[0]);
    const auto named = [&](const MemberDescription& m) {
        return m.name != nullptr && !wanted.empty() &&
               LowerAscii(m.name[0]) == LowerAscii(wanted[0]) &&
               EqualsIgnoringCase(std::u16string_view(m.name), wanted);
    };
    const MemberDescription* member = FindReachableMember(d, named);
    if (member == nullptr) return DISP_E_UNKNOWNNAME;
    rgDispId[0] = member->dispid;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < cNames; ++i) {
        // A getter and a putter share a name; a parameter name may belong to either.
        FindReachableMember(d, [&](const MemberDescription& m) {
            if (!named(m)) return false;
            for (int p = 0; p < m.paramCount; ++p) {
                if ((m.params[p].flags & PARAMFLAG_FRETVAL) == 0 &&
                    SameName(m.params[p].name, rgszNames[i])) {
                    rgDispId[i] = p;
                    return true;
                }
            }
            return false;
        });
        if (rgDispId[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT InvokeDescribedMember(void* object, const InterfaceDescription& d, DISPID dispIdMember,
                              WORD wFlags, DISPPARAMS* params, VARIANT* pVarResult,
                              EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    if (object == nullptr || params == nullptr) return E_INVALIDARG;
    if ((params->cArgs > 0 && params->rgvarg == nullptr) || params->cNamedArgs > params->cArgs ||
        (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr)) {
        return E_INVALIDARG;
    }
    if (pVarResult != nullptr) VariantInit(pVarResult);
    const MemberDescription* m = FindMember(d, dispIdMember, wFlags);
    if (m == nullptr) return DISP_E_MEMBERNOTFOUND;
    if (m->thunk == nullptr) return E_NOTIMPL;

    const int count = m->paramCount;
    const bool has_retval = count > 0 && (m->params[count - 1].flags & PARAMFLAG_FRETVAL) != 0;
    const int callable = has_retval ? count - 1 : count;
    const UINT named = params->cNamedArgs;
    if (params->cArgs > static_cast<UINT>(callable)) return DISP_E_BADPARAMCOUNT;

    // The index in rgvarg of each parameter's argument, -1 for none.
    int source[kMaxDispatchParameters];
    for (int& s : source) s = -1;
    const UINT positional = params->cArgs - named;
    for (UINT j = 0; j < positional; ++j) source[j] = static_cast<int>(params->cArgs - 1 - j);
    const bool is_put = (m->kind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) != 0;
    for (UINT k = 0; k < named; ++k) {
        const DISPID target = params->rgdispidNamedArgs[k];
        const int index = (target == DISPID_PROPERTYPUT && is_put) ? callable - 1 : target;
        if (index < 0 || index >= callable || source[index] != -1) {
            if (puArgErr != nullptr) *puArgErr = k;
            return DISP_E_PARAMNOTFOUND;
        }
        source[index] = static_cast<int>(k);
    }

    CallFrame frame(count);
    for (int i = 0; i < count; ++i) {
        const ParameterDescription& p = m->params[i];
        VARIANT* slot = &frame.args[i];
        if (i == callable) {  // the [retval]
            const VARTYPE base = static_cast<VARTYPE>(p.type & ~VT_BYREF);
            slot->vt = p.type;
            if (base == VT_VARIANT) {
                slot->pvarVal = &frame.result;
            } else {
                frame.result.vt = base;
                slot->byref = &frame.result.llVal;
            }
            continue;
        }
        VARIANT* arg = source[i] >= 0 ? &params->rgvarg[source[i]] : nullptr;
        const bool takes_marker = (p.type & ~VT_BYREF) == VT_VARIANT;
        if (arg == nullptr || (IsMissingMarker(*arg) && !takes_marker)) {
            if ((p.flags & PARAMFLAG_FOPT) == 0) {
                if (arg != nullptr && puArgErr != nullptr) *puArgErr = static_cast<UINT>(source[i]);
                return (named == 0 && arg == nullptr) ? DISP_E_BADPARAMCOUNT
                                                      : DISP_E_PARAMNOTOPTIONAL;
            }
            FillOmitted(p, slot, &frame.spare[i]);
            continue;
        }
        HRESULT hr;
        if ((p.type & VT_BYREF) != 0) {
            hr = BindPointer(p, arg, slot);
        } else if (p.type == VT_VARIANT) {
            hr = CopyValue(arg, slot);
            frame.owned[i] = true;
        } else if (arg->vt == p.type) {
            // Already of the declared type: the member borrows the caller's value, as an [in]
            // value is lent, rather than a copy (a string's would be made and freed each call).
            *slot = *arg;
            hr = S_OK;
        } else {
            hr = VariantChangeType(slot, arg, 0, p.type);
            frame.owned[i] = true;
        }
        if (FAILED(hr)) {
            if (puArgErr != nullptr) *puArgErr = static_cast<UINT>(source[i]);
            return hr;
        }
    }

    // What is on the thread after the call is then the member's own report.
    SetErrorInfo(0, nullptr);
    const HRESULT hr = m->thunk(object, frame.args);
    if (FAILED(hr)) return ReportFailure(hr, d, pExcepInfo);
    if (has_retval && pVarResult != nullptr) {
        *pVarResult = frame.result;
        frame.result = VARIANT{};
    }
    return S_OK;
}

}  // namespace platform
