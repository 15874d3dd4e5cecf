// The access log: one line per request,
//   2025-01-31T12:34:56.789Z 127.0.0.1 "GET /barcode.png?Data&Width" 200 7886 1.234ms
// time (UTC), client, method and target, status, body bytes, time to answer. The target shows
// the query's names but not its values, which often carry personal data, unless the log is
// told to. Each line goes out in one write, so lines of different workers never mix.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

struct AccessLogEntry {
    std::chrono::system_clock::time_point time;
    std::string_view peer;
    std::string_view method;  // "-" when the request could not be read
    std::string_view path;    // decoded
    std::string_view query;   // as sent
    int status = 0;
    std::size_t body_bytes = 0;
    double milliseconds = 0;
};

class AccessLog {
public:
    // Writes to standard error.
    AccessLog() = default;
    ~AccessLog();
    AccessLog(const AccessLog&) = delete;
    AccessLog& operator=(const AccessLog&) = delete;

    // Appends to the file at path instead; false with a message when it cannot be opened.
    bool Open(const std::string& path, std::string* error);
    // Opens the file at the same path again, for log rotation: lines written meanwhile go to
    // the old file or the new one, never elsewhere. Nothing to do for standard error.
    bool Reopen(std::string* error);
    void set_log_query(bool on) { log_query_ = on; }

    void Write(const AccessLogEntry& entry) const;
    std::string Line(const AccessLogEntry& entry) const;

private:
    int fd_ = 2;
    std::string path_;
    bool log_query_ = false;
};
