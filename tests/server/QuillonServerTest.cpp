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

// The registry as a list of lines, restricted to the keys this server writes.
std::string ServerEntries() {
    std::string kept;
    std::istringstream lines(DumpRegistry());
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("TarvexQuillon.Quillon", 0) == 0 ||
            line.rfind("CLSID\\{C328BB70-51A2-4538-B390-F8946A7379FF}", 0) == 0) {
            kept += line + "\n";
        }
    }
    return kept;
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
    EXPECT_TRUE(KeyExists(u"TarvexUnicode.Converter"));  // the other server's entries stay
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

TEST_F(QuillonServer, OneObjectAnswersThreeInterfacesWithOnePointer) {
    IDispatch* object = Create(u"TarvexQuillon.Quillon");
    ASSERT_NE(object, nullptr);
    void* as_unknown = nullptr;
    void* as_quillon = nullptr;
    void* as_other = reinterpret_cast<void*>(0x1);
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, &as_unknown), S_OK);
    ASSERT_EQ(object->QueryInterface(IID_IQuillon, &as_quillon), S_OK);
    EXPECT_EQ(as_unknown, object);
    EXPECT_EQ(as_quillon, object);
    EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &as_other), E_NOINTERFACE);
    EXPECT_EQ(as_other, nullptr);
    static_cast<IUnknown*>(as_unknown)->Release();
    static_cast<IUnknown*>(as_quillon)->Release();
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

TEST_F(QuillonServer, TypeInformationListsTheInterface) {
    IDispatch* object = Create(u"TarvexQuillon.Quillon");
    UINT count = 0;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* info = nullptr;
    ASSERT_EQ(object->GetTypeInfo(0, 0, &info), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, IID_IQuillon);
    EXPECT_EQ(attributes->cFuncs, 22);
    info->ReleaseTypeAttr(attributes);
    BSTR name = nullptr;
    UINT names = 0;
    ASSERT_EQ(info->GetNames(20, &name, 1, &names), S_OK);  // DISPID 20
    EXPECT_EQ(std::u16string(name), u"GetActualRC");
    SysFreeString(name);
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
