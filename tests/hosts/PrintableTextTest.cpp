// Text from outside printed in messages, headers and log lines: no control character gets
// through, nothing is cut inside a UTF-8 sequence, and the length bound holds.
#include "library/session/PrintableText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PrintableText, EscapesWhatCouldForgeALineOrDriveATerminal) {
    const struct {
        std::string in;
        PrintableForm form;
        std::string out;
        const char* why;
    } cases[] = {
        {"plain text", PrintableForm::kUtf8, "plain text", "printable ASCII stays"},
        {"Ελληνικά 中文 🎉", PrintableForm::kUtf8, "Ελληνικά 中文 🎉", "printable UTF-8 stays"},
        {"a\r\nGET / HTTP/1.1", PrintableForm::kUtf8, "a\\r\\nGET / HTTP/1.1",
         "a forged line break"},
        {"\x1B[31mred\x1B[0m", PrintableForm::kUtf8, "\\x1B[31mred\\x1B[0m", "ANSI colour codes"},
        {std::string("nul\0byte", 8), PrintableForm::kUtf8, "nul\\x00byte", "a zero byte"},
        {"tab\tdel\x7F", PrintableForm::kUtf8, "tab\\tdel\\x7F", "tab and DEL"},
        {"\xC2\x85next", PrintableForm::kUtf8, "\\u{0085}next", "U+0085, a C1 line break"},
        {"\xC2\x9B"
         "31m",
         PrintableForm::kUtf8, "\\u{009B}31m", "U+009B, the C1 escape"},
        {"ab\xE2\x80\xAE"
         "cd",
         PrintableForm::kUtf8, "ab\\u{202E}cd", "right-to-left override"},
        {"a\xE2\x80\xA8"
         "b",
         PrintableForm::kUtf8, "a\\u{2028}b", "line separator"},
        {"caf\xE9", PrintableForm::kUtf8, "caf\\xE9", "a Windows-1252 byte is not UTF-8"},
        {"\xE4\xB8", PrintableForm::kUtf8, "\\xE4\\xB8", "a truncated sequence, byte by byte"},
        {"\xC0\xAF", PrintableForm::kUtf8, "\\xC0\\xAF", "an overlong '/'"},
        {"\xED\xA0\x80", PrintableForm::kUtf8, "\\xED\\xA0\\x80", "an encoded surrogate"},
        {"é€🎉", PrintableForm::kAscii, "\\u{00E9}\\u{20AC}\\u{1F389}",
         "the ASCII form escapes every non-ASCII character"},
        {"ok~", PrintableForm::kAscii, "ok~", "the ASCII form keeps printable ASCII"},
        {"say \"hi\" \\o/", PrintableForm::kQuoted, "say \\x22hi\\x22 \\x5Co/",
         "the quoted form escapes what would end or fake a quoted log field"},
        {"say \"hi\"", PrintableForm::kUtf8, "say \"hi\"", "elsewhere quotes stay"},
        {"\xEF\xBF\xBD", PrintableForm::kUtf8, "\xEF\xBF\xBD", "U+FFFD itself is printable"},
        {"", PrintableForm::kQuoted, "", "nothing stays nothing"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PrintableText(c.in, 1000, c.form), c.out) << c.why;
    }
}

TEST(PrintableText, CutsOnlyBetweenWholeCharactersAndEscapes) {
    const struct {
        std::string in;
        std::size_t max;
        std::string out;
        const char* why;
    } cases[] = {
        {"abcdef", 6, "abcdef", "fits exactly: not cut"},
        {"abcdefg", 6, "abc...", "one byte over: cut with room for the ellipsis"},
        {"ab中文", 6, "ab...", "'中' (3 bytes) would end past the room of 3"},
        {"abc中文", 7, "abc...", "never half of '中'"},
        {"aé"
         "bcdef",
         6, "aé...", "a 2-byte character kept whole"},
        {"🎉🎉🎉", 6, "...", "a 4-byte character that does not fit is left out whole"},
        {"\x1B\x1B\x1B", 8, "\\x1B...", "an escape is not cut either"},
        {"abcdef", 3, "...", "the smallest bound"},
    };
    for (const auto& c : cases) {
        const std::string out = PrintableText(c.in, c.max);
        EXPECT_EQ(out, c.out) << c.why;
        EXPECT_LE(out.size(), c.max) << c.why;
    }
}

TEST(PrintableText, EveryResultIsPrintableUtf8WithinItsBound) {
    // Every two-byte string and a bound of 3..12: the result holds no control byte and no
    // byte of a malformed sequence, and keeps to the bound.
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; b += 3) {
            const std::string in{static_cast<char>(a), static_cast<char>(b), 'x'};
            const std::string out = PrintableText(in, 3 + static_cast<std::size_t>(a % 10));
            ASSERT_LE(out.size(), 3u + static_cast<std::size_t>(a % 10));
            for (unsigned char c : out) ASSERT_TRUE(c >= 0x20 && c != 0x7F) << a << " " << b;
            ASSERT_EQ(PrintableText(out), out) << "printable output is left as it is";
        }
    }
}

}  // namespace
