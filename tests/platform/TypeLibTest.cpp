// Type information served from a description: what a caller enumerating members sees, the
// library around it, and the process-wide registration table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/runtime/DispatchTable.h"
#include "platform/runtime/TypeLibObject.h"
#include "tests/platform/TestGadget.h"

namespace {

std::u16string Str(BSTR b) {
    return b == nullptr ? u"<null>" : std::u16string(b);
}

struct ReleaseLater {
    IUnknown* object;
    ~ReleaseLater() {
        if (object != nullptr) object->Release();
    }
};

ITypeLib* MakeLibrary(const TypeLibDescription* d = &test_gadget::kLibrary) {
    ITypeLib* lib = nullptr;
    EXPECT_EQ(CreateTypeLibFromDescription(d, &lib), S_OK);
    return lib;
}

// What the IDL of ITestGadget says, written out independently of the table.
struct ExpectedMember {
    const char16_t* name;
    DISPID id;
    INVOKEKIND kind;
    SHORT params;
};
const ExpectedMember kExpected[] = {
    {u"Size", 1, INVOKE_PROPERTYPUT, 1},
    {u"Size", 1, INVOKE_PROPERTYGET, 1},
    {u"Enabled", 2, INVOKE_PROPERTYPUT, 1},
    {u"Enabled", 2, INVOKE_PROPERTYGET, 1},
    {u"Label", 3, INVOKE_PROPERTYPUT, 1},
    {u"Label", 3, INVOKE_PROPERTYGET, 1},
    {u"Scale", 4, INVOKE_PROPERTYPUT, 1},
    {u"Ratio", 5, INVOKE_PROPERTYPUT, 1},
    {u"Color", 6, INVOKE_PROPERTYPUT, 1},
    {u"Resize", 7, INVOKE_FUNC, 2},
    {u"Measure", 8, INVOKE_FUNC, 2},
    {u"Describe", 9, INVOKE_FUNC, 2},
    {u"Fail", 10, INVOKE_FUNC, 0},
    {u"FailSilently", 11, INVOKE_FUNC, 0},
    {u"Attach", 12, INVOKE_FUNC, 1},
    {u"Echo", 13, INVOKE_FUNC, 2},
    {u"Increment", 0x60020000, INVOKE_FUNC, 1},
    {u"Greet", 15, INVOKE_FUNC, 3},
};

TEST(TypeInfo, EnumeratesTheMembersOfTheInterface) {
    ITypeLib* lib = MakeLibrary();
    ReleaseLater keep_lib{lib};
    TestGadget gadget([&] {
        ITypeInfo* info = nullptr;
        EXPECT_EQ(lib->GetTypeInfoOfGuid(IID_ITestGadget, &info), S_OK);
        return info;
    }());
    ITypeInfo* info = nullptr;
    ASSERT_EQ(gadget.GetTypeInfo(0, 0, &info), S_OK);  // as a client asks an object for it
    ReleaseLater keep_info{info};
    info->Release();  // the one GetTypeInfoOfGuid gave the gadget's constructor

    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, IID_ITestGadget);
    EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
    EXPECT_NE(attr->wTypeFlags & TYPEFLAG_FDUAL, 0);
    EXPECT_NE(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION, 0);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    ASSERT_EQ(attr->cFuncs, std::size(kExpected));
    const WORD count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);

    for (UINT i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        FUNCDESC* f = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
        EXPECT_EQ(f->memid, kExpected[i].id);
        EXPECT_EQ(f->invkind, kExpected[i].kind);
        EXPECT_EQ(f->cParams, kExpected[i].params);
        EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT);
        // Slot 7 + i, after IUnknown's three and IDispatch's four.
        EXPECT_EQ(f->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
        BSTR name = nullptr;
        UINT got = 0;
        ASSERT_EQ(info->GetNames(f->memid, &name, 1, &got), S_OK);
        EXPECT_EQ(got, 1u);
        EXPECT_EQ(Str(name), kExpected[i].name);
        SysFreeString(name);
        info->ReleaseFuncDesc(f);
    }
    FUNCDESC* beyond = nullptr;
    EXPECT_EQ(info->GetFuncDesc(count, &beyond), TYPE_E_ELEMENTNOTFOUND);
}

TEST(TypeInfo, DescribesParameterTypesAndDirectionsAsTheIdlDoes) {
    ITypeLib* lib = MakeLibrary();
    ReleaseLater keep_lib{lib};
    ITypeInfo* info = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_ITestGadget, &info), S_OK);
    ReleaseLater keep_info{info};

    FUNCDESC* f = nullptr;
    // get_Enabled([out, retval] VARIANT_BOOL* pVal)
    ASSERT_EQ(info->GetFuncDesc(3, &f), S_OK);
    EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_PTR);
    EXPECT_EQ(f->lprgelemdescParam[0].tdesc.lptdesc->vt, VT_BOOL);
    EXPECT_EQ(f->lprgelemdescParam[0].paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
    info->ReleaseFuncDesc(f);
    // put_Label([in] BSTR), unnamed
    ASSERT_EQ(info->GetFuncDesc(4, &f), S_OK);
    EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
    EXPECT_EQ(f->lprgelemdescParam[0].paramdesc.wParamFlags, PARAMFLAG_FIN);
    info->ReleaseFuncDesc(f);
    // Resize([in] short Width, [in] long Height)
    ASSERT_EQ(info->GetFuncDesc(9, &f), S_OK);
    EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_I2);
    EXPECT_EQ(f->lprgelemdescParam[1].tdesc.vt, VT_I4);
    info->ReleaseFuncDesc(f);
    // Measure(VARIANT* Width, VARIANT* Height): pointers without a direction
    ASSERT_EQ(info->GetFuncDesc(10, &f), S_OK);
    EXPECT_EQ(f->lprgelemdescParam[1].tdesc.vt, VT_PTR);
    EXPECT_EQ(f->lprgelemdescParam[1].tdesc.lptdesc->vt, VT_VARIANT);
    EXPECT_EQ(f->lprgelemdescParam[1].paramdesc.wParamFlags, PARAMFLAG_NONE);
    info->ReleaseFuncDesc(f);
    // Attach([in] IUnknown* Object)
    ASSERT_EQ(info->GetFuncDesc(14, &f), S_OK);
    EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_UNKNOWN);
    info->ReleaseFuncDesc(f);
    // Greet([in] BSTR, [in, optional] VARIANT, [out, retval] BSTR*)
    ASSERT_EQ(info->GetFuncDesc(17, &f), S_OK);
    EXPECT_EQ(f->cParamsOpt, 1);
    EXPECT_EQ(f->lprgelemdescParam[1].tdesc.vt, VT_VARIANT);
    EXPECT_EQ(f->lprgelemdescParam[1].paramdesc.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOPT);
    EXPECT_EQ(f->lprgelemdescParam[2].tdesc.lptdesc->vt, VT_BSTR);
    info->ReleaseFuncDesc(f);
}

TEST(TypeInfo, NamesAndDocumentation) {
    ITypeLib* lib = MakeLibrary();
    ReleaseLater keep_lib{lib};
    ITypeInfo* info = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_ITestGadget, &info), S_OK);
    ReleaseLater keep_info{info};

    BSTR names[4] = {};
    UINT count = 0;
    ASSERT_EQ(info->GetNames(7, names, 4, &count), S_OK);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(Str(names[0]), u"Resize");
    EXPECT_EQ(Str(names[1]), u"Width");
    EXPECT_EQ(Str(names[2]), u"Height");
    for (UINT i = 0; i < count; ++i) SysFreeString(names[i]);
    ASSERT_EQ(info->GetNames(7, names, 2, &count), S_OK);  // as many as there is room for
    EXPECT_EQ(count, 2u);
    for (UINT i = 0; i < count; ++i) SysFreeString(names[i]);
    EXPECT_EQ(info->GetNames(77, names, 4, &count), TYPE_E_ELEMENTNOTFOUND);

    BSTR name = nullptr, doc = nullptr;
    ASSERT_EQ(info->GetDocumentation(7, &name, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(Str(name), u"Resize");
    EXPECT_EQ(Str(doc), u"method Resize");
    SysFreeString(name);
    SysFreeString(doc);
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(Str(name), u"ITestGadget");
    EXPECT_EQ(Str(doc), u"ITestGadget Interface");
    SysFreeString(name);
    SysFreeString(doc);
    ASSERT_EQ(info->GetDocumentation(12, &name, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(doc, nullptr);  // a member without help string
    SysFreeString(name);

    LPOLESTR query[] = {const_cast<LPOLESTR>(u"GREET"), const_cast<LPOLESTR>(u"greeting")};
    MEMBERID ids[2] = {};
    ASSERT_EQ(info->GetIDsOfNames(query, 2, ids), S_OK);
    EXPECT_EQ(ids[0], 15);
    EXPECT_EQ(ids[1], 1);
}

TEST(TypeLib, DescribesTheLibraryAndItsClass) {
    ITypeLib* lib = MakeLibrary();
    ReleaseLater keep_lib{lib};
    EXPECT_EQ(lib->GetTypeInfoCount(), 2u);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, LIBID_TestGadgetLib);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0u);
    EXPECT_EQ(attr->syskind, SYS_WIN32);
    lib->ReleaseTLibAttr(attr);

    BSTR name = nullptr, doc = nullptr;
    ASSERT_EQ(lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(Str(name), u"TestGadgetLib");
    EXPECT_EQ(Str(doc), u"Test Gadget Library");
    SysFreeString(name);
    SysFreeString(doc);
    ASSERT_EQ(lib->GetDocumentation(1, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(Str(name), u"TestGadget");
    SysFreeString(name);

    TYPEKIND kind = TKIND_MAX;
    ASSERT_EQ(lib->GetTypeInfoType(1, &kind), S_OK);
    EXPECT_EQ(kind, TKIND_COCLASS);

    // The class leads to its default interface.
    ITypeInfo* klass = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_TestGadget, &klass), S_OK);
    ReleaseLater keep_class{klass};
    TYPEATTR* class_attr = nullptr;
    ASSERT_EQ(klass->GetTypeAttr(&class_attr), S_OK);
    EXPECT_EQ(class_attr->typekind, TKIND_COCLASS);
    EXPECT_EQ(class_attr->cImplTypes, 1);
    EXPECT_NE(class_attr->wTypeFlags & TYPEFLAG_FCANCREATE, 0);
    klass->ReleaseTypeAttr(class_attr);
    INT flags = 0;
    ASSERT_EQ(klass->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE ref = 0;
    ASSERT_EQ(klass->GetRefTypeOfImplType(0, &ref), S_OK);
    ITypeInfo* interface = nullptr;
    ASSERT_EQ(klass->GetRefTypeInfo(ref, &interface), S_OK);
    ReleaseLater keep_interface{interface};
    TYPEATTR* interface_attr = nullptr;
    ASSERT_EQ(interface->GetTypeAttr(&interface_attr), S_OK);
    EXPECT_EQ(interface_attr->guid, IID_ITestGadget);
    interface->ReleaseTypeAttr(interface_attr);

    // A dual interface's vtable partner is itself here.
    ASSERT_EQ(interface->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
    ITypeInfo* partner = nullptr;
    ASSERT_EQ(interface->GetRefTypeInfo(ref, &partner), S_OK);
    EXPECT_EQ(partner, interface);
    partner->Release();

    ITypeLib* containing = nullptr;
    UINT index = 99;
    ASSERT_EQ(interface->GetContainingTypeLib(&containing, &index), S_OK);
    EXPECT_EQ(containing, lib);
    EXPECT_EQ(index, 0u);
    containing->Release();

    ITypeInfo* none = nullptr;
    EXPECT_EQ(lib->GetTypeInfoOfGuid(IID_IDispatch, &none), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(lib->GetTypeInfo(2, &none), TYPE_E_ELEMENTNOTFOUND);
}

// Version 1.1 of the gadget's library, where ITestGadget2 derives from ITestGadget: described as
// a compiled library describes a derived interface, and called as scripts call it.
TEST(TypeInfo, ADerivedInterfaceNamesItsBaseAndReachesItsMembers) {
    ITypeLib* lib = MakeLibrary(&test_gadget::kLibrary2);
    ReleaseLater keep_lib{lib};
    ITypeInfo* info = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_ITestGadget2, &info), S_OK);
    TestGadget gadget(info);
    info->Release();

    // Its own two members, in the slots after its base's eighteen.
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->cFuncs, 2);
    EXPECT_EQ(attr->cImplTypes, 1);
    EXPECT_EQ(attr->cbSizeVft, (7 + 18 + 2) * sizeof(void*));
    EXPECT_EQ(attr->wMinorVerNum, 1);
    info->ReleaseTypeAttr(attr);
    FUNCDESC* f = nullptr;
    ASSERT_EQ(info->GetFuncDesc(1, &f), S_OK);
    EXPECT_EQ(f->memid, 16);
    EXPECT_EQ(f->invkind, INVOKE_PROPERTYGET);
    EXPECT_EQ(f->oVft, static_cast<SHORT>((7 + 18 + 1) * sizeof(void*)));
    info->ReleaseFuncDesc(f);

    // Implemented type 0 is the base, without flags; there is no other.
    INT flags = -1;
    ASSERT_EQ(info->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, 0);
    HREFTYPE ref = 0;
    EXPECT_EQ(info->GetRefTypeOfImplType(1, &ref), TYPE_E_ELEMENTNOTFOUND);
    ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
    ITypeInfo* base = nullptr;
    ASSERT_EQ(info->GetRefTypeInfo(ref, &base), S_OK);
    ReleaseLater keep_base{base};
    ASSERT_EQ(base->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, IID_ITestGadget);
    EXPECT_EQ(attr->cFuncs, 18);
    EXPECT_EQ(attr->cImplTypes, 0);  // IDispatch is not described
    base->ReleaseTypeAttr(attr);

    // The base's members by name, DISPID and call, through the derived interface.
    BSTR names[3] = {};
    UINT count = 0;
    ASSERT_EQ(info->GetNames(7, names, 3, &count), S_OK);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(Str(names[0]), u"Resize");
    EXPECT_EQ(Str(names[2]), u"Height");
    for (BSTR name : names) SysFreeString(name);
    BSTR doc = nullptr;
    ASSERT_EQ(info->GetDocumentation(7, nullptr, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(Str(doc), u"method Resize");
    SysFreeString(doc);
    const struct {
        const char16_t* name;
        DISPID id;
    } by_name[] = {{u"depth", 16}, {u"Resize", 7}, {u"Increment", 0x60020000}};
    for (const auto& c : by_name) {
        LPOLESTR query[] = {const_cast<LPOLESTR>(c.name)};
        DISPID id = 0;
        EXPECT_EQ(gadget.GetIDsOfNames(IID_NULL, query, 1, 0, &id), S_OK);
        EXPECT_EQ(id, c.id);
    }
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(u"12");
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &put, 1, 1};
    EXPECT_EQ(
        gadget.Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(gadget.size, 12);  // ITestGadget's put_Size, converted to a short
    EXPECT_EQ(
        gadget.Invoke(16, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(gadget.depth, 12);
    VariantClear(&value);

    // The base itself knows nothing of the derived interface's members.
    LPOLESTR depth[] = {const_cast<LPOLESTR>(u"Depth")};
    DISPID id = 0;
    EXPECT_EQ(base->GetIDsOfNames(depth, 1, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(base->GetNames(16, names, 1, &count), TYPE_E_ELEMENTNOTFOUND);
}

TEST(TypeLib, OutOfMemoryIsReportedNotCrashedOn) {
    ITypeLib* lib = MakeLibrary();
    ReleaseLater keep_lib{lib};
    ITypeInfo* info = nullptr;
    ASSERT_EQ(lib->GetTypeInfo(0, &info), S_OK);
    ReleaseLater keep_info{info};
    FUNCDESC* f = nullptr;
    PlatformFailNthAllocation(1);
    EXPECT_EQ(info->GetFuncDesc(0, &f), E_OUTOFMEMORY);
    EXPECT_EQ(f, nullptr);
    TYPEATTR* attr = nullptr;
    PlatformFailNthAllocation(1);
    EXPECT_EQ(info->GetTypeAttr(&attr), E_OUTOFMEMORY);
    BSTR names[3] = {};
    UINT count = 7;
    PlatformFailNthAllocation(2);  // the member's name is made, the first parameter's is not
    EXPECT_EQ(info->GetNames(7, names, 3, &count), E_OUTOFMEMORY);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(names[0], nullptr);
    PlatformFailNthAllocation(0);
}

// Interfaces for malformed descriptions.
constexpr MemberDescription kClashingMembers[] = {
    dispatch::PropertyPut<&ITestGadget::put_Size>(u"Size", 1),
    dispatch::PropertyPut<&ITestGadget::put_Color>(u"Color", 1),  // same DISPID and kind
};
constexpr InterfaceDescription kClashing{u"IClash", IID_ITestGadget, 0, nullptr, kClashingMembers};
constexpr const InterfaceDescription* kClashingList[] = {&kClashing};
constexpr TypeLibDescription kClashingLibrary{u"ClashLib", LIBID_TestGadgetLib, 1, 0, 0, SYS_WIN32,
                                              nullptr,     kClashingList,       {}};
constexpr ClassDescription kStrayClass[] = {
    {u"Stray", CLSID_TestGadget, TYPEFLAG_FCANCREATE, nullptr, &kClashing}};
constexpr TypeLibDescription kStrayLibrary{
    u"StrayLib", LIBID_TestGadgetLib,      1,          0, 0, SYS_WIN32,
    nullptr,     test_gadget::kInterfaces, kStrayClass};

// A derived interface whose base is missing from its library or listed after it, and one that
// reuses a DISPID of its base.
constexpr const InterfaceDescription* kOrphanList[] = {&test_gadget::kInterface2};
constexpr const InterfaceDescription* kBaseAfterList[] = {&test_gadget::kInterface2,
                                                          &test_gadget::kInterface};
constexpr MemberDescription kShadowingMembers[] = {
    dispatch::PropertyPut<&ITestGadget2::put_Depth>(u"Depth", 1),  // put_Size's DISPID
};
constexpr InterfaceDescription kShadowing{u"IShadow", IID_ITestGadget2,  0,
                                          nullptr,    kShadowingMembers, &test_gadget::kInterface};
constexpr const InterfaceDescription* kShadowingList[] = {&test_gadget::kInterface, &kShadowing};

TEST(TypeLib, MalformedDescriptionsAreRefused) {
    ITypeLib* lib = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(CreateTypeLibFromDescription(&kClashingLibrary, &lib), E_INVALIDARG);
    EXPECT_EQ(lib, nullptr);
    EXPECT_EQ(CreateTypeLibFromDescription(&kStrayLibrary, &lib), E_INVALIDARG);
    for (const auto list : {std::span<const InterfaceDescription* const>(kOrphanList),
                            std::span<const InterfaceDescription* const>(kBaseAfterList),
                            std::span<const InterfaceDescription* const>(kShadowingList)}) {
        TypeLibDescription d = test_gadget::kLibrary;
        d.interfaces = list;
        d.classes = {};
        EXPECT_EQ(CreateTypeLibFromDescription(&d, &lib), E_INVALIDARG);
    }
    EXPECT_EQ(CreateTypeLibFromDescription(nullptr, &lib), E_INVALIDARG);
    EXPECT_EQ(CreateTypeLibFromDescription(&test_gadget::kLibrary, nullptr), E_POINTER);
}

// The registration table. Each test uses its own LIBID so that the tests stay independent.
GUID TestLibid(BYTE n) {
    GUID g = LIBID_TestGadgetLib;
    g.Data4[7] = n;
    return g;
}

// A library like the gadget's under another identity, version and locale.
struct VariantLibrary {
    TypeLibDescription description;
    explicit VariantLibrary(GUID libid, WORD major, WORD minor, LCID lcid)
        : description(test_gadget::kLibrary) {
        description.libid = libid;
        description.majorVersion = major;
        description.minorVersion = minor;
        description.lcid = lcid;
    }
    ITypeLib* Make() { return MakeLibrary(&description); }
};

TEST(TypeLibRegistration, RegisteredLibrariesAreFoundUntilUnregistered) {
    const GUID libid = TestLibid(1);
    ITypeLib* found = nullptr;
    EXPECT_EQ(LoadRegTypeLib(libid, 1, 0, 0, &found), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(found, nullptr);

    VariantLibrary v(libid, 1, 0, 0);
    ITypeLib* lib = v.Make();
    ASSERT_EQ(RegisterTypeLib(lib, u"/opt/quillon/libGadget.so", nullptr), S_OK);
    lib->Release();  // the table keeps its own reference

    ASSERT_EQ(LoadRegTypeLib(libid, 1, 0, 0, &found), S_OK);
    EXPECT_EQ(found, lib);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(found->GetTypeInfoOfGuid(IID_ITestGadget, &info), S_OK);
    info->Release();
    found->Release();

    EXPECT_EQ(LoadRegTypeLib(libid, 2, 0, 0, &found), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(LoadRegTypeLib(libid, 1, 1, 0, &found), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(UnRegisterTypeLib(libid, 1, 0, 0, SYS_WIN64), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(UnRegisterTypeLib(libid, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_EQ(LoadRegTypeLib(libid, 1, 0, 0, &found), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(UnRegisterTypeLib(libid, 1, 0, 0, SYS_WIN32), TYPE_E_LIBNOTREGISTERED);
}

TEST(TypeLibRegistration, VersionAndLocaleChooseAmongRegistrations) {
    const GUID libid = TestLibid(2);
    VariantLibrary v10(libid, 1, 0, 0), v12(libid, 1, 2, 0), v15(libid, 1, 5, 0);
    VariantLibrary v12_us(libid, 1, 2, 0x409), v12_en(libid, 1, 2, 0x009);
    std::vector<ITypeLib*> libs = {v10.Make(), v12.Make(), v15.Make(), v12_us.Make(),
                                   v12_en.Make()};
    for (ITypeLib* lib : libs) {
        ASSERT_EQ(RegisterTypeLib(lib, u"/opt/gadget.so", nullptr), S_OK);
        lib->Release();
    }
    auto load = [&](WORD major, WORD minor, LCID lcid) {
        ITypeLib* found = nullptr;
        EXPECT_EQ(LoadRegTypeLib(libid, major, minor, lcid, &found), S_OK);
        if (found != nullptr) found->Release();  // still held by the table
        return found;
    };
    EXPECT_EQ(load(1, 0, 0), libs[0]);      // the exact version
    EXPECT_EQ(load(1, 2, 0), libs[1]);      // the exact version, neutral locale
    EXPECT_EQ(load(1, 1, 0), libs[2]);      // no 1.1: the highest greater minor
    EXPECT_EQ(load(1, 2, 0x409), libs[3]);  // the exact locale first
    EXPECT_EQ(load(1, 2, 0x809), libs[4]);  // then its primary language
    EXPECT_EQ(load(1, 2, 0x407), libs[1]);  // then neutral
    ITypeLib* none = nullptr;
    EXPECT_EQ(LoadRegTypeLib(libid, 1, 6, 0, &none), TYPE_E_LIBNOTREGISTERED);

    for (auto [minor, lcid] : {std::pair<WORD, LCID>{0, 0}, {2, 0}, {5, 0}, {2, 0x409}, {2, 9}}) {
        EXPECT_EQ(UnRegisterTypeLib(libid, 1, minor, lcid, SYS_WIN32), S_OK);
    }
}

TEST(TypeLibRegistration, RegisteringAgainReplacesTheEntry) {
    const GUID libid = TestLibid(3);
    VariantLibrary v(libid, 1, 0, 0);
    ITypeLib* first = v.Make();
    ITypeLib* second = v.Make();
    ASSERT_EQ(RegisterTypeLib(first, u"/a.so", nullptr), S_OK);
    ASSERT_EQ(RegisterTypeLib(second, u"/b.so", nullptr), S_OK);
    ITypeLib* found = nullptr;
    ASSERT_EQ(LoadRegTypeLib(libid, 1, 0, 0, &found), S_OK);
    EXPECT_EQ(found, second);
    found->Release();
    EXPECT_EQ(UnRegisterTypeLib(libid, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_EQ(UnRegisterTypeLib(libid, 1, 0, 0, SYS_WIN32), TYPE_E_LIBNOTREGISTERED);
    // The table let go of both: these are the last references (ASan's leak check agrees).
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(second->Release(), 0u);
}

// A store that records what registration asks of it.
struct RecordingStore {
    static inline std::u16string written_path;
    static inline int erased = 0;
    static inline HRESULT write_result = S_OK;
    static inline ITypeLib* loadable = nullptr;

    static HRESULT Write(ITypeLib*, LPCOLESTR path, LPCOLESTR) {
        written_path = path;
        return write_result;
    }
    static HRESULT Erase(REFGUID, WORD, WORD, LCID, SYSKIND) {
        ++erased;
        return S_OK;
    }
    static HRESULT Load(REFGUID, WORD, WORD, LCID, ITypeLib** out) {
        if (loadable == nullptr) return TYPE_E_LIBNOTREGISTERED;
        loadable->AddRef();
        *out = loadable;
        return S_OK;
    }
    static constexpr TypeLibRegistryStore kStore{&Write, &Erase, &Load};
};

TEST(TypeLibRegistration, APersistentStoreSeesEveryRegistration) {
    SetTypeLibRegistryStore(&RecordingStore::kStore);
    const GUID libid = TestLibid(4);
    VariantLibrary v(libid, 1, 0, 0);
    ITypeLib* lib = v.Make();
    ReleaseLater keep{lib};

    ASSERT_EQ(RegisterTypeLib(lib, u"/opt/quillon/libGadget.so", nullptr), S_OK);
    EXPECT_EQ(RecordingStore::written_path, u"/opt/quillon/libGadget.so");
    EXPECT_EQ(UnRegisterTypeLib(libid, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_EQ(RecordingStore::erased, 1);

    // A library the process did not register itself comes from the store.
    RecordingStore::loadable = lib;
    ITypeLib* found = nullptr;
    ASSERT_EQ(LoadRegTypeLib(libid, 1, 0, 0, &found), S_OK);
    EXPECT_EQ(found, lib);
    found->Release();
    RecordingStore::loadable = nullptr;

    // A store that cannot write makes the registration fail as a whole.
    RecordingStore::write_result = REGDB_E_WRITEREGDB;
    EXPECT_EQ(RegisterTypeLib(lib, u"/x.so", nullptr), REGDB_E_WRITEREGDB);
    EXPECT_EQ(LoadRegTypeLib(libid, 1, 0, 0, &found), TYPE_E_LIBNOTREGISTERED);
    RecordingStore::write_result = S_OK;
    SetTypeLibRegistryStore(nullptr);
}

TEST(TypeLibRegistration, ARevokedDescriptionCallsNoMemberAndIsForgotten) {
    const GUID libid = TestLibid(5);
    VariantLibrary v(libid, 1, 0, 0);
    ITypeLib* lib = v.Make();
    ReleaseLater keep{lib};
    ASSERT_EQ(RegisterTypeLib(lib, u"/opt/gadget.so", nullptr), S_OK);
    ITypeInfo* info = nullptr;
    ASSERT_EQ(lib->GetTypeInfo(0, &info), S_OK);
    ReleaseLater keep_info{info};
    TestGadget gadget(info);

    RevokeTypeLibDescription(&v.description);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I2;
    value.iVal = 3;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &put, 1, 1};
    EXPECT_EQ(
        gadget.Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
        TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(gadget.calls, 0);
    EXPECT_EQ(lib->GetTypeInfoCount(), 0u);
    // The process forgets the library; its registration stays in the registry, whose module
    // (here one that does not exist) is what a later load would have to go back to.
    ITypeLib* found = nullptr;
    EXPECT_EQ(LoadRegTypeLib(libid, 1, 0, 0, &found), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(UnRegisterTypeLib(libid, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_EQ(LoadRegTypeLib(libid, 1, 0, 0, &found), TYPE_E_LIBNOTREGISTERED);

    // Libraries made from other descriptions are untouched.
    ITypeLib* other = MakeLibrary();
    EXPECT_EQ(other->GetTypeInfoCount(), 2u);
    other->Release();
}

TEST(DispatchTable, DeducesTypesAndDirectionsFromTheMemberFunctions) {
    using test_gadget::kMembers;
    EXPECT_EQ(kMembers[0].params[0].type, VT_I2);  // put_Size(short)
    EXPECT_EQ(kMembers[0].params[0].flags, PARAMFLAG_FIN);
    EXPECT_EQ(kMembers[4].params[0].type, VT_BSTR);  // put_Label(BSTR), no list given
    EXPECT_EQ(kMembers[4].params[0].name, nullptr);
    EXPECT_EQ(kMembers[5].params[0].type, VT_BSTR | VT_BYREF);  // get_Label(BSTR*)
    EXPECT_EQ(kMembers[5].params[0].flags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
    EXPECT_EQ(kMembers[6].params[0].type, VT_R8);
    EXPECT_EQ(kMembers[7].params[0].type, VT_R4);
    EXPECT_EQ(kMembers[8].params[0].type, VT_I4);
    EXPECT_EQ(kMembers[2].params[0].type, VT_BOOL);             // said so in the table
    EXPECT_EQ(kMembers[3].params[0].type, VT_BOOL | VT_BYREF);  // VT_BYREF added
    EXPECT_EQ(kMembers[10].params[0].type, VT_VARIANT | VT_BYREF);
    EXPECT_EQ(kMembers[10].params[0].flags, PARAMFLAG_NONE);
    EXPECT_EQ(kMembers[14].params[0].type, VT_UNKNOWN);
    EXPECT_EQ(kMembers[15].params[0].type, VT_VARIANT);
    EXPECT_EQ(kMembers[16].params[0].flags, PARAMFLAG_FOUT);
    EXPECT_EQ(kMembers[12].paramCount, 0);
    EXPECT_EQ(kMembers[17].paramCount, 3);
}

}  // namespace
