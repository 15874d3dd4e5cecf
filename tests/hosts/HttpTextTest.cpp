// The access log's line: what the server writes of what clients send.
#include <gtest/gtest.h>

#include <string>

#include "hosts/serve/AccessLog.h"

namespace {

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
