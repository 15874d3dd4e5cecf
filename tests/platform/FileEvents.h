// What happens to the files of one directory, as inotify reports it: how often a file was
// opened, or replaced by a rename. Tests count the store's reads and writes with it.
#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <cstdint>
#include <string>

class FileEvents {
public:
    explicit FileEvents(const std::string& directory)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        inotify_add_watch(fd_, directory.c_str(), IN_OPEN | IN_MOVED_TO);
    }
    ~FileEvents() { close(fd_); }
    FileEvents(const FileEvents&) = delete;
    FileEvents& operator=(const FileEvents&) = delete;

    // How many events of the kinds in mask (IN_OPEN, IN_MOVED_TO) befell the file name since
    // the last count.
    int Count(const std::string& name, std::uint32_t mask) {
        int count = 0;
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if ((event->mask & mask) != 0 && event->len > 0 && name == event->name) ++count;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return count;
    }

private:
    int fd_;
};
