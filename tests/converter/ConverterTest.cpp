#include <gtest/gtest.h>

#include <string>

#include "converter/CConverter.h"
#include "tests/support/WithoutDispatch.h"

namespace {

class TestConverter final : public WithoutDispatch<CConverter> {
public:
    ~TestConverter() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

// Converts through the member, keeping the HRESULT and the string (or "<null>").
struct Conversion {
    HRESULT hr;
    std::u16string text;
};

Conversion Convert(const std::u16string* input) {
    TestConverter converter;
    BSTR in = input == nullptr ? nullptr
                               : SysAllocStringLen(input->data(), static_cast<UINT>(input->size()));
    BSTR out = reinterpret_cast<BSTR>(0x1);  // must be overwritten in every case
    Conversion c{converter.GetUTF8String(in, &out), u"<null>"};
    if (out != nullptr) c.text.assign(out, SysStringLen(out));
    SysFreeString(in);
    SysFreeString(out);
    return c;
}

Conversion Convert(const std::u16string& input) {
    return Convert(&input);
}

// Independent of the converter: the expected escapes of a byte string.
std::u16string Escapes(const std::string& bytes) {
    std::u16string out;
    for (unsigned char b : bytes) {
        out += u"~d";
        out += static_cast<char16_t>(u'0' + b / 100);
        out += static_cast<char16_t>(u'0' + b / 10 % 10);
        out += static_cast<char16_t>(u'0' + b % 10);
    }
    return out;
}

TEST(GetUTF8String, EscapesEveryUtf8Byte) {
    const struct {
        std::u16string input;
        std::u16string expected;
    } cases[] = {
        {u"A", u"~d065"},
        {u"AB", u"~d065~d066"},
        {u"\u0007", u"~d007"},
        {u"\u00E9", u"~d195~d169"},
        {u"\u20AC", u"~d226~d130~d172"},
        {u"\U0001F600", u"~d240~d159~d152~d128"},
        {std::u16string(u"A\0B", 3), u"~d065"},  // stops at the first U+0000
        {std::u16string(u"\0B", 2), u""},
        {std::u16string(1, char16_t{0xD83D}), u"~d239~d191~d189"},  // unpaired: U+FFFD
        {u"\u00FF\u0100", Escapes("\xC3\xBF\xC4\x80")},
    };
    for (const auto& c : cases) {
        const Conversion result = Convert(c.input);
        EXPECT_EQ(result.hr, S_OK);
        EXPECT_EQ(result.text, c.expected);
    }
}

TEST(GetUTF8String, EmptyAndNullGiveTheEmptyString) {
    EXPECT_EQ(Convert(u"").text, u"");
    const Conversion null_input = Convert(nullptr);
    EXPECT_EQ(null_input.hr, S_OK);
    EXPECT_EQ(null_input.text, u"");
}

TEST(GetUTF8String, Converts32766BytesAndRefusesMoreWithNoString) {
    const Conversion longest = Convert(std::u16string(32766, u'a'));
    EXPECT_EQ(longest.hr, S_OK);
    EXPECT_EQ(longest.text.size(), 163830u);
    EXPECT_EQ(longest.text.substr(163825), u"~d097");

    for (std::size_t length : {32767u, 40000u}) {
        const Conversion too_long = Convert(std::u16string(length, u'a'));
        EXPECT_EQ(too_long.hr, DISP_E_OVERFLOW);
        EXPECT_EQ(too_long.text, u"<null>");
        IErrorInfo* error = nullptr;
        ASSERT_EQ(GetErrorInfo(0, &error), S_OK);
        error->Release();
    }
    // 10923 three-byte characters make 32769 bytes: the limit counts bytes, not characters.
    EXPECT_EQ(Convert(std::u16string(10923, u'\u20AC')).hr, DISP_E_OVERFLOW);
    EXPECT_EQ(Convert(std::u16string(10922, u'\u20AC')).hr, S_OK);
}

TEST(GetUTF8String, RefusesANullResultPointer) {
    TestConverter converter;
    BSTR in = SysAllocString(u"A");
    EXPECT_EQ(converter.GetUTF8String(in, nullptr), E_POINTER);
    SysFreeString(in);
}

TEST(GetUTF8String, FailsWithNoStringWhenMemoryRunsOut) {
    TestConverter converter;
    BSTR in = SysAllocString(u"A");
    BSTR out = reinterpret_cast<BSTR>(0x1);
    PlatformFailNthAllocation(1);
    EXPECT_EQ(converter.GetUTF8String(in, &out), E_OUTOFMEMORY);
    EXPECT_EQ(out, nullptr);
    PlatformFailNthAllocation(0);
    SysFreeString(in);
    IErrorInfo* error = nullptr;
    if (GetErrorInfo(0, &error) == S_OK) error->Release();
}

}  // namespace
