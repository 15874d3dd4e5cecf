#include <gtest/gtest.h>

#include "platform/Runtime.h"

namespace {

TEST(SafeArray, ByteVectorHoldsWhatIsPut) {
    SAFEARRAYBOUND bound{5, 0};
    SAFEARRAY* psa = SafeArrayCreate(VT_UI1, 1, &bound);
    ASSERT_NE(psa, nullptr);
    for (LONG i = 0; i < 5; ++i) {
        BYTE b = static_cast<BYTE>(10 * i);
        ASSERT_EQ(SafeArrayPutElement(psa, &i, &b), S_OK);
    }
    LONG out_of_range = 5;
    BYTE b = 0;
    EXPECT_EQ(SafeArrayPutElement(psa, &out_of_range, &b), DISP_E_BADINDEX);
    LONG lower = -1, upper = -1;
    EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lower), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(psa, 1, &upper), S_OK);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 4);

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
    ASSERT_EQ(SafeArrayDestroy(psa), S_OK);
    BYTE* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(copy, reinterpret_cast<void**>(&data)), S_OK);
    EXPECT_EQ(data[3], 30);
    EXPECT_EQ(SafeArrayDestroy(copy), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnaccessData(copy), S_OK);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(copy, &vt), S_OK);
    EXPECT_EQ(vt, VT_UI1);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
}

TEST(SafeArray, TwoDimensionsIndexLeftmostFirst) {
    SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, 0}};  // rows 1..2, columns 0..2
    SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(psa, nullptr);
    LONG index[2] = {2, 1};
    LONG value = 42;
    ASSERT_EQ(SafeArrayPutElement(psa, index, &value), S_OK);
    LONG back = 0;
    ASSERT_EQ(SafeArrayGetElement(psa, index, &back), S_OK);
    EXPECT_EQ(back, 42);
    EXPECT_EQ(static_cast<LONG*>(psa->pvData)[3 + 1], 42);  // row-major over (row-1, column)
    LONG upper = 0;
    EXPECT_EQ(SafeArrayGetUBound(psa, 2, &upper), S_OK);
    EXPECT_EQ(upper, 2);
    SafeArrayDestroy(psa);
}

TEST(Variant, ClearFreesWhatItOwnsAndCopyIsDeep) {
    VARIANT a;
    VariantInit(&a);
    a.vt = VT_BSTR;
    a.bstrVal = SysAllocString(u"text");
    VARIANT b;
    VariantInit(&b);
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_NE(b.bstrVal, a.bstrVal);
    EXPECT_EQ(std::u16string(b.bstrVal), u"text");
    EXPECT_EQ(VariantClear(&a), S_OK);
    EXPECT_EQ(a.vt, VT_EMPTY);

    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_UI1;
    array.parray = SafeArrayCreateVector(VT_UI1, 0, 16);
    EXPECT_EQ(VariantCopy(&b, &array), S_OK);  // replaces (and frees) the string in b
    EXPECT_NE(b.parray, array.parray);
    EXPECT_EQ(VariantClear(&array), S_OK);
    EXPECT_EQ(VariantClear(&b), S_OK);
}

}  // namespace
