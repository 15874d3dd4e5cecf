// IDispatch of both servers as any script engine might call it: Invoke with any member (named
// or not), any flags, and DISPPARAMS of up to four well-formed arguments of any type (values,
// strings, arrays, objects, references to variables, omitted-argument markers), named
// arguments included; with or without a result, exception and argument-error pointer; and
// GetIDsOfNames and GetTypeInfo with any names and indexes. Every call must return, and leave
// every reference and string it hands back for the caller to free.
#include <cstdint>
#include <vector>

#include "component/contract/IQuillon.h"
#include "converter/IConverter.h"
#include "fuzz/support/FuzzInput.h"
#include "fuzz/support/Servers.h"

namespace {

// IQuillon2's and then IQuillon3's members come last, so that the saved inputs keep naming what
// they named.
constexpr const char16_t* kMembers[] = {
    u"OnStartPage",
    u"OnEndPage",
    u"PNGImage",
    u"BorderStyle",
    u"Data",
    u"ErrorCorrectionLevel",
    u"Orientation",
    u"Columns",
    u"Rows",
    u"TruncateSymbol",
    u"Y2XRatio",
    u"Width",
    u"Height",
    u"NarrowBarWidth",
    u"BackColor",
    u"BarColor",
    u"Mode",
    u"HandleTilde",
    u"GetActualRC",
    u"GetActualSize",
    u"GetUTF8String",
    u"Eci",
    u"OptimizeCompaction",
    u"AutoErrorCorrection",
    u"MacroSegmentIndex",
    u"MacroSegmentCount",
    u"MacroFileId",
    u"Symbology",
    u"MicroColumns",
    u"MicroRows",
};
constexpr int kMaxArguments = 4;
// Pictures above this many pixels a side are not asked for: they only cost time.
constexpr SHORT kLargestSide = 640;

// The variables that by-reference arguments point at, cleared after each call.
struct Variables {
    VARIANT variants[kMaxArguments];
    SHORT shorts[kMaxArguments] = {};
    BSTR strings[kMaxArguments] = {};
    Variables() {
        for (VARIANT& v : variants) VariantInit(&v);
    }
    ~Variables() {
        for (VARIANT& v : variants) VariantClear(&v);
        for (BSTR s : strings) SysFreeString(s);
    }
};

BSTR String(FuzzInput& input) {
    const std::u16string text = input.Utf16(600);
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// A value of a plain type (no references), owned by v.
void PlainValue(FuzzInput& input, IDispatch* object, VARIANT* v) {
    VariantInit(v);
    switch (input.Below(13)) {
        case 0:
            break;  // VT_EMPTY
        case 1:
            v->vt = VT_NULL;
            break;
        case 2:
            v->vt = VT_I2;
            v->iVal = input.Take<SHORT>();
            break;
        case 3:
            v->vt = VT_I4;
            v->lVal = input.Take<LONG>();
            break;
        case 4:
            v->vt = VT_R4;
            v->fltVal = input.Take<FLOAT>();
            break;
        case 5:
            v->vt = VT_R8;
            v->dblVal = input.Take<DOUBLE>();
            break;
        case 6:
            v->vt = VT_BOOL;
            v->boolVal = input.Take<VARIANT_BOOL>();
            break;
        case 7:
            v->vt = VT_UI1;
            v->bVal = input.Byte();
            break;
        case 8:
            v->vt = VT_ERROR;
            v->scode = input.Bool() ? DISP_E_PARAMNOTFOUND : input.Take<SCODE>();
            break;
        case 9:
            v->vt = input.Bool() ? VT_DISPATCH : VT_UNKNOWN;
            v->pdispVal = input.Bool() ? object : nullptr;
            if (v->pdispVal != nullptr) v->pdispVal->AddRef();
            break;
        case 10: {
            SAFEARRAYBOUND bound{input.Below(16), 0};
            v->vt = VT_ARRAY | VT_UI1;
            v->parray = SafeArrayCreate(VT_UI1, 1, &bound);
            if (v->parray == nullptr) v->vt = VT_EMPTY;
            break;
        }
        default:
            v->vt = VT_BSTR;
            v->bstrVal = input.Bool() ? String(input) : nullptr;
            break;
    }
}

// An argument: a plain value, or a reference to one of the variables.
void Argument(FuzzInput& input, IDispatch* object, Variables& variables, int i, VARIANT* v) {
    switch (input.Below(5)) {
        case 0:
            PlainValue(input, object, &variables.variants[i]);
            VariantInit(v);
            v->vt = VT_BYREF | VT_VARIANT;
            v->pvarVal = input.Below(8) == 0 ? nullptr : &variables.variants[i];
            break;
        case 1:
            variables.shorts[i] = input.Take<SHORT>();
            VariantInit(v);
            v->vt = VT_BYREF | VT_I2;
            v->piVal = &variables.shorts[i];
            break;
        case 2:
            variables.strings[i] = String(input);
            VariantInit(v);
            v->vt = VT_BYREF | VT_BSTR;
            v->pbstrVal = &variables.strings[i];
            break;
        default:
            PlainValue(input, object, v);
            break;
    }
}

// Whether an argument would set a picture side above kLargestSide.
bool AsksForALargePicture(const VARIANT& argument) {
    VARIANT side;
    VariantInit(&side);
    const bool large =
        SUCCEEDED(VariantChangeType(&side, &argument, 0, VT_I2)) && side.iVal > kLargestSide;
    VariantClear(&side);
    return large;
}

void CallInvoke(FuzzInput& input, IDispatch* object, IDispatch* other, DISPID member) {
    Variables variables;
    VARIANT args[kMaxArguments];
    const UINT count = input.Below(kMaxArguments + 1);
    bool large = false;
    for (UINT i = 0; i < count; ++i) {
        Argument(input, other, variables, static_cast<int>(i), &args[i]);
        large = large || AsksForALargePicture(args[i]);
    }
    DISPID named[kMaxArguments + 1];
    const UINT named_count = input.Below(count + 2);  // one too many now and then
    for (UINT i = 0; i < named_count; ++i) {
        const unsigned kind = input.Below(4);
        named[i] = kind == 0   ? DISPID_PROPERTYPUT
                   : kind == 3 ? input.Take<DISPID>()
                               : static_cast<DISPID>(kind - 1);
    }
    const WORD flags = static_cast<WORD>(input.Below(16));
    DISPPARAMS params{count > 0 ? args : nullptr, named_count > 0 ? named : nullptr, count,
                      named_count};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    UINT bad_argument = 0;
    const unsigned pointers = input.Below(8);
    const bool sizing = member == DISPID_QUILLON_WIDTH || member == DISPID_QUILLON_HEIGHT;
    if (!(sizing && large)) {
        object->Invoke(member, IID_NULL, 0, flags, &params, (pointers & 1) ? &result : nullptr,
                       (pointers & 2) ? &exception : nullptr,
                       (pointers & 4) ? &bad_argument : nullptr);
    }
    VariantClear(&result);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    for (UINT i = 0; i < count; ++i) VariantClear(&args[i]);
}

void CallGetIDsOfNames(FuzzInput& input, IDispatch* object) {
    std::u16string texts[3];
    LPOLESTR names[3];
    const UINT count = 1 + input.Below(3);
    for (UINT i = 0; i < count; ++i) {
        texts[i] = input.Bool() ? kMembers[input.Below(std::size(kMembers))] : input.Utf16(300);
        names[i] = texts[i].data();
    }
    DISPID ids[3];
    object->GetIDsOfNames(IID_NULL, names, count, 0, ids);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::UseServers();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    IDispatch* objects[2] = {fuzz::Create<IDispatch>(kQuillonProgId, IID_IDispatch),
                             fuzz::Create<IDispatch>(kConverterProgId, IID_IDispatch)};
    FuzzInput input(data, size);
    for (int step = 0; step < 16 && !input.empty(); ++step) {
        const unsigned which = input.Below(2);
        IDispatch* object = objects[which];
        switch (input.Below(8)) {
            case 0:
                CallGetIDsOfNames(input, object);
                break;
            case 1: {
                ITypeInfo* info = nullptr;
                if (SUCCEEDED(object->GetTypeInfo(input.Below(3), 0, &info))) info->Release();
                break;
            }
            case 2:
                CallInvoke(input, object, objects[1 - which], input.Take<DISPID>());
                break;
            default: {
                // Mostly members that exist, found by name as scripts find them.
                LPOLESTR name = const_cast<LPOLESTR>(kMembers[input.Below(std::size(kMembers))]);
                DISPID member = DISPID_UNKNOWN;
                object->GetIDsOfNames(IID_NULL, &name, 1, 0, &member);
                CallInvoke(input, object, objects[1 - which], member);
                break;
            }
        }
    }
    objects[0]->Release();
    objects[1]->Release();
    return 0;
}
