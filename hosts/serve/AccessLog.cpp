#include "hosts/serve/AccessLog.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "hosts/serve/HttpMetrics.h"
#include "library/session/PrintableText.h"

namespace {

constexpr std::size_t kShownTarget = 200;
constexpr std::size_t kShownPeer = 64;
// How often the writer, waiting for room, looks whether the log is stopping.
constexpr int kPollMs = 100;
// Once the log is stopping, what is left is written within this time or dropped.
constexpr auto kLastWrite = std::chrono::seconds(1);

int OpenForAppending(const std::string& path) {
    return open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
}

// The names of a query's pairs, without their values: "Data=x&Width=2" gives "Data&Width".
std::string QueryNames(std::string_view query) {
    std::string names;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view item = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (item.empty()) continue;
        if (!names.empty()) names += '&';
        names += item.substr(0, item.find('='));
    }
    return names;
}

std::string Timestamp(std::chrono::system_clock::time_point time) {
    const auto since_epoch = time.time_since_epoch();
    const std::time_t seconds =
        std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count();
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(millis));
    return text;
}

}  // namespace

AccessLog::AccessLog(std::size_t buffer_bytes)
    : buffer_bytes_(buffer_bytes), writer_([this] { WriteOut(); }) {}

AccessLog::~AccessLog() {
    {
        const std::lock_guard lock(mutex_);
        stop_deadline_ = std::chrono::steady_clock::now() + kLastWrite;
        stopping_ = true;
    }
    ready_.notify_one();
    writer_.join();
    if (!path_.empty()) close(fd_);
}

bool AccessLog::Open(const std::string& path, std::string* error) {
    const int fd = OpenForAppending(path);
    if (fd < 0) {
        *error = "cannot open the access log " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::lock_guard lock(mutex_);
    if (!path_.empty()) close(fd_);
    fd_ = fd;
    path_ = path;
    return true;
}

bool AccessLog::Reopen(std::string* error) {
    if (path_.empty()) return true;
    const int fresh = OpenForAppending(path_);
    if (fresh < 0) {
        *error = "cannot reopen the access log " + path_ + ": " + std::strerror(errno);
        return false;
    }
    // dup3 swaps the file under the descriptor in one step: a worker's write goes whole to
    // the old file or the new, and the descriptor number is never free for another file.
    const bool swapped = dup3(fresh, fd_, O_CLOEXEC) >= 0;
    if (!swapped) *error = "cannot reopen the access log " + path_ + ": " + std::strerror(errno);
    close(fresh);
    return swapped;
}

std::string AccessLog::Line(const AccessLogEntry& entry) const {
    std::string target(entry.path);
    const std::string query = log_query_ ? std::string(entry.query) : QueryNames(entry.query);
    if (!query.empty()) target += "?" + query;
    char figures[64];
    std::snprintf(figures, sizeof figures, "\" %d %zu %.3fms\n", entry.status, entry.body_bytes,
                  entry.milliseconds);
    return Timestamp(entry.time) + " " +
           PrintableText(entry.peer, kShownPeer, PrintableForm::kQuoted) + " \"" +
           PrintableText(entry.method, 20, PrintableForm::kQuoted) + " " +
           PrintableText(target, kShownTarget, PrintableForm::kQuoted) + figures;
}

void AccessLog::Write(const AccessLogEntry& entry) const {
    const std::string line = Line(entry);
    {
        const std::lock_guard lock(mutex_);
        if (pending_.size() + line.size() > buffer_bytes_) {
            ++unreported_;
            ++dropped_;
            if (metrics_ != nullptr) metrics_->LogLinesDropped(1);
            return;
        }
        pending_ += line;
    }
    ready_.notify_one();
}

void AccessLog::WriteOut() {
    std::string batch;
    std::unique_lock lock(mutex_);
    for (;;) {
        ready_.wait(lock, [this] { return stopping_ || !pending_.empty() || unreported_ > 0; });
        if (pending_.empty() && unreported_ == 0) return;  // stopping, with nothing left
        // The lines taken before the drops, then the word of them: the lines that come after
        // follow it.
        batch.swap(pending_);
        if (unreported_ > 0) {
            batch += "quillon-serve: " + std::to_string(unreported_) +
                     " access log lines dropped: the log's reader did not keep up\n";
            unreported_ = 0;
        }
        const int fd = fd_;
        lock.unlock();
        WriteWhole(fd, batch);
        batch.clear();
        lock.lock();
    }
}

void AccessLog::WriteWhole(int fd, std::string_view text) {
    while (!text.empty()) {
        pollfd room{fd, POLLOUT, 0};
        const int ready = poll(&room, 1, kPollMs);
        if (ready < 0 && errno != EINTR) return;
        if (ready <= 0) {
            if (stopping_ && std::chrono::steady_clock::now() > stop_deadline_) return;
            continue;
        }
        if ((room.revents & (POLLERR | POLLNVAL)) != 0) return;
        // Room for PIPE_BUF bytes at least, which a pipe takes at once and in one piece: as
        // many whole lines as fit in that.
        std::size_t chunk = std::min<std::size_t>(text.size(), PIPE_BUF);
        if (chunk < text.size()) {
            const std::size_t last_line_end = text.rfind('\n', chunk - 1);
            if (last_line_end != std::string_view::npos) chunk = last_line_end + 1;
        }
        const ssize_t n = write(fd, text.data(), chunk);
        if (n < 0 && errno != EINTR && errno != EAGAIN) return;
        if (n > 0) text.remove_prefix(static_cast<std::size_t>(n));
    }
}
