#include <gtest/gtest.h>

#include <string>

#include "platform/Runtime.h"

namespace {

std::string ToBytes(UINT code_page, const std::u16string& text) {
    const int needed =
        WideCharToMultiByte(code_page, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(needed), '\0');
    const int written =
        WideCharToMultiByte(code_page, 0, text.c_str(), -1, out.data(), needed, nullptr, nullptr);
    EXPECT_EQ(written, needed);
    out.resize(out.empty() ? 0 : out.size() - 1);  // drop the converted terminating zero
    return out;
}

std::u16string FromBytes(UINT code_page, const std::string& bytes) {
    const int needed =
        MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string out(static_cast<std::size_t>(needed), u'\0');
    MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(),
                        needed);
    return out;
}

TEST(WideCharToMultiByte, Utf8FollowsTheStandardEncoding) {
    const struct {
        std::u16string text;
        std::string bytes;
    } cases[] = {
        {u"A", "A"},
        {u"\u00E9", "\xC3\xA9"},
        {u"\u20AC", "\xE2\x82\xAC"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {std::u16string(1, char16_t{0xD800}), "\xEF\xBF\xBD"},          // lone high surrogate
        {std::u16string(1, char16_t{0xDC00}) + u"x", "\xEF\xBF\xBDx"},  // lone low surrogate
    };
    for (const auto& c : cases) EXPECT_EQ(ToBytes(CP_UTF8, c.text), c.bytes);
}

TEST(WideCharToMultiByte, ThreadCodePageIsWindows1252) {
    EXPECT_EQ(ToBytes(CP_THREAD_ACP, u"\u00E9\u20AC\u0178\u00FF"), "\xE9\x80\x9F\xFF");
    BOOL used_default = FALSE;
    char out[8] = {};
    const int n = WideCharToMultiByte(CP_THREAD_ACP, 0, u"\u4E2D\U0001F600", -1, out, 8, nullptr,
                                      &used_default);
    EXPECT_EQ(n, 3);
    EXPECT_STREQ(out, "??");  // one default character per unmappable character
    EXPECT_TRUE(used_default);
}

// ASCII runs are copied several characters at a time: a character that is not ASCII, and the
// buffer's end, at every place within and after such a run.
TEST(WideCharToMultiByte, AsciiRunsOfEveryLengthAroundOtherCharacters) {
    for (std::size_t before = 0; before <= 17; ++before) {
        for (std::size_t after = 0; after <= 17; ++after) {
            const std::u16string text =
                std::u16string(before, u'a') + u"\u20AC" + std::u16string(after, u'b');
            EXPECT_EQ(ToBytes(CP_THREAD_ACP, text),
                      std::string(before, 'a') + "\x80" + std::string(after, 'b'));
        }
        const std::u16string ascii(before + 1, u'c');
        std::string out(before + 1, '\0');  // no room for the terminating zero
        EXPECT_EQ(WideCharToMultiByte(CP_THREAD_ACP, 0, ascii.c_str(), -1, out.data(),
                                      static_cast<int>(out.size()), nullptr, nullptr),
                  0);
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    }
}

TEST(WideCharToMultiByte, TooSmallABufferFails) {
    char out[2];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"abc", -1, out, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(WideCharToMultiByte, Utf8RefusesADefaultCharacter) {
    char out[8];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"abc", -1, out, 8, "?", nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(MultiByteToWideChar, DecodesUtf8AndReplacesMalformedBytes) {
    EXPECT_EQ(FromBytes(CP_UTF8, "h\xC3\xA9"), u"h\u00E9");
    EXPECT_EQ(FromBytes(CP_UTF8, "\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(FromBytes(CP_UTF8, "\xC3"), u"\uFFFD");                      // truncated
    EXPECT_EQ(FromBytes(CP_UTF8, "\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
    EXPECT_EQ(FromBytes(CP_UTF8, "\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // surrogate
    EXPECT_EQ(FromBytes(CP_THREAD_ACP, "\x80\xE9"), u"\u20AC\u00E9");
}

}  // namespace
