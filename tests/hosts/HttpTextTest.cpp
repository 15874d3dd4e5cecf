// The text the server writes of what clients send: log lines, headers, messages.
#include <gtest/gtest.h>

#include <string>

#include "hosts/serve/AccessLog.h"
#include "hosts/serve/SafeText.h"

namespace {

TEST(SafeText, KeepsPrintableUtf8AndEscapesEverythingElse) {
    const struct {
        std::string text;
        std::size_t max_bytes;
        std::string shown;
    } cases[] = {
        {"plain text, 123", 100, "plain text, 123"},
        {"Καλημέρα 中文 😀", 100, "Καλημέρα 中文 😀"},
        {"line\r\nX-Forged: 1", 100, "line\\x0d\\x0aX-Forged: 1"},
        {"\x1b[31mred\x1b[0m", 100, "\\x1b[31mred\\x1b[0m"},  // ANSI colour
        {"tab\tdel\x7f", 100, "tab\\x09del\\x7f"},
        {"\xc2\x9b"
         "2J",
         100, "\\xc2\\x9b2J"},  // C1 control introducer
        {"a\xe2\x80\xae"
         "b",
         100, "a\\xe2\\x80\\xaeb"},  // right-to-left override
        {"a\xe2\x80\xa8"
         "b",
         100, "a\\xe2\\x80\\xa8b"},  // line separator
        {"say \"hi\" \\o/", 100, "say \\x22hi\\x22 \\x5co/"},
        {"\xff\xfe", 100, "\\xff\\xfe"},           // not UTF-8
        {"\xce", 100, "\\xce"},                    // cut short
        {"\xc0\xaf", 100, "\\xc0\\xaf"},           // overlong '/'
        {"\xed\xa0\x80", 100, "\\xed\\xa0\\x80"},  // a surrogate
        {"\xef\xbf\xbd", 100, "\xef\xbf\xbd"},     // U+FFFD itself is fine
        {"abcdef", 3, "abc..."},
        {"ααα", 5, "αα..."},  // never inside a character
        {"a\nb", 3, "a..."},  // nor inside an escape
        {"", 10, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SafeText(c.text, c.max_bytes), c.shown) << c.text;
    }
}

TEST(AccessLogLine, TimePeerTargetStatusBytesAndDurationWithoutQueryValues) {
    AccessLogEntry entry;
    // 1,000,000,000.123 s after the epoch is 2001-09-09 01:46:40.123 UTC.
    entry.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1000000000123));
    entry.peer = "::1";
    entry.method = "GET";
    entry.path = "/barcode.png";
    entry.query = "Data=Jane%20Doe&Width=400&&flag";
    entry.status = 200;
    entry.body_bytes = 7886;
    entry.milliseconds = 1.5;
    AccessLog log;
    EXPECT_EQ(
        log.Line(entry),
        "2001-09-09T01:46:40.123Z ::1 \"GET /barcode.png?Data&Width&flag\" 200 7886 1.500ms\n");
    log.set_log_query(true);
    EXPECT_EQ(log.Line(entry),
              "2001-09-09T01:46:40.123Z ::1 \"GET /barcode.png?Data=Jane%20Doe&Width=400&&flag\" "
              "200 7886 1.500ms\n");
}

}  // namespace
