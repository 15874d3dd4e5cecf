// VariantChangeType of our stand-in: the conformance table (tests/conformance/), which Wine's
// oleaut32 passes too, and what lies beyond it.
#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

#include "platform/Runtime.h"
#include "tests/conformance/VariantConformance.h"
#include "tests/support/WithoutDispatch.h"

namespace {

using conformance::DescribeRow;
using conformance::DescribeSource;
using conformance::Oleaut;
using conformance::Row;
using conformance::TypeName;
using conformance::VariantChangeTypeRows;

}  // namespace

namespace conformance {

void PrintTo(const Row& row, std::ostream* os) {
    *os << DescribeRow(row);
}

}  // namespace conformance

namespace {

class VariantChangeTypeTable : public ::testing::TestWithParam<Row> {};

TEST_P(VariantChangeTypeTable, ConvertsAsAutomationDoes) {
    EXPECT_EQ(CheckRow(GetParam(), Oleaut::kOurs), "");
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
    std::string name = std::string(TypeName(info.param.target)) + "_" + std::to_string(info.index) +
                       "_from_" + TypeName(info.param.source.vt);
    const std::string value = DescribeSource(info.param.source);
    if (!value.empty()) name += "_";
    for (char c : value) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            name += c;
        } else if (c == '-') {
            name += "minus";
        } else if (c == '+') {
            name += "plus";
        } else if (c == '.') {
            name += "p";
        } else if (c == ',') {
            name += "comma";
        } else if (c == '&') {
            name += "amp";
        } else if (c != '"') {
            name += "_";
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Rows, VariantChangeTypeTable,
                         ::testing::ValuesIn(VariantChangeTypeRows().begin(),
                                             VariantChangeTypeRows().end()),
                         RowName);

// Beyond the table: references, in-place conversion, objects, and the failure paths.

TEST(VariantChangeType, ReadsThroughReferences) {
    SHORT value = 41;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I2;
    ref.piVal = &value;
    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(out.bstrVal), u"41");
    VariantClear(&out);

    VARIANT inner;
    VariantInit(&inner);
    inner.vt = VT_BSTR;
    inner.bstrVal = SysAllocString(u"2.5");
    VARIANT outer;
    VariantInit(&outer);
    outer.vt = VT_BYREF | VT_VARIANT;
    outer.pvarVal = &inner;
    ASSERT_EQ(VariantChangeType(&out, &outer, 0, VT_I2), S_OK);
    EXPECT_EQ(out.iVal, 2);
    // The same type through a reference is a copy of the string, not the caller's string.
    ASSERT_EQ(VariantChangeType(&out, &outer, 0, VT_BSTR), S_OK);
    EXPECT_NE(out.bstrVal, inner.bstrVal);
    EXPECT_EQ(std::u16string(out.bstrVal), u"2.5");
    VariantClear(&out);
    VariantClear(&inner);
}

TEST(VariantChangeType, ConvertsInPlace) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u" 12 ");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I2), S_OK);  // the string is freed: ASan checks
    EXPECT_EQ(v.vt, VT_I2);
    EXPECT_EQ(v.iVal, 12);
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(v.bstrVal), u"12");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BOOL), S_OK);
    EXPECT_EQ(v.boolVal, VARIANT_TRUE);
    VariantClear(&v);
}

TEST(VariantChangeType, FailureLeavesTheDestinationAsItWas) {
    VARIANT dest;
    VariantInit(&dest);
    dest.vt = VT_BSTR;
    dest.bstrVal = SysAllocString(u"keep");
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_BSTR;
    src.bstrVal = SysAllocString(u"40000");
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_I2), DISP_E_OVERFLOW);
    ASSERT_EQ(dest.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(dest.bstrVal), u"keep");
    // In place too: the source survives a failed conversion of itself.
    EXPECT_EQ(VariantChangeType(&src, &src, 0, VT_I2), DISP_E_OVERFLOW);
    ASSERT_EQ(src.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(src.bstrVal), u"40000");
    VariantClear(&dest);
    VariantClear(&src);
}

TEST(VariantChangeType, OutOfMemoryForAStringIsReported) {
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_I4;
    src.lVal = 7;
    VARIANT dest;
    VariantInit(&dest);
    PlatformFailNthAllocation(1);
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_BSTR), E_OUTOFMEMORY);
    PlatformFailNthAllocation(0);
    EXPECT_EQ(dest.vt, VT_EMPTY);
}

TEST(VariantChangeType, ErrorValuesAndUnsupportedTypesAreRefused) {
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_ERROR;
    src.scode = DISP_E_PARAMNOTFOUND;
    VARIANT dest;
    VariantInit(&dest);
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_I2), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_ERROR), S_OK);  // to itself: a copy
    EXPECT_EQ(dest.scode, DISP_E_PARAMNOTFOUND);
    src.vt = VT_I2;
    src.iVal = 1;
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_CY), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_I2 | VT_BYREF), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(nullptr, &src, 0, VT_I2), E_INVALIDARG);
    EXPECT_EQ(VariantChangeTypeEx(&dest, &src, 0x0407, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(dest.bstrVal), u"1");
    VariantClear(&dest);
}

// A counted object that answers IUnknown and, when asked to, IDispatch.
class Probe final : public WithoutDispatch<IDispatch> {
public:
    explicit Probe(bool dispatch) : dispatch_(dispatch) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || (dispatch_ && riid == IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    ULONG references = 1;

private:
    bool dispatch_;
};

TEST(VariantChangeType, ObjectsConvertOnlyBetweenUnknownAndDispatch) {
    Probe dispatchable(true);
    Probe plain(false);
    VARIANT src;
    VariantInit(&src);
    src.vt = VT_DISPATCH;
    src.pdispVal = &dispatchable;
    VARIANT dest;
    VariantInit(&dest);
    ASSERT_EQ(VariantChangeType(&dest, &src, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(dest.vt, VT_UNKNOWN);
    EXPECT_EQ(dispatchable.references, 2u);
    VariantClear(&dest);
    EXPECT_EQ(dispatchable.references, 1u);

    src.vt = VT_UNKNOWN;
    src.punkVal = &plain;
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_DISPATCH), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(plain.references, 1u);
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_I2), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_BSTR), DISP_E_TYPEMISMATCH);

    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    number.lVal = 1;
    EXPECT_EQ(VariantChangeType(&dest, &number, 0, VT_UNKNOWN), DISP_E_TYPEMISMATCH);
    VARIANT empty;
    VariantInit(&empty);
    EXPECT_EQ(VariantChangeType(&dest, &empty, 0, VT_DISPATCH), DISP_E_TYPEMISMATCH);
}

}  // namespace
