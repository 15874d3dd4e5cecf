// The access log: one line per request,
//   2025-01-31T12:34:56.789Z 127.0.0.1 "GET /barcode.png?Data&Width" 200 7886 1.234ms
// time (UTC), client, method and target, status, body bytes, time to answer. The target shows
// the query's names but not its values, which often carry personal data, unless the log is
// told to.
//
// A worker never waits for the log: it adds its line to a bounded buffer, which a thread of
// the log's own writes out. When whoever reads the log does not keep up (a pipe nobody
// reads, a stalled disk), the buffer fills and further lines are dropped: counted, in
// /metrics and in the log itself, where one line says how many once the writer can write
// again. The writer waits for room with poll() and writes at most PIPE_BUF bytes at a time,
// whole lines only, so it never blocks either (no O_NONBLOCK on a standard error that other
// processes share) and lines never mix with what those processes write.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

class HttpMetrics;

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
    // Lines the buffer holds at most, in bytes, by default.
    static constexpr std::size_t kBufferBytes = 1024 * 1024;

    // Writes to standard error. Throws std::system_error when its thread cannot be started.
    explicit AccessLog(std::size_t buffer_bytes = kBufferBytes);
    // Writes out what the buffer holds, for at most a second if the reader is stalled.
    ~AccessLog();
    AccessLog(const AccessLog&) = delete;
    AccessLog& operator=(const AccessLog&) = delete;

    // Appends to the file at path instead; false with a message when it cannot be opened.
    bool Open(const std::string& path, std::string* error);
    // Opens the file at the same path again, for log rotation: lines written meanwhile go to
    // the old file or the new one, never elsewhere. Nothing to do for standard error.
    bool Reopen(std::string* error);
    void set_log_query(bool on) { log_query_ = on; }
    // Counts the lines dropped there too; set before the log is written to.
    void set_metrics(HttpMetrics* metrics) { metrics_ = metrics; }

    // Adds the entry's line to the buffer, or drops it when the buffer is full.
    void Write(const AccessLogEntry& entry) const;
    std::string Line(const AccessLogEntry& entry) const;
    // Lines dropped so far.
    std::size_t dropped() const { return dropped_.load(); }

private:
    void WriteOut();
    // Writes `text` to `fd` whole lines at a time as room comes, unless the log is stopping
    // and its time is up. A descriptor that fails drops the rest: there is no one to tell.
    void WriteWhole(int fd, std::string_view text);

    const std::size_t buffer_bytes_;
    std::string path_;
    bool log_query_ = false;
    HttpMetrics* metrics_ = nullptr;
    mutable std::mutex mutex_;  // guards all below but dropped_ and stopping_
    mutable std::condition_variable ready_;
    int fd_ = 2;
    mutable std::string pending_;
    mutable std::size_t unreported_ = 0;  // dropped since the writer last said so
    mutable std::atomic<std::size_t> dropped_{0};
    std::atomic<bool> stopping_{false};
    std::chrono::steady_clock::time_point stop_deadline_{};
    std::thread writer_;  // last: started once the rest is ready
};
