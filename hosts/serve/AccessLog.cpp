#include "hosts/serve/AccessLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "library/session/PrintableText.h"

namespace {

constexpr std::size_t kShownTarget = 200;
constexpr std::size_t kShownPeer = 64;

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

AccessLog::~AccessLog() {
    if (!path_.empty()) close(fd_);
}

bool AccessLog::Open(const std::string& path, std::string* error) {
    const int fd = OpenForAppending(path);
    if (fd < 0) {
        *error = "cannot open the access log " + path + ": " + std::strerror(errno);
        return false;
    }
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
    [[maybe_unused]] const ssize_t n = write(fd_, line.data(), line.size());
}
