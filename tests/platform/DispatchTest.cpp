// Standard dispatch over described type information, exercised through the test gadget's
// IDispatch exactly as a script host calls it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/runtime/DispatchTable.h"
#include "platform/runtime/TypeLibObject.h"
#include "tests/platform/TestGadget.h"

namespace {

VARIANT Short(SHORT v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I2;
    x.iVal = v;
    return x;
}
VARIANT Long(LONG v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I4;
    x.lVal = v;
    return x;
}
VARIANT Real(DOUBLE v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_R8;
    x.dblVal = v;
    return x;
}
VARIANT Text(const char16_t* s) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_BSTR;
    x.bstrVal = SysAllocString(s);
    return x;
}
VARIANT Missing() {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_ERROR;
    x.scode = DISP_E_PARAMNOTFOUND;
    return x;
}
VARIANT Ref(VARTYPE vt, void* target) {
    VARIANT x;
    VariantInit(&x);
    x.vt = static_cast<VARTYPE>(VT_BYREF | vt);
    x.byref = target;
    return x;
}

// Arguments as a caller lists them, laid out as DISPPARAMS carries them: named arguments
// first, then the positional ones last to first.
class Args {
public:
    Args() = default;
    Args(std::initializer_list<VARIANT> positional) : positional_(positional) {}
    Args(const Args&) = delete;
    Args& operator=(const Args&) = delete;
    ~Args() {
        for (VARIANT& v : layout_) VariantClear(&v);
    }
    Args& Named(DISPID id, VARIANT v) {
        named_ids_.push_back(id);
        named_.push_back(v);
        return *this;
    }
    DISPPARAMS* Params() {
        layout_ = named_;
        for (auto it = positional_.rbegin(); it != positional_.rend(); ++it) {
            layout_.push_back(*it);
        }
        params_.rgvarg = layout_.empty() ? nullptr : layout_.data();
        params_.rgdispidNamedArgs = named_ids_.empty() ? nullptr : named_ids_.data();
        params_.cArgs = static_cast<UINT>(layout_.size());
        params_.cNamedArgs = static_cast<UINT>(named_ids_.size());
        return &params_;
    }
    // The argument at index i of rgvarg, after Params().
    VARIANT& At(std::size_t i) { return layout_[i]; }

private:
    std::vector<VARIANT> positional_;
    std::vector<VARIANT> named_;
    std::vector<DISPID> named_ids_;
    std::vector<VARIANT> layout_;
    DISPPARAMS params_{};
};

std::u16string Str(BSTR b) {
    return b == nullptr ? u"<null>" : std::u16string(b);
}

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CreateTypeLibFromDescription(&test_gadget::kLibrary, &lib_), S_OK);
        ASSERT_EQ(lib_->GetTypeInfoOfGuid(IID_ITestGadget, &info_), S_OK);
        gadget_ = new TestGadget(info_);
    }
    void TearDown() override {
        delete gadget_;
        if (info_ != nullptr) info_->Release();
        if (lib_ != nullptr) lib_->Release();
        SetErrorInfo(0, nullptr);
    }

    DISPID IdOf(const char16_t* name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = 12345;
        EXPECT_EQ(gadget_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
        return id;
    }
    HRESULT Call(DISPID id, WORD flags, Args& args, VARIANT* result = nullptr,
                 EXCEPINFO* excep = nullptr, UINT* argErr = nullptr) {
        return gadget_->Invoke(id, IID_NULL, 0, flags, args.Params(), result, excep, argErr);
    }
    HRESULT Put(DISPID id, VARIANT value, UINT* argErr = nullptr) {
        Args args;
        args.Named(DISPID_PROPERTYPUT, value);
        return Call(id, DISPATCH_PROPERTYPUT, args, nullptr, nullptr, argErr);
    }

    ITypeLib* lib_ = nullptr;
    ITypeInfo* info_ = nullptr;
    TestGadget* gadget_ = nullptr;
};

TEST_F(Dispatch, NamesAreFoundInAnyCase) {
    EXPECT_EQ(IdOf(u"Size"), 1);
    EXPECT_EQ(IdOf(u"size"), 1);
    EXPECT_EQ(IdOf(u"SIZE"), 1);
    EXPECT_EQ(IdOf(u"rEsIzE"), 7);
    EXPECT_EQ(IdOf(u"increment"), 0x60020000);
}

TEST_F(Dispatch, ParameterNamesFollowTheMemberName) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"resize"), const_cast<LPOLESTR>(u"HEIGHT"),
                        const_cast<LPOLESTR>(u"width")};
    DISPID ids[3] = {};
    ASSERT_EQ(gadget_->GetIDsOfNames(IID_NULL, names, 3, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 7);
    EXPECT_EQ(ids[1], 1);
    EXPECT_EQ(ids[2], 0);
}

TEST_F(Dispatch, UnknownNamesAreReportedAndTheKnownOnesStillFilled) {
    LPOLESTR unknown_member[] = {const_cast<LPOLESTR>(u"Sizes")};
    DISPID id = 0;
    EXPECT_EQ(gadget_->GetIDsOfNames(IID_NULL, unknown_member, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    LPOLESTR names[] = {const_cast<LPOLESTR>(u"Resize"), const_cast<LPOLESTR>(u"Depth"),
                        const_cast<LPOLESTR>(u"Width")};
    DISPID ids[3] = {};
    EXPECT_EQ(gadget_->GetIDsOfNames(IID_NULL, names, 3, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 7);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    EXPECT_EQ(ids[2], 0);

    // A retval is not an argument a caller can name.
    LPOLESTR retval[] = {const_cast<LPOLESTR>(u"Describe"), const_cast<LPOLESTR>(u"Result")};
    EXPECT_EQ(gadget_->GetIDsOfNames(IID_NULL, retval, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
}

TEST_F(Dispatch, PropertyPutWithTheNamedArgument) {
    EXPECT_EQ(Put(1, Short(12)), S_OK);
    EXPECT_EQ(gadget_->size, 12);
    EXPECT_EQ(gadget_->last_call, u"Size");
}

TEST_F(Dispatch, PropertyPutWithoutTheNamedArgumentTakesTheValueByPosition) {
    Args args{Short(21)};
    EXPECT_EQ(Call(1, DISPATCH_PROPERTYPUT, args), S_OK);
    EXPECT_EQ(gadget_->size, 21);
}

TEST_F(Dispatch, PropertyPutConvertsStringsAsScriptsSendThem) {
    EXPECT_EQ(Put(1, Text(u" 40 ")), S_OK);
    EXPECT_EQ(gadget_->size, 40);
    EXPECT_EQ(Put(1, Text(u"2.5")), S_OK);
    EXPECT_EQ(gadget_->size, 2);
    EXPECT_EQ(Put(2, Text(u"true")), S_OK);
    EXPECT_EQ(gadget_->enabled, VARIANT_TRUE);
    EXPECT_EQ(Put(2, Short(1)), S_OK);  // nonzero is VARIANT_TRUE
    EXPECT_EQ(gadget_->enabled, VARIANT_TRUE);
    EXPECT_EQ(Put(4, Text(u"0.07")), S_OK);
    EXPECT_EQ(gadget_->scale, 0.07);
    EXPECT_EQ(Put(5, Text(u"0.07")), S_OK);
    EXPECT_EQ(gadget_->ratio, 0.07f);
    EXPECT_EQ(Put(6, Text(u"&HFF00")), S_OK);
    EXPECT_EQ(gadget_->color, 0xFF00);
    EXPECT_EQ(Put(3, Long(-7)), S_OK);
    EXPECT_EQ(Str(gadget_->label), u"-7");
}

TEST_F(Dispatch, AValueTooLargeForA16BitPropertyNeverReachesIt) {
    ASSERT_EQ(Put(1, Short(5)), S_OK);
    const int calls = gadget_->calls;
    UINT argErr = 99;
    EXPECT_EQ(Put(1, Text(u"40000"), &argErr), DISP_E_OVERFLOW);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(gadget_->calls, calls);
    EXPECT_EQ(gadget_->size, 5);
    EXPECT_EQ(Put(1, Long(40000), &argErr), DISP_E_OVERFLOW);
    EXPECT_EQ(Put(5, Text(u"1e39"), &argErr), DISP_E_OVERFLOW);
    EXPECT_EQ(gadget_->calls, calls);
}

TEST_F(Dispatch, TextThatIsNoNumberIsATypeMismatch) {
    UINT argErr = 99;
    EXPECT_EQ(Put(1, Text(u"abc"), &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(Put(2, Text(u"yes"), &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(gadget_->calls, 0);
}

TEST_F(Dispatch, GettersReturnTheDeclaredType) {
    gadget_->size = 17;
    gadget_->enabled = VARIANT_TRUE;
    Args none;
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(Call(1, DISPATCH_PROPERTYGET, none, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I2);
    EXPECT_EQ(result.iVal, 17);
    // What scripts send for "x = obj.Size".
    ASSERT_EQ(Call(1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, none, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I2);
    EXPECT_EQ(result.iVal, 17);
    ASSERT_EQ(Call(2, DISPATCH_PROPERTYGET, none, &result), S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    ASSERT_EQ(Put(3, Text(u"tag")), S_OK);
    ASSERT_EQ(Call(3, DISPATCH_PROPERTYGET, none, &result), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(Str(result.bstrVal), u"tag");
    VariantClear(&result);
}

TEST_F(Dispatch, MethodsTakeArgumentsLastFirst) {
    Args args{Short(3), Long(70000)};  // Resize(Width 3, Height 70000)
    EXPECT_EQ(Call(7, DISPATCH_METHOD, args), S_OK);
    EXPECT_EQ(gadget_->width, 3);
    EXPECT_EQ(gadget_->height, 70000);
}

TEST_F(Dispatch, ConversionErrorsNameTheArgumentsIndexInRgvarg) {
    UINT argErr = 99;
    Args bad_width{Text(u"abc"), Long(1)};
    EXPECT_EQ(Call(7, DISPATCH_METHOD, bad_width, nullptr, nullptr, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);  // Width is the first argument, so the last in rgvarg
    Args bad_height{Short(1), Text(u"3e9")};
    EXPECT_EQ(Call(7, DISPATCH_METHOD, bad_height, nullptr, nullptr, &argErr), DISP_E_OVERFLOW);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(gadget_->calls, 0);
}

TEST_F(Dispatch, NamedArgumentsGoToTheirParameters) {
    Args args{Short(4)};
    args.Named(1, Text(u"900"));  // Height by name, Width by position
    EXPECT_EQ(Call(7, DISPATCH_METHOD, args), S_OK);
    EXPECT_EQ(gadget_->width, 4);
    EXPECT_EQ(gadget_->height, 900);

    Args both_named;
    both_named.Named(1, Long(5)).Named(0, Short(6));
    EXPECT_EQ(Call(7, DISPATCH_METHOD, both_named), S_OK);
    EXPECT_EQ(gadget_->width, 6);
    EXPECT_EQ(gadget_->height, 5);

    UINT argErr = 99;
    Args unknown{Short(4)};
    unknown.Named(7, Long(1));
    EXPECT_EQ(Call(7, DISPATCH_METHOD, unknown, nullptr, nullptr, &argErr), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(argErr, 0u);
    Args twice{Short(4)};
    twice.Named(0, Short(5));
    EXPECT_EQ(Call(7, DISPATCH_METHOD, twice, nullptr, nullptr, &argErr), DISP_E_PARAMNOTFOUND);
    Args put_id_on_a_method{Short(4)};
    put_id_on_a_method.Named(DISPID_PROPERTYPUT, Long(1));
    EXPECT_EQ(Call(7, DISPATCH_METHOD, put_id_on_a_method), DISP_E_PARAMNOTFOUND);
}

TEST_F(Dispatch, WrongArgumentCounts) {
    Args one{Short(1)};
    EXPECT_EQ(Call(7, DISPATCH_METHOD, one), DISP_E_BADPARAMCOUNT);
    Args three{Short(1), Short(2), Short(3)};
    EXPECT_EQ(Call(7, DISPATCH_METHOD, three), DISP_E_BADPARAMCOUNT);
    Args none;
    EXPECT_EQ(Call(1, DISPATCH_PROPERTYPUT, none), DISP_E_BADPARAMCOUNT);
    Args two{Short(1), Short(2)};
    EXPECT_EQ(Call(1, DISPATCH_PROPERTYPUT, two), DISP_E_BADPARAMCOUNT);
    Args for_a_getter{Short(1)};
    EXPECT_EQ(Call(1, DISPATCH_PROPERTYGET, for_a_getter), DISP_E_BADPARAMCOUNT);
    Args for_no_parameters{Short(1)};
    EXPECT_EQ(Call(10, DISPATCH_METHOD, for_no_parameters), DISP_E_BADPARAMCOUNT);

    // Named arguments that leave a required parameter out.
    Args height_only;
    height_only.Named(1, Long(5));
    EXPECT_EQ(Call(7, DISPATCH_METHOD, height_only), DISP_E_PARAMNOTOPTIONAL);
    // A "missing" marker for a required parameter.
    UINT argErr = 99;
    Args marked{Missing(), Long(5)};
    EXPECT_EQ(Call(7, DISPATCH_METHOD, marked, nullptr, nullptr, &argErr), DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(argErr, 1u);
    EXPECT_EQ(gadget_->calls, 0);
}

TEST_F(Dispatch, OptionalVariantParametersReceiveTheMissingMarker) {
    VARIANT result;
    VariantInit(&result);
    Args name_only{Text(u"Ann")};
    ASSERT_EQ(Call(15, DISPATCH_METHOD, name_only, &result), S_OK);
    EXPECT_EQ(gadget_->greeting_type, VT_ERROR);
    EXPECT_EQ(gadget_->greeting_scode, DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(Str(result.bstrVal), u"Hello, Ann");
    VariantClear(&result);

    Args both{Text(u"Ann"), Text(u"Hi")};
    ASSERT_EQ(Call(15, DISPATCH_METHOD, both, &result), S_OK);
    EXPECT_EQ(Str(result.bstrVal), u"Hi, Ann");
    VariantClear(&result);
}

TEST_F(Dispatch, ByReferenceArgumentsAreReadThrough) {
    SHORT width = 8;
    VARIANT height_holder = Text(u"12");
    Args args{Ref(VT_I2, &width), Ref(VT_VARIANT, &height_holder)};
    EXPECT_EQ(Call(7, DISPATCH_METHOD, args), S_OK);
    EXPECT_EQ(gadget_->width, 8);
    EXPECT_EQ(gadget_->height, 12);
    EXPECT_EQ(Str(height_holder.bstrVal), u"12");  // an [in] argument is left as it was
    VariantClear(&height_holder);
}

TEST_F(Dispatch, VariantPointerParametersWriteIntoTheCallersVariants) {
    // Plain arguments: the member writes into rgvarg itself.
    Args plain{Short(0), Short(0)};
    ASSERT_EQ(Call(8, DISPATCH_METHOD, plain), S_OK);
    EXPECT_EQ(plain.At(1).vt, VT_I4);  // Width, the first argument
    EXPECT_EQ(plain.At(1).lVal, 640);
    EXPECT_EQ(plain.At(0).lVal, 480);

    // By reference, as a script passes its variables.
    VARIANT w, h;
    VariantInit(&w);
    VariantInit(&h);
    Args refs{Ref(VT_VARIANT, &w), Ref(VT_VARIANT, &h)};
    ASSERT_EQ(Call(8, DISPATCH_METHOD, refs), S_OK);
    EXPECT_EQ(w.vt, VT_I4);
    EXPECT_EQ(w.lVal, 640);
    EXPECT_EQ(h.lVal, 480);
}

TEST_F(Dispatch, OutPointerParametersNeedAReferenceOfTheirType) {
    SHORT counter = 41;
    Args by_ref{Ref(VT_I2, &counter)};
    ASSERT_EQ(Call(0x60020000, DISPATCH_METHOD, by_ref), S_OK);
    EXPECT_EQ(counter, 42);

    VARIANT holder = Short(9);
    Args through_variant{Ref(VT_VARIANT, &holder)};
    ASSERT_EQ(Call(0x60020000, DISPATCH_METHOD, through_variant), S_OK);
    EXPECT_EQ(holder.iVal, 10);

    UINT argErr = 99;
    Args by_value{Short(1)};
    EXPECT_EQ(Call(0x60020000, DISPATCH_METHOD, by_value, nullptr, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    LONG wrong_width = 0;
    Args wrong_type{Ref(VT_I4, &wrong_width)};
    EXPECT_EQ(Call(0x60020000, DISPATCH_METHOD, wrong_type), DISP_E_TYPEMISMATCH);
}

TEST_F(Dispatch, RetvalParametersBecomeTheResult) {
    VARIANT result;
    VariantInit(&result);
    Args prefix{Text(u"my ")};
    ASSERT_EQ(Call(9, DISPATCH_METHOD, prefix, &result), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(Str(result.bstrVal), u"my gadget");
    VariantClear(&result);

    Args value{Real(2.5)};
    ASSERT_EQ(Call(13, DISPATCH_METHOD, value, &result), S_OK);
    EXPECT_EQ(result.vt, VT_R8);
    EXPECT_EQ(result.dblVal, 2.5);

    // Without a place for the result the string is freed, not leaked (ASan checks).
    Args again{Text(u"x")};
    EXPECT_EQ(Call(9, DISPATCH_METHOD, again, nullptr), S_OK);
}

TEST_F(Dispatch, ObjectArgumentsArePassedAsTheDeclaredInterface) {
    TestGadget other(info_);
    VARIANT object;
    VariantInit(&object);
    object.vt = VT_DISPATCH;
    object.pdispVal = &other;
    other.AddRef();
    {
        Args args{object};
        ASSERT_EQ(Call(12, DISPATCH_METHOD, args), S_OK);
        EXPECT_EQ(gadget_->attached, static_cast<IUnknown*>(static_cast<ITestGadget*>(&other)));
    }
    // The caller's reference went with Args, the member keeps its own, the call kept none.
    EXPECT_EQ(other.references, 2u);
    gadget_->attached->Release();
    gadget_->attached = nullptr;

    Args number{Short(1)};
    EXPECT_EQ(Call(12, DISPATCH_METHOD, number), DISP_E_TYPEMISMATCH);
}

TEST_F(Dispatch, MembersThatDoNotExistForTheFlags) {
    Args none;
    EXPECT_EQ(Call(999, DISPATCH_METHOD, none), DISP_E_MEMBERNOTFOUND);
    Args one{Short(1)};
    EXPECT_EQ(Call(7, DISPATCH_PROPERTYPUT, one), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(4, DISPATCH_PROPERTYGET, none), DISP_E_MEMBERNOTFOUND);  // Scale is put-only
    EXPECT_EQ(Call(4, DISPATCH_METHOD, none), DISP_E_MEMBERNOTFOUND);
}

TEST_F(Dispatch, AFailingMembersDescriptionArrivesInExcepinfo) {
    Args none;
    EXCEPINFO excep{};
    ASSERT_EQ(Call(10, DISPATCH_METHOD, none, nullptr, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, TestGadget::kFailure);
    EXPECT_EQ(Str(excep.bstrDescription), u"The gadget is jammed");
    EXPECT_EQ(Str(excep.bstrSource), u"TestGadget.1");
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrHelpFile);
    IErrorInfo* left = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE);  // taken by the call
}

TEST_F(Dispatch, AFailureWithoutDescriptionGetsAGenericOne) {
    // An error object left over from before must not be mistaken for the member's.
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(u"stale"));
    IErrorInfo* stale = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&stale));
    SetErrorInfo(0, stale);
    stale->Release();
    create->Release();

    Args none;
    EXCEPINFO excep{};
    ASSERT_EQ(Call(11, DISPATCH_METHOD, none, nullptr, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, E_INVALIDARG);
    EXPECT_EQ(Str(excep.bstrDescription), u"Invalid argument (0x80070057)");
    EXPECT_EQ(Str(excep.bstrSource), u"ITestGadget");
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
}

TEST_F(Dispatch, WithoutExcepinfoTheErrorStaysOnTheThread) {
    Args none;
    ASSERT_EQ(Call(10, DISPATCH_METHOD, none), DISP_E_EXCEPTION);
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    BSTR description = nullptr;
    info->GetDescription(&description);
    EXPECT_EQ(Str(description), u"The gadget is jammed");
    SysFreeString(description);
    info->Release();
}

TEST_F(Dispatch, MalformedCallsAreRefused) {
    DISPPARAMS params{nullptr, nullptr, 1, 0};
    EXPECT_EQ(DispInvoke(static_cast<ITestGadget*>(gadget_), info_, 1, DISPATCH_PROPERTYPUT,
                         &params, nullptr, nullptr, nullptr),
              E_INVALIDARG);
    EXPECT_EQ(DispInvoke(static_cast<ITestGadget*>(gadget_), info_, 1, DISPATCH_PROPERTYPUT,
                         nullptr, nullptr, nullptr, nullptr),
              E_INVALIDARG);
    EXPECT_EQ(DispInvoke(static_cast<ITestGadget*>(gadget_), nullptr, 1, DISPATCH_PROPERTYPUT,
                         &params, nullptr, nullptr, nullptr),
              E_INVALIDARG);
    VARIANT v = Short(1);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS more_named_than_args{&v, &named, 0, 1};
    EXPECT_EQ(DispInvoke(static_cast<ITestGadget*>(gadget_), info_, 1, DISPATCH_PROPERTYPUT,
                         &more_named_than_args, nullptr, nullptr, nullptr),
              E_INVALIDARG);
    EXPECT_EQ(gadget_->calls, 0);
}

}  // namespace
