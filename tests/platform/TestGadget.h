// A small dual interface for the dispatch and type information tests, and one derived from it
// as a later version of a component adds one, described by the same kind of table a real
// component writes; and an object that implements both and records what reaches it.
#pragma once

#include <string>

#include "platform/Runtime.h"
#include "platform/runtime/DispatchTable.h"

// {6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8}
constexpr IID IID_ITestGadget = {
    0x6F1A2B3C, 0x4D5E, 0x4F60, {0x81, 0x72, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8}};
// {6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7E9}
constexpr CLSID CLSID_TestGadget = {
    0x6F1A2B3C, 0x4D5E, 0x4F60, {0x81, 0x72, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE9}};
// {6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7EA}
constexpr GUID LIBID_TestGadgetLib = {
    0x6F1A2B3C, 0x4D5E, 0x4F60, {0x81, 0x72, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xEA}};
// {6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7EB}
constexpr IID IID_ITestGadget2 = {
    0x6F1A2B3C, 0x4D5E, 0x4F60, {0x81, 0x72, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xEB}};

struct ITestGadget : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE put_Size(SHORT newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Size(SHORT* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Label(BSTR newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Label(BSTR* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Scale(DOUBLE newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Ratio(FLOAT newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Color(LONG newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE Resize(SHORT Width, LONG Height) = 0;
    virtual HRESULT STDMETHODCALLTYPE Measure(VARIANT* Width, VARIANT* Height) = 0;
    virtual HRESULT STDMETHODCALLTYPE Describe(BSTR Prefix, BSTR* Result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Fail() = 0;
    virtual HRESULT STDMETHODCALLTYPE FailSilently() = 0;
    virtual HRESULT STDMETHODCALLTYPE Attach(IUnknown* Object) = 0;
    virtual HRESULT STDMETHODCALLTYPE Echo(VARIANT Value, VARIANT* Result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Increment(SHORT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Greet(BSTR Name, VARIANT Greeting, BSTR* Result) = 0;
};

struct ITestGadget2 : ITestGadget {
    virtual HRESULT STDMETHODCALLTYPE put_Depth(LONG newVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Depth(LONG* pVal) = 0;
};

namespace test_gadget {

using namespace dispatch;

inline constexpr MemberDescription kMembers[] = {
    PropertyPut<&ITestGadget::put_Size>(u"Size", 1, u"property Size", {In(u"newVal")}),
    PropertyGet<&ITestGadget::get_Size>(u"Size", 1, u"property Size", {Retval(u"pVal")}),
    PropertyPut<&ITestGadget::put_Enabled>(u"Enabled", 2, {In(u"newVal", VT_BOOL)}),
    PropertyGet<&ITestGadget::get_Enabled>(u"Enabled", 2, {Retval(u"pVal", VT_BOOL)}),
    PropertyPut<&ITestGadget::put_Label>(u"Label", 3),
    PropertyGet<&ITestGadget::get_Label>(u"Label", 3),
    PropertyPut<&ITestGadget::put_Scale>(u"Scale", 4),
    PropertyPut<&ITestGadget::put_Ratio>(u"Ratio", 5),
    PropertyPut<&ITestGadget::put_Color>(u"Color", 6),
    Method<&ITestGadget::Resize>(u"Resize", 7, u"method Resize", {In(u"Width"), In(u"Height")}),
    Method<&ITestGadget::Measure>(u"Measure", 8, {Param(u"Width"), Param(u"Height")}),
    Method<&ITestGadget::Describe>(u"Describe", 9, {In(u"Prefix"), Retval(u"Result")}),
    Method<&ITestGadget::Fail>(u"Fail", 10),
    Method<&ITestGadget::FailSilently>(u"FailSilently", 11),
    Method<&ITestGadget::Attach>(u"Attach", 12, {In(u"Object")}),
    Method<&ITestGadget::Echo>(u"Echo", 13, {In(u"Value"), Retval(u"Result")}),
    Method<&ITestGadget::Increment>(u"Increment", 0x60020000, {Out(u"Value")}),
    Method<&ITestGadget::Greet>(u"Greet", 15,
                                {In(u"Name"), In(u"Greeting").Optional(), Retval(u"Result")}),
};

inline constexpr InterfaceDescription kInterface{u"ITestGadget", IID_ITestGadget,
                                                 TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION,
                                                 u"ITestGadget Interface", kMembers};
inline constexpr const InterfaceDescription* kInterfaces[] = {&kInterface};
inline constexpr ClassDescription kClasses[] = {
    {u"TestGadget", CLSID_TestGadget, TYPEFLAG_FCANCREATE, u"Test Gadget Class", &kInterface}};
inline constexpr TypeLibDescription kLibrary{
    u"TestGadgetLib", LIBID_TestGadgetLib,    1,           0,       0,
    SYS_WIN32,        u"Test Gadget Library", kInterfaces, kClasses};

// Version 1.1: ITestGadget2, derived from ITestGadget, is the class's default interface.
inline constexpr MemberDescription kMembers2[] = {
    PropertyPut<&ITestGadget2::put_Depth>(u"Depth", 16, u"property Depth"),
    PropertyGet<&ITestGadget2::get_Depth>(u"Depth", 16, u"property Depth"),
};
inline constexpr InterfaceDescription kInterface2{
    u"ITestGadget2",           IID_ITestGadget2, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION,
    u"ITestGadget2 Interface", kMembers2,        &kInterface};
inline constexpr const InterfaceDescription* kInterfaces2[] = {&kInterface, &kInterface2};
inline constexpr ClassDescription kClasses2[] = {
    {u"TestGadget", CLSID_TestGadget, TYPEFLAG_FCANCREATE, u"Test Gadget Class", &kInterface2}};
inline constexpr TypeLibDescription kLibrary2{
    u"TestGadgetLib",       LIBID_TestGadgetLib, 1,        1, 0, SYS_WIN32,
    u"Test Gadget Library", kInterfaces2,        kClasses2};

}  // namespace test_gadget

// The object: IDispatch answered by the standard dispatch over the described type
// information, the members recording what they receive.
class TestGadget final : public ITestGadget2 {
public:
    explicit TestGadget(ITypeInfo* info) : info_(info) { info_->AddRef(); }
    ~TestGadget() {
        info_->Release();
        SysFreeString(label);
        if (attached != nullptr) attached->Release();
    }
    TestGadget(const TestGadget&) = delete;
    TestGadget& operator=(const TestGadget&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ITestGadget ||
            riid == IID_ITestGadget2) {
            *ppv = static_cast<ITestGadget2*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** ppTInfo) override {
        if (index != 0) return DISP_E_BADINDEX;
        info_->AddRef();
        *ppTInfo = info_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        return DispGetIDsOfNames(info_, names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excep, UINT* argErr) override {
        // One pointer for either interface's type information: ITestGadget2 derives from it.
        return DispInvoke(static_cast<ITestGadget2*>(this), info_, id, flags, params, result, excep,
                          argErr);
    }

    HRESULT STDMETHODCALLTYPE put_Size(SHORT v) override { return Record(u"Size", size = v); }
    HRESULT STDMETHODCALLTYPE get_Size(SHORT* p) override {
        *p = size;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL v) override {
        return Record(u"Enabled", enabled = v);
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* p) override {
        *p = enabled;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Label(BSTR v) override {
        SysFreeString(label);
        label = SysAllocString(v);
        return Record(u"Label", 0);
    }
    HRESULT STDMETHODCALLTYPE get_Label(BSTR* p) override {
        *p = SysAllocString(label == nullptr ? u"" : label);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Scale(DOUBLE v) override {
        scale = v;
        return Record(u"Scale", 0);
    }
    HRESULT STDMETHODCALLTYPE put_Ratio(FLOAT v) override {
        ratio = v;
        return Record(u"Ratio", 0);
    }
    HRESULT STDMETHODCALLTYPE put_Color(LONG v) override {
        color = v;
        return Record(u"Color", 0);
    }
    HRESULT STDMETHODCALLTYPE Resize(SHORT w, LONG h) override {
        width = w;
        height = h;
        return Record(u"Resize", 0);
    }
    HRESULT STDMETHODCALLTYPE Measure(VARIANT* w, VARIANT* h) override {
        VariantClear(w);
        w->vt = VT_I4;
        w->lVal = 640;
        VariantClear(h);
        h->vt = VT_I4;
        h->lVal = 480;
        return Record(u"Measure", 0);
    }
    HRESULT STDMETHODCALLTYPE Describe(BSTR prefix, BSTR* result) override {
        std::u16string text = prefix == nullptr ? u"" : prefix;
        text += u"gadget";
        *result = SysAllocString(text.c_str());
        return Record(u"Describe", 0);
    }
    HRESULT STDMETHODCALLTYPE Fail() override {
        ICreateErrorInfo* create = nullptr;
        CreateErrorInfo(&create);
        create->SetDescription(const_cast<LPOLESTR>(u"The gadget is jammed"));
        create->SetSource(const_cast<LPOLESTR>(u"TestGadget.1"));
        IErrorInfo* info = nullptr;
        create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
        SetErrorInfo(0, info);
        info->Release();
        create->Release();
        Record(u"Fail", 0);
        return kFailure;
    }
    HRESULT STDMETHODCALLTYPE FailSilently() override {
        Record(u"FailSilently", 0);
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE Attach(IUnknown* object) override {
        if (attached != nullptr) attached->Release();
        attached = object;
        if (attached != nullptr) attached->AddRef();
        return Record(u"Attach", 0);
    }
    HRESULT STDMETHODCALLTYPE Echo(VARIANT value, VARIANT* result) override {
        Record(u"Echo", 0);
        return VariantCopy(result, &value);
    }
    HRESULT STDMETHODCALLTYPE Increment(SHORT* value) override {
        ++*value;
        return Record(u"Increment", 0);
    }
    HRESULT STDMETHODCALLTYPE put_Depth(LONG v) override { return Record(u"Depth", depth = v); }
    HRESULT STDMETHODCALLTYPE get_Depth(LONG* p) override {
        *p = depth;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Greet(BSTR name, VARIANT greeting, BSTR* result) override {
        greeting_type = greeting.vt;
        greeting_scode = greeting.scode;
        std::u16string text = greeting.vt == VT_BSTR ? greeting.bstrVal : u"Hello";
        text += u", ";
        text += name;
        *result = SysAllocString(text.c_str());
        return Record(u"Greet", 0);
    }

    static constexpr HRESULT kFailure = static_cast<HRESULT>(0x80040201u);

    ULONG references = 1;
    int calls = 0;
    std::u16string last_call;
    SHORT size = 0;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    BSTR label = nullptr;
    DOUBLE scale = 0;
    FLOAT ratio = 0;
    LONG color = 0;
    SHORT width = 0;
    LONG height = 0;
    LONG depth = 0;
    IUnknown* attached = nullptr;
    VARTYPE greeting_type = VT_EMPTY;
    SCODE greeting_scode = 0;

private:
    HRESULT Record(const char16_t* name, long) {
        ++calls;
        last_call = name;
        return S_OK;
    }

    ITypeInfo* info_;
};
