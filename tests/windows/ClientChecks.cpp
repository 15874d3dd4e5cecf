// The client cases: what a page host and its scripts rely on, checked through the real
// ole32 and oleaut32 (Wine's): creation by ProgID, one identity, dispatch by name with the
// platform's conversions and errors, the measuring methods through by-reference variables,
// the page hooks, the converter, and the entry points' unloading answer.
#include <string>
#include <vector>

#include "component/contract/IQuillon.h"
#include "converter/IConverter.h"
#include "tests/windows/ByName.h"
#include "tests/windows/Checks.h"
#include "tests/windows/PageHost.h"
#include "tests/windows/WindowsTests.h"

namespace {

// Releases an interface pointer when it goes.
template <class T>
class Owned {
public:
    explicit Owned(T* p = nullptr) : p_(p) {}
    ~Owned() {
        if (p_ != nullptr) p_->Release();
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    T* operator->() const { return p_; }
    T* get() const { return p_; }

private:
    T* p_;
};

IDispatch* Create(Checks& checks, const wchar_t* progid) {
    HRESULT hr = S_OK;
    IDispatch* object = CreateByProgId(progid, &hr);
    checks.Expect(object != nullptr, "creating " + Narrow(progid) + " gave " + Hex(hr));
    return object;
}

std::vector<unsigned char> Picture(IDispatch* object) {
    Variant picture;
    std::vector<unsigned char> bytes;
    if (FAILED(Get(object, L"PNGImage", &picture).hr) || picture->vt != (VT_ARRAY | VT_UI1)) {
        return bytes;
    }
    void* data = nullptr;
    SafeArrayAccessData(picture->parray, &data);
    const auto* first = static_cast<const unsigned char*>(data);
    bytes.assign(first, first + picture->parray->rgsabound[0].cElements);
    SafeArrayUnaccessData(picture->parray);
    return bytes;
}

void CreationAndIdentity(Checks& checks) {
    Owned<IDispatch> object(Create(checks, L"TarvexQuillon.Quillon"));
    Owned<IDispatch> versioned(Create(checks, L"TarvexQuillon.Quillon.1"));
    if (object.get() == nullptr) return;
    HRESULT hr = S_OK;
    checks.Expect(
        CreateByProgId(L"TarvexQuillon.NoSuchClass", &hr) == nullptr && hr == CO_E_CLASSSTRING,
        "an unknown ProgID gives CO_E_CLASSSTRING, not " + Hex(hr));

    IUnknown* unknown = nullptr;
    IDispatch* dispatch = nullptr;
    IQuillon* quillon = nullptr;
    object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown));
    object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    object->QueryInterface(IID_IQuillon, reinterpret_cast<void**>(&quillon));
    checks.Expect(unknown != nullptr && static_cast<void*>(unknown) == dispatch &&
                      static_cast<void*>(dispatch) == quillon,
                  "IUnknown, IDispatch and IQuillon are one pointer");
    void* other = &other;
    checks.Expect(
        object->QueryInterface(IID_IClassFactory, &other) == E_NOINTERFACE && other == nullptr,
        "any other interface: E_NOINTERFACE and a null pointer");
    for (IUnknown* p :
         {unknown, static_cast<IUnknown*>(dispatch), static_cast<IUnknown*>(quillon)}) {
        if (p != nullptr) p->Release();
    }

    UINT count = 0;
    object->GetTypeInfoCount(&count);
    ITypeInfo* info = nullptr;
    BSTR name = nullptr;
    if (SUCCEEDED(object->GetTypeInfo(0, 0, &info))) {
        info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
        info->Release();
    }
    checks.Expect(count == 1 && name != nullptr && std::wstring(name) == L"IQuillon3",
                  "the type information is IQuillon3's, from the registered library");
    SysFreeString(name);
}

// Implemented type `index` of a type information, or null.
ITypeInfo* Implemented(ITypeInfo* info, UINT index) {
    HREFTYPE reference = 0;
    ITypeInfo* target = nullptr;
    if (SUCCEEDED(info->GetRefTypeOfImplType(index, &reference))) {
        info->GetRefTypeInfo(reference, &target);
    }
    return target;
}

// The GUID, kind and own member count of a type information, which is released.
TYPEATTR Described(ITypeInfo* info) {
    TYPEATTR described{};
    TYPEATTR* attributes = nullptr;
    if (info != nullptr && SUCCEEDED(info->GetTypeAttr(&attributes))) {
        described = *attributes;
        info->ReleaseTypeAttr(attributes);
    }
    if (info != nullptr) info->Release();
    return described;
}

// IQuillon2, derived from IQuillon, and IQuillon3, derived from IQuillon2: the one object
// through their vtables, their bases' members included, and its type information as Wine's
// oleaut32 reads the DLL's compiled library: a vtable view of IQuillon3 with its own 6
// members, IQuillon2 with its 12 as its base, and IQuillon with its 22 as that one's, as the
// Linux runtime has it.
void DerivedInterfaces(Checks& checks) {
    Owned<IDispatch> object(Create(checks, kQuillonProgId));
    if (object.get() == nullptr) return;
    IQuillon2* raw = nullptr;
    object->QueryInterface(IID_IQuillon2, reinterpret_cast<void**>(&raw));
    Owned<IQuillon2> quillon2(raw);
    if (!checks.Expect(raw != nullptr && static_cast<void*>(raw) == object.get(),
                       "IQuillon2 is the object's one pointer")) {
        return;
    }
    LONG eci = 0;
    Variant rows, columns;
    checks.Expect(raw->put_Eci(26) == S_OK && raw->get_Eci(&eci) == S_OK && eci == 26 &&
                      raw->GetActualRC(&rows, &columns) == S_OK && rows->iVal == 5,
                  "IQuillon2's vtable: Eci 26 read back, and its designator measured as a row");
    IQuillon3* raw3 = nullptr;
    object->QueryInterface(IID_IQuillon3, reinterpret_cast<void**>(&raw3));
    Owned<IQuillon3> quillon3(raw3);
    if (!checks.Expect(raw3 != nullptr && static_cast<void*>(raw3) == object.get(),
                       "IQuillon3 is the object's one pointer")) {
        return;
    }
    LONG symbology = 0, micro_rows = 0;
    checks.Expect(raw3->put_Symbology(1) == S_OK && raw3->get_Symbology(&symbology) == S_OK &&
                      symbology == 1 && raw3->put_MicroRows(8) == S_OK &&
                      raw3->put_MicroRows(9) == S_OK && raw3->get_MicroRows(&micro_rows) == S_OK &&
                      micro_rows == 8 && raw3->get_Eci(&eci) == S_OK && eci == 26,
                  "IQuillon3's vtable: Symbology 1 and MicroRows 8 read back, 9 ignored, and "
                  "its base's Eci");

    ITypeInfo* view = nullptr;
    object->GetTypeInfo(0, 0, &view);
    if (!checks.Expect(view != nullptr, "the object's type information")) return;
    view->AddRef();
    if (Described(view).typekind == TKIND_DISPATCH) {  // the dispatch view of a dual interface
        ITypeInfo* dispatch = view;
        view = Implemented(dispatch, static_cast<UINT>(-1));
        dispatch->Release();
    }
    const struct {
        const IID* iid;
        int members;
        const char* name;
    } chain[] = {{&IID_IQuillon3, 6, "IQuillon3"},
                 {&IID_IQuillon2, 12, "IQuillon2"},
                 {&IID_IQuillon, 22, "IQuillon"}};
    for (const auto& expected : chain) {
        if (!checks.Expect(view != nullptr, std::string(expected.name) + "'s vtable view")) return;
        ITypeInfo* base = Implemented(view, 0);
        const TYPEATTR own = Described(view);
        checks.Expect(own.guid == *expected.iid && own.cFuncs == expected.members,
                      std::string(expected.name) + " has its own " +
                          std::to_string(expected.members) + " members, not " +
                          std::to_string(own.cFuncs));
        view = base;
    }
    if (view != nullptr) view->Release();
}

void PropertiesByName(Checks& checks) {
    Owned<IDispatch> object(Create(checks, kQuillonProgId));
    if (object.get() == nullptr) return;
    Variant mode, tilde;
    Get(object.get(), L"Mode", &mode);
    Get(object.get(), L"HandleTilde", &tilde);
    checks.Expect(mode->vt == VT_I2 && mode->iVal == 0, "Mode is 0 to begin with");
    checks.Expect(tilde->vt == VT_BOOL && tilde->boolVal == VARIANT_FALSE,
                  "HandleTilde is False to begin with");

    const char* settings[][2] = {
        {"Data", "Quillon"},        {"Mode", "2"},          {"ErrorCorrectionLevel", "3"},
        {"Columns", "4"},           {"Rows", "5"},          {"TruncateSymbol", "True"},
        {"Y2XRatio", "2.5"},        {"Width", "400"},       {"Height", "300"},
        {"NarrowBarWidth", "0.05"}, {"BackColor", "65535"}, {"BarColor", "&H800000"},
        {"Orientation", "1"},       {"BorderStyle", "2"},   {"HandleTilde", "-1"},
    };
    for (const auto& [name, value] : settings) {
        const CallResult put = Put(object.get(), Widen(name).c_str(), Widen(value));
        checks.Expect(put.hr == S_OK, std::string(name) + "=" + value + " gave " + Hex(put.hr));
    }
    Variant mode_after, tilde_after;
    Get(object.get(), L"mode", &mode_after);  // names ignore case
    Get(object.get(), L"HANDLETILDE", &tilde_after);
    checks.Expect(mode_after->vt == VT_I2 && mode_after->iVal == 2, "Mode reads back 2");
    checks.Expect(tilde_after->vt == VT_BOOL && tilde_after->boolVal == VARIANT_TRUE,
                  "HandleTilde reads back True");

    // The platform converts before the put is called: these never reach the component.
    checks.Expect(Put(object.get(), L"Width", L"40000").hr == DISP_E_OVERFLOW,
                  "Width=40000 overflows a 16-bit integer");
    checks.Expect(Put(object.get(), L"Width", L"abc").hr == DISP_E_TYPEMISMATCH,
                  "Width=abc is a type mismatch");
    checks.Expect(Put(object.get(), L"Colour", L"1").hr == DISP_E_UNKNOWNNAME,
                  "an unknown property is an unknown name");
    Variant ignored;
    checks.Expect(Get(object.get(), L"Width", &ignored).hr != S_OK,
                  "Width cannot be read: it has no property get");
}

void MeasuringAndErrors(Checks& checks) {
    Owned<IDispatch> object(Create(checks, kQuillonProgId));
    if (object.get() == nullptr) return;
    // The defaults measure as the Linux build measures them (its identity table's first row).
    Variant rows, columns, width, height;
    VARIANT refs[] = {RefTo(&rows), RefTo(&columns), RefTo(&width), RefTo(&height)};
    const CallResult rc =
        Invoke(object.get(), L"GetActualRC", DISPATCH_METHOD, {&refs[0], &refs[1]}, nullptr);
    const CallResult size =
        Invoke(object.get(), L"GetActualSize", DISPATCH_METHOD, {&refs[2], &refs[3]}, nullptr);
    checks.Expect(rc.hr == S_OK && rows->lVal == 4 && columns->lVal == 3,
                  "GetActualRC fills the caller's variables: 4 rows, 3 columns");
    checks.Expect(size.hr == S_OK && width->lVal == 363 && height->lVal == 36,
                  "GetActualSize fills the caller's variables: 363 x 36");

    // A byte that text compaction cannot hold turns Mode 1 into 2 when the data is encoded.
    Put(object.get(), L"Mode", L"1");
    Put(object.get(), L"Data", L"caf\u00E9");
    Picture(object.get());
    Variant mode;
    Get(object.get(), L"Mode", &mode);
    checks.Expect(mode->iVal == 2, "encoding left Mode 2 for data with a byte above 127");

    // The component's own errors reach the caller with their description and source.
    const CallResult too_long = Put(object.get(), L"Data", std::wstring(5000, L'x'));
    checks.Expect(too_long.hr == DISP_E_EXCEPTION && too_long.scode == E_INVALIDARG &&
                      too_long.source == kQuillonProgId &&
                      too_long.description.find(L"4999") != std::wstring::npos,
                  "5000 bytes of Data: E_INVALIDARG from TarvexQuillon.Quillon, saying 4999 (" +
                      Narrow(too_long.description) + ")");
    Put(object.get(), L"Data", std::wstring(4000, L'\u00FF'));
    Put(object.get(), L"ErrorCorrectionLevel", L"8");
    Variant picture;
    const CallResult fit = Get(object.get(), L"PNGImage", &picture);
    checks.Expect(fit.hr == DISP_E_EXCEPTION && fit.scode == QUILLON_E_DATA_DOES_NOT_FIT &&
                      fit.source == kQuillonProgId &&
                      fit.description.find(L"does not fit") != std::wstring::npos,
                  "data that does not fit: QUILLON_E_DATA_DOES_NOT_FIT with its description (" +
                      Narrow(fit.description) + ")");
    checks.Expect(picture->vt == VT_EMPTY, "and no picture");
}

HRESULT StartPage(IDispatch* object, IUnknown* context) {
    Variant argument;
    VARIANT* v = &argument;
    v->vt = VT_UNKNOWN;
    v->punkVal = context;
    context->AddRef();
    // Standard dispatch hands a member's failure back as an exception with its HRESULT.
    const CallResult call = Invoke(object, L"OnStartPage", DISPATCH_METHOD, {v}, nullptr);
    return call.hr == DISP_E_EXCEPTION ? call.scode : call.hr;
}

void PageHooks(Checks& checks) {
    PageContext context;
    {
        Owned<IDispatch> object(Create(checks, kQuillonProgId));
        if (object.get() == nullptr) return;
        checks.Expect(Invoke(object.get(), L"OnEndPage", DISPATCH_METHOD, {}, nullptr).hr == S_OK,
                      "OnEndPage before any OnStartPage is S_OK");
        checks.Expect(StartPage(object.get(), static_cast<IScriptingContext*>(&context)) == S_OK,
                      "OnStartPage with a scripting context");
        checks.Expect(context.asked == "RRSSA",
                      "the five page objects asked for in order, not " + context.asked);
        checks.Expect(context.Held() == PageContext::kObjects && context.references == 1,
                      "the five page objects are held, the context is not");
        checks.Expect(Invoke(object.get(), L"OnEndPage", DISPATCH_METHOD, {}, nullptr).hr == S_OK &&
                          context.Held() == 0,
                      "OnEndPage releases them");
        StartPage(object.get(), static_cast<IScriptingContext*>(&context));
    }
    checks.Expect(context.Held() == 0, "releasing the object releases the page objects it held");

    PageObject not_a_context;
    PageContext failing(3);
    Owned<IDispatch> object(Create(checks, kQuillonProgId));
    if (object.get() == nullptr) return;
    checks.Expect(
        StartPage(object.get(), &not_a_context) == E_NOINTERFACE && not_a_context.references == 1,
        "OnStartPage with no scripting context: E_NOINTERFACE, nothing held");
    checks.Expect(StartPage(object.get(), static_cast<IScriptingContext*>(&failing)) == E_FAIL &&
                      failing.Held() == 0 && failing.references == 1,
                  "a page object that cannot be had fails OnStartPage and nothing stays held");
}

void Converter(Checks& checks) {
    Owned<IDispatch> converter(Create(checks, kConverterProgId));
    if (converter.get() == nullptr) return;
    const struct {
        const wchar_t* text;
        const wchar_t* escapes;
        const char* what;
    } cases[] = {
        {L"", L"", "empty"},
        {L"AB", L"~d065~d066", "ASCII"},
        {L"\u00E9", L"~d195~d169", "Latin"},
        {L"\u03A9", L"~d206~d169", "Greek"},
        {L"\u0416", L"~d208~d150", "Cyrillic"},
        {L"\u05D0", L"~d215~d144", "Hebrew"},
        {L"\u20AC", L"~d226~d130~d172", "euro sign"},
        {L"\u65E5", L"~d230~d151~d165", "CJK"},
        {L"\U0001F600", L"~d240~d159~d152~d128", "a surrogate pair"},
    };
    for (const auto& c : cases) {
        Variant text(c.text), escaped;
        const CallResult call =
            Invoke(converter.get(), L"GetUTF8String", DISPATCH_METHOD, {&text}, &escaped);
        checks.Expect(
            call.hr == S_OK && escaped->vt == VT_BSTR &&
                std::wstring(escaped->bstrVal, SysStringLen(escaped->bstrVal)) == c.escapes,
            std::string("GetUTF8String of ") + c.what);
    }

    // The escapes carry the text's UTF-8 bytes into the symbol: the same picture as Data
    // holding those bytes as single-byte text (C3 A9, the UTF-8 form of e-acute).
    Variant text(L"\u00E9"), escaped;
    Invoke(converter.get(), L"GetUTF8String", DISPATCH_METHOD, {&text}, &escaped);
    Owned<IDispatch> escapes(Create(checks, kQuillonProgId));
    Owned<IDispatch> bytes(Create(checks, kQuillonProgId));
    if (escapes.get() == nullptr || bytes.get() == nullptr) return;
    Put(escapes.get(), L"HandleTilde", L"True");
    Put(escapes.get(), L"Data", escaped->bstrVal);
    Put(bytes.get(), L"Data", L"\u00C3\u00A9");
    const std::vector<unsigned char> picture = Picture(escapes.get());
    checks.Expect(!picture.empty() && picture == Picture(bytes.get()),
                  "converter output with HandleTilde draws the UTF-8 bytes");
}

void EntryPoints(Checks& checks) {
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    IDispatch* object = Create(checks, kQuillonProgId);
    const HMODULE library = GetModuleHandleW(L"TarvexQuillon.dll");
    const auto can_unload = reinterpret_cast<CanUnloadNow>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
    const auto get_class = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    if (!checks.Expect(object != nullptr && can_unload != nullptr && get_class != nullptr,
                       "TarvexQuillon.dll is loaded with its entry points")) {
        return;
    }
    checks.Expect(can_unload() == S_FALSE, "DllCanUnloadNow is S_FALSE while an object lives");
    void* factory = &factory;
    checks.Expect(
        get_class(IID_IQuillon, IID_IClassFactory, &factory) == CLASS_E_CLASSNOTAVAILABLE &&
            factory == nullptr,
        "DllGetClassObject of another class: CLASS_E_CLASSNOTAVAILABLE");
    object->Release();
    checks.Expect(can_unload() == S_OK, "DllCanUnloadNow is S_OK once none lives");
}

}  // namespace

int RunClientChecks() {
    Checks checks;
    CreationAndIdentity(checks);
    DerivedInterfaces(checks);
    PropertiesByName(checks);
    MeasuringAndErrors(checks);
    PageHooks(checks);
    Converter(checks);
    EntryPoints(checks);
    return checks.Finish();
}
