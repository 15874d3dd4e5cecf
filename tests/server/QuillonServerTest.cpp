// The barcode server through its real entry points, loaded by the class runtime.
#include <atomic>
#include <climits>
#include <thread>

#include "component/contract/IQuillon.h"
#include "tests/server/ServerHost.h"

namespace {

using QuillonServer = ServerHost;

std::u16string GuidText(const GUID& guid) {
    OLECHAR text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

// The registry as a list of lines, restricted to those of the keys that begin so.
std::string EntriesUnder(std::initializer_list<std::string> prefixes) {
    std::string kept;
    std::istringstream lines(DumpRegistry());
    for (std::string line; std::getline(lines, line);) {
        for (const std::string& prefix : prefixes) {
            if (line.rfind(prefix, 0) == 0) {
                kept += line + "\n";
                break;
            }
        }
    }
    return kept;
}

// The class's own entries.
std::string ServerEntries() {
    return EntriesUnder({"TarvexQuillon.Quillon", "CLSID\\{C328BB70-51A2-4538-B390-F8946A7379FF}"});
}

TEST_F(QuillonServer, RegistrationWritesExactlyTheClassEntries) {
    const std::string clsid = "CLSID\\{C328BB70-51A2-4538-B390-F8946A7379FF}";
    char library[PATH_MAX];
    ASSERT_NE(realpath(QUILLON_SERVER_PATH, library), nullptr);
    const std::string expected =
        clsid + "\n" + clsid + " @=Quillon Class\n" + clsid + "\\InprocServer32\n" + clsid +
        "\\InprocServer32 @=" + library + "\n" + clsid +
        "\\InprocServer32 ThreadingModel=Apartment\n" + clsid + "\\ProgID\n" + clsid +
        "\\ProgID @=TarvexQuillon.Quillon.1\n" + clsid + "\\Programmable\n" + clsid +
        "\\TypeLib\n" + clsid + "\\TypeLib @={82252240-6716-43F7-8E8D-8D4A667E3C46}\n" + clsid +
        "\\VersionIndependentProgID\n" + clsid +
        "\\VersionIndependentProgID @=TarvexQuillon.Quillon\n" +
        "TarvexQuillon.Quillon\nTarvexQuillon.Quillon @=Quillon Class\n"
        "TarvexQuillon.Quillon\\CLSID\n"
        "TarvexQuillon.Quillon\\CLSID @={C328BB70-51A2-4538-B390-F8946A7379FF}\n"
        "TarvexQuillon.Quillon\\CurVer\nTarvexQuillon.Quillon\\CurVer @=TarvexQuillon.Quillon.1\n"
        "TarvexQuillon.Quillon.1\nTarvexQuillon.Quillon.1 @=Quillon Class\n"
        "TarvexQuillon.Quillon.1\\CLSID\n"
        "TarvexQuillon.Quillon.1\\CLSID @={C328BB70-51A2-4538-B390-F8946A7379FF}\n";
    const std::string first = ServerEntries();
    EXPECT_EQ(first, expected);

    const std::string everything = DumpRegistry();
    ASSERT_EQ(RunRegsvr(QUILLON_SERVER_PATH), 0);
    EXPECT_EQ(DumpRegistry(), everything);  // registering again changes nothing

    ASSERT_EQ(RunRegsvr(std::string("-u ") + QUILLON_SERVER_PATH), 0);
    EXPECT_EQ(ServerEntries(), "");
    EXPECT_TRUE(KeyExists(u"CLSID"));
    EXPECT_FALSE(KeyExists((u"TypeLib\\" + GuidText(LIBID_TarvexQuillonLib)).c_str()));
    EXPECT_FALSE(KeyExists((u"Interface\\" + GuidText(IID_IQuillon)).c_str()));
    EXPECT_FALSE(KeyExists((u"Interface\\" + GuidText(IID_IQuillon2)).c_str()));
    EXPECT_FALSE(KeyExists((u"Interface\\" + GuidText(IID_IQuillon3)).c_str()));
    EXPECT_TRUE(KeyExists(u"TarvexUnicode.Converter"));  // the other server's entries stay
}

// The type library at 1.2, and the three interfaces under Interface with the keys
// RegisterTypeLib writes on Windows for a library's dual interfaces
// (tests/windows/data/registered-quillon.txt holds Wine's): IQuillon3's key is new with 1.2,
// and the others name the library's new version.
TEST_F(QuillonServer, RegistrationRecordsTheTypeLibraryAndEveryInterface) {
    char library[PATH_MAX];
    ASSERT_NE(realpath(QUILLON_SERVER_PATH, library), nullptr);
    const std::string typelib = "TypeLib\\{82252240-6716-43F7-8E8D-8D4A667E3C46}";
    std::string expected;
    for (const auto& [iid, name] :
         {std::pair<std::string, std::string>{"{07CBEBAC-03FE-482A-ABF0-1EFB6EB80663}", "IQuillon"},
          {"{2AC0B6BD-E814-45AC-AE2A-5353D7D5DC4C}", "IQuillon2"},
          {"{3319B2C5-E248-4D56-80C3-AF2A8F063D8C}", "IQuillon3"}}) {
        const std::string key = "Interface\\" + iid;
        expected += key + "\n" + key + " @=" + name + "\n";
        for (const char* proxy : {"\\ProxyStubClsid", "\\ProxyStubClsid32"}) {
            expected +=
                key + proxy + "\n" + key + proxy + " @={00020424-0000-0000-C000-000000000046}\n";
        }
        expected += key + "\\TypeLib\n" + key +
                    "\\TypeLib @={82252240-6716-43F7-8E8D-8D4A667E3C46}\n" + key +
                    "\\TypeLib Version=1.2\n";
    }
    expected += typelib + "\n" + typelib + "\\1.2\n" + typelib +
                "\\1.2 @=Tarvex Quillon Component\n" + typelib + "\\1.2\\0\n" + typelib +
                "\\1.2\\0\\win32\n" + typelib + "\\1.2\\0\\win32 @=" + library + "\n" + typelib +
                "\\1.2\\FLAGS\n" + typelib + "\\1.2\\FLAGS @=0\n" + typelib + "\\1.2\\HELPDIR\n" +
                typelib + "\\1.2\\HELPDIR @=\n";
    EXPECT_EQ(EntriesUnder({"Interface\\{07CBEBAC-", "Interface\\{2AC0B6BD-",
                            "Interface\\{3319B2C5-", typelib}),
              expected);
}

TEST_F(QuillonServer, ClassObjectIsOnlyForItsOwnClass) {
    void* library = dlopen(QUILLON_SERVER_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr);
    using GetClassObject = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
    auto get = reinterpret_cast<GetClassObject>(dlsym(library, "DllGetClassObject"));
    ASSERT_NE(get, nullptr);
    void* factory = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(get(IID_IQuillon, IID_IClassFactory, &factory), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(factory, nullptr);
    EXPECT_EQ(get(CLSID_Quillon, IID_IClassFactory, nullptr), E_POINTER);
    ASSERT_EQ(get(CLSID_Quillon, IID_IClassFactory, &factory), S_OK);
    static_cast<IClassFactory*>(factory)->Release();
    dlclose(library);
}

TEST_F(QuillonServer, OneObjectAnswersFiveInterfacesWithOnePointer) {
    IDispatch* object = Create(u"TarvexQuillon.Quillon");
    ASSERT_NE(object, nullptr);
    for (const IID* iid :
         {&IID_IUnknown, &IID_IDispatch, &IID_IQuillon, &IID_IQuillon2, &IID_IQuillon3}) {
        void* as_interface = nullptr;
        ASSERT_EQ(object->QueryInterface(*iid, &as_interface), S_OK);
        EXPECT_EQ(as_interface, object);
        static_cast<IUnknown*>(as_interface)->Release();
    }
    void* as_other = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &as_other), E_NOINTERFACE);
    EXPECT_EQ(as_other, nullptr);
    object->Release();
}

// An outer object that counts the calls its inner object forwards to it.
class Outer final : public IUnknown {
public:
    ULONG references = 1;
    int queries = 0;
    IUnknown* inner = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        ++queries;
        if (riid == IID_IUnknown) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
};

TEST_F(QuillonServer, AggregationNeedsIUnknownAndForwardsToTheOuterObject) {
    Outer outer;
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(CLSID_Quillon, &outer, CLSCTX_INPROC_SERVER, IID_IDispatch, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);

    ASSERT_EQ(CoCreateInstance(CLSID_Quillon, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    void* inner_again = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IUnknown, &inner_again), S_OK);
    EXPECT_EQ(inner_again, outer.inner);  // the inner identity answers for itself
    outer.inner->Release();

    IQuillon* quillon = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IQuillon, reinterpret_cast<void**>(&quillon)), S_OK);
    EXPECT_EQ(outer.references, 2u);  // the reference went to the outer object
    void* identity = nullptr;
    const int queries = outer.queries;
    ASSERT_EQ(quillon->QueryInterface(IID_IUnknown, &identity), S_OK);
    EXPECT_EQ(identity, &outer);
    EXPECT_EQ(outer.queries, queries + 1);
    static_cast<IUnknown*>(identity)->Release();

    // The members behave as a plain object's.
    VARIANT rows, columns;
    VariantInit(&rows);
    VariantInit(&columns);
    EXPECT_EQ(quillon->GetActualRC(&rows, &columns), S_OK);
    EXPECT_EQ(rows.vt, VT_I2);
    EXPECT_EQ(rows.iVal, 4);
    EXPECT_EQ(columns.iVal, 3);
    quillon->Release();
    EXPECT_EQ(outer.references, 1u);

    // IQuillon2 too, its own members and its base's alike.
    IQuillon2* quillon2 = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IQuillon2, reinterpret_cast<void**>(&quillon2)),
              S_OK);
    EXPECT_EQ(outer.references, 2u);
    ASSERT_EQ(quillon2->QueryInterface(IID_IUnknown, &identity), S_OK);
    EXPECT_EQ(identity, &outer);
    static_cast<IUnknown*>(identity)->Release();
    LONG eci = 0;
    EXPECT_EQ(quillon2->put_Eci(26), S_OK);
    EXPECT_EQ(quillon2->get_Eci(&eci), S_OK);
    EXPECT_EQ(eci, 26);
    EXPECT_EQ(quillon2->GetActualRC(&rows, &columns), S_OK);
    EXPECT_EQ(rows.iVal, 5);  // the designator's two codewords took a row
    quillon2->Release();
    EXPECT_EQ(outer.references, 1u);
    EXPECT_EQ(outer.inner->Release(), 0u);
}

TEST_F(QuillonServer, CanUnloadOnlyWithoutObjectsAndLocks) {
    IDispatch* object = Create(u"TarvexQuillon.Quillon");
    EXPECT_EQ(CallEntryPoint(QUILLON_SERVER_PATH, "DllCanUnloadNow"), S_FALSE);
    object->Release();
    EXPECT_EQ(CallEntryPoint(QUILLON_SERVER_PATH, "DllCanUnloadNow"), S_OK);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_Quillon, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(CallEntryPoint(QUILLON_SERVER_PATH, "DllCanUnloadNow"),
              S_FALSE);  // held from outside
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(CallEntryPoint(QUILLON_SERVER_PATH, "DllCanUnloadNow"), S_FALSE);  // the lock
    ASSERT_EQ(CoGetClassObject(CLSID_Quillon, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    factory->LockServer(FALSE);
    factory->Release();
    EXPECT_EQ(CallEntryPoint(QUILLON_SERVER_PATH, "DllCanUnloadNow"), S_OK);
}

TEST_F(QuillonServer, DispatchConvertsArgumentsBeforeAnyMemberRuns) {
    IDispatch* object = Create(u"TarvexQuillon.Quillon");
    EXPECT_EQ(Put(object, u"mode", u"1").hr, S_OK);  // names in any case

    const Call overflow = Put(object, u"Mode", u"70000");
    EXPECT_EQ(overflow.hr, DISP_E_OVERFLOW);
    EXPECT_EQ(overflow.bad_argument, 0u);
    const Call width = Put(object, u"Width", u"40000");
    EXPECT_EQ(width.hr, DISP_E_OVERFLOW);
    EXPECT_EQ(Put(object, u"Columns", u"many").hr, DISP_E_TYPEMISMATCH);

    Value mode;
    ASSERT_EQ(Invoke(object, u"Mode", DISPATCH_PROPERTYGET, {}, &mode.v).hr, S_OK);
    EXPECT_EQ(mode.v.vt, VT_I2);
    EXPECT_EQ(mode.v.iVal, 1);  // the overflowing put never reached the component

    EXPECT_EQ(Put(object, u"HandleTilde", u"True").hr, S_OK);
    Value tilde;
    ASSERT_EQ(Invoke(object, u"HandleTilde", DISPATCH_PROPERTYGET, {}, &tilde.v).hr, S_OK);
    EXPECT_EQ(tilde.v.vt, VT_BOOL);
    EXPECT_EQ(tilde.v.boolVal, VARIANT_TRUE);
    object->Release();
}

// IQuillon2's and IQuillon3's properties by name, each read back as its declared type.
TEST_F(QuillonServer, TheSymbolOptionsAreSetAndReadByName) {
    IDispatch* object = Create(u"TarvexQuillon.Quillon");
    const struct {
        const char16_t* name;
        const char16_t* value;
        VARTYPE type;
        const char16_t* read;
    } cases[] = {
        {u"eci", u"26", VT_I4, u"26"},
        {u"OptimizeCompaction", u"True", VT_BOOL, u"-1"},
        {u"AutoErrorCorrection", u"-1", VT_BOOL, u"-1"},
        {u"MacroSegmentIndex", u"2", VT_I4, u"2"},
        {u"MacroSegmentCount", u"3", VT_I4, u"3"},
        {u"MacroFileId", u"017053", VT_BSTR, u"017053"},
        {u"Symbology", u"1", VT_I4, u"1"},
        {u"microcolumns", u"4", VT_I4, u"4"},
        {u"MicroRows", u"44", VT_I4, u"44"},
        {u"MicroRows", u"43", VT_I4, u"44"},  // no size has 43 rows: ignored
        {u"Symbology", u"2", VT_I4, u"1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Put(object, c.name, c.value).hr, S_OK);
        Value got, text;
        ASSERT_EQ(Invoke(object, c.name, DISPATCH_PROPERTYGET, {}, &got.v).hr, S_OK);
        EXPECT_EQ(got.v.vt, c.type);
        ASSERT_EQ(VariantChangeType(&text.v, &got.v, 0, VT_BSTR), S_OK);
        EXPECT_EQ(std::u16string(text.v.bstrVal), c.read);
    }
    const Call refused = Put(object, u"MacroFileId", u"9000");
    EXPECT_EQ(refused.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(refused.scode, E_INVALIDARG);
    EXPECT_EQ(refused.description,
              u"MacroFileId must be 3 to 30 decimal digits, in groups of three from 000 to 899");
    object->Release();
}

TEST_F(QuillonServer, AComponentErrorReachesTheScriptAsAnException) {
    IDispatch* object = Create(u"TarvexQuillon.Quillon");
    const Call call = Put(object, u"Data", std::u16string(5000, u'x'));
    EXPECT_EQ(call.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(call.scode, E_INVALIDARG);
    EXPECT_EQ(call.description, u"Data is longer than 4999 bytes");
    object->Release();
}

TEST_F(QuillonServer, MeasuringThroughDispatchFillsTheCallersVariants) {
    IDispatch* object = Create(u"TarvexQuillon.Quillon");
    Value rows(u"a string to be freed"), columns;
    VARIANT by_reference[2];
    for (int i = 0; i < 2; ++i) VariantInit(&by_reference[i]);
    by_reference[0].vt = by_reference[1].vt = VT_BYREF | VT_VARIANT;
    by_reference[0].pvarVal = &rows.v;
    by_reference[1].pvarVal = &columns.v;
    ASSERT_EQ(
        Invoke(object, u"GetActualRC", DISPATCH_METHOD, {by_reference[0], by_reference[1]}).hr,
        S_OK);
    EXPECT_EQ(rows.v.vt, VT_I2);
    EXPECT_EQ(rows.v.iVal, 4);
    EXPECT_EQ(columns.v.iVal, 3);
    object->Release();
}

// The object's type information is IQuillon3's, which leads to IQuillon2 and IQuillon as its
// bases and reaches their members, as a compiled library's does.
TEST_F(QuillonServer, TypeInformationDescribesIQuillon3AndItsBases) {
    IDispatch* object = Create(u"TarvexQuillon.Quillon");
    UINT count = 0;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* info = nullptr;
    ASSERT_EQ(object->GetTypeInfo(0, 0, &info), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, IID_IQuillon3);
    EXPECT_EQ(attributes->cFuncs, 6);  // three properties, each a get and a put
    EXPECT_EQ(attributes->cImplTypes, 1);
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 2);
    info->ReleaseTypeAttr(attributes);
    // Each base in turn, with its own members alone.
    ITypeInfo* derived = info;
    derived->AddRef();
    for (const auto& [iid, functions] : {std::pair{&IID_IQuillon2, 12}, {&IID_IQuillon, 22}}) {
        HREFTYPE reference = 0;
        ASSERT_EQ(derived->GetRefTypeOfImplType(0, &reference), S_OK);
        ITypeInfo* base = nullptr;
        ASSERT_EQ(derived->GetRefTypeInfo(reference, &base), S_OK);
        ASSERT_EQ(base->GetTypeAttr(&attributes), S_OK);
        EXPECT_EQ(attributes->guid, *iid);
        EXPECT_EQ(attributes->cFuncs, functions);
        base->ReleaseTypeAttr(attributes);
        derived->Release();
        derived = base;
    }
    derived->Release();

    const struct {
        DISPID dispid;
        const char16_t* name;
    } members[] = {{20, u"GetActualRC"}, {5, u"Data"},       {22, u"Eci"},
                   {27, u"MacroFileId"}, {28, u"Symbology"}, {29, u"MicroColumns"},
                   {30, u"MicroRows"}};
    for (const auto& m : members) {
        BSTR name = nullptr;
        UINT names = 0;
        ASSERT_EQ(info->GetNames(m.dispid, &name, 1, &names), S_OK);
        EXPECT_EQ(std::u16string(name), m.name);
        SysFreeString(name);
        std::u16string text = m.name;
        LPOLESTR lookup[] = {text.data()};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(object->GetIDsOfNames(IID_NULL, lookup, 1, 0, &id), S_OK);
        EXPECT_EQ(id, m.dispid);
    }
    info->Release();
    object->Release();
}

TEST_F(QuillonServer, WithoutItsTypeLibraryDispatchReportsTheLoadingError) {
    // Registered by another process: only the registry knows the library, and it is gone.
    ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT,
                             (u"TypeLib\\" + GuidText(LIBID_TarvexQuillonLib)).c_str()),
              ERROR_SUCCESS);
    IDispatch* object = Create(u"TarvexQuillon.Quillon");
    ASSERT_NE(object, nullptr);
    std::u16string width = u"Width";
    LPOLESTR names[] = {width.data()};
    DISPID id = 0;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), TYPE_E_LIBNOTREGISTERED);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(object->GetTypeInfo(0, 0, &info), TYPE_E_LIBNOTREGISTERED);
    object->Release();
}

// A page object that is not a scripting context.
class NotAContext final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

TEST_F(QuillonServer, PageHooksThroughTheServer) {
    IDispatch* object = Create(u"TarvexQuillon.Quillon");
    IQuillon* quillon = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IQuillon, reinterpret_cast<void**>(&quillon)), S_OK);
    NotAContext not_a_context;
    EXPECT_EQ(quillon->OnStartPage(&not_a_context), E_NOINTERFACE);
    EXPECT_EQ(quillon->OnEndPage(), S_OK);
    EXPECT_EQ(Invoke(object, u"OnEndPage", DISPATCH_METHOD).hr, S_OK);
    quillon->Release();
    object->Release();
}

TEST_F(QuillonServer, ThreadsWithTheirOwnObjectsShareTheServerSafely) {
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&failures, t] {
            if (CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) != S_OK) ++failures;
            for (int i = 0; i < 60; ++i) {
                IDispatch* object = Create(u"TarvexQuillon.Quillon");
                if (object == nullptr) {
                    ++failures;
                    continue;
                }
                const std::u16string data(static_cast<std::size_t>(1 + (t * 60 + i) % 90), u'q');
                Value rows, columns;
                VARIANT by_reference[2];
                for (VARIANT* target : {&rows.v, &columns.v}) {
                    VARIANT& v = by_reference[target == &rows.v ? 0 : 1];
                    VariantInit(&v);
                    v.vt = VT_BYREF | VT_VARIANT;
                    v.pvarVal = target;
                }
                if (Put(object, u"Data", data).hr != S_OK ||
                    Invoke(object, u"GetActualRC", DISPATCH_METHOD,
                           {by_reference[0], by_reference[1]})
                            .hr != S_OK ||
                    rows.v.iVal < 3) {
                    ++failures;
                }
                object->Release();
            }
            CoUninitialize();
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(CallEntryPoint(QUILLON_SERVER_PATH, "DllCanUnloadNow"), S_OK);
}

}  // namespace
