// The converter server through its real entry points, loaded by the class runtime.
#include "converter/IConverter.h"
#include "tests/server/ServerHost.h"

namespace {

using ConverterServer = ServerHost;

Call Convert(IDispatch* converter, const std::u16string& text, std::u16string* result) {
    Value argument(text);
    Value escaped;
    const Call call =
        Invoke(converter, u"GetUTF8String", DISPATCH_METHOD, {argument.v}, &escaped.v);
    if (escaped.v.vt == VT_BSTR && escaped.v.bstrVal != nullptr) *result = escaped.v.bstrVal;
    return call;
}

TEST_F(ConverterServer, ConvertsThroughDispatch) {
    IDispatch* converter = Create(u"TarvexUnicode.Converter");
    ASSERT_NE(converter, nullptr);
    std::u16string result;
    ASSERT_EQ(Convert(converter, u"\u00E9\u20AC", &result).hr, S_OK);
    EXPECT_EQ(result, u"~d195~d169~d226~d130~d172");
    converter->Release();
}

TEST_F(ConverterServer, OverflowIsAnErrorWithADescriptionAndNoString) {
    IDispatch* converter = Create(u"TarvexUnicode.Converter");
    std::u16string result = u"untouched";
    const Call call = Convert(converter, std::u16string(32767, u'a'), &result);
    EXPECT_EQ(call.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(call.scode, DISP_E_OVERFLOW);
    EXPECT_FALSE(call.description.empty());
    EXPECT_EQ(result, u"untouched");
    converter->Release();
}

TEST_F(ConverterServer, RegistersItsClassAndInterface) {
    OLECHAR clsid[40];
    StringFromGUID2(CLSID_Converter, clsid, 40);
    EXPECT_EQ(GetString(u"TarvexUnicode.Converter\\CLSID", nullptr), std::u16string(clsid));
    const std::u16string key = u"CLSID\\" + std::u16string(clsid) + u"\\InprocServer32";
    EXPECT_EQ(GetString(key.c_str(), u"ThreadingModel"), u"Apartment");
    IDispatch* converter = Create(u"TarvexUnicode.Converter");
    void* as_interface = nullptr;
    ASSERT_EQ(converter->QueryInterface(IID__Converter, &as_interface), S_OK);
    EXPECT_EQ(as_interface, converter);
    static_cast<IUnknown*>(as_interface)->Release();
    converter->Release();
    EXPECT_EQ(CallEntryPoint(UNICODE_SERVER_PATH, "DllCanUnloadNow"), S_OK);
}

}  // namespace
