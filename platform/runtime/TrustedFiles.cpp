#include "platform/runtime/TrustedFiles.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {
namespace {

std::string Mode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Why one file or directory is not trusted, or the empty string when it is.
std::string Fault(const std::string& path, const struct stat& info) {
    if (info.st_uid != 0 && info.st_uid != geteuid()) {
        return path + " belongs to user " + std::to_string(info.st_uid) +
               ", neither root nor this process's user";
    }
    const bool sticky_directory = S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0;
    if (sticky_directory) return {};
    if ((info.st_mode & S_IWOTH) != 0) {
        return path + " is writable by others (mode " + Mode(info.st_mode) + ")";
    }
    if ((info.st_mode & S_IWGRP) != 0) {
        return path + " is writable by its group (mode " + Mode(info.st_mode) + ")";
    }
    return {};
}

std::string Parent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool IsTrustedPath(const std::string& path, std::string* why) {
    // Up from the path to the nearest part that exists, then by its real name (symbolic links
    // resolved) to the root.
    std::string existing = path.empty() ? "." : path;
    char resolved[PATH_MAX];
    while (realpath(existing.c_str(), resolved) == nullptr) {
        const int error = errno;
        const std::string parent = Parent(existing);
        if ((error != ENOENT && error != ENOTDIR) || parent == existing) {
            *why = "cannot check " + existing + ": " + std::strerror(error);
            return false;
        }
        existing = parent;
    }
    std::string current = resolved;
    while (true) {
        struct stat info {};
        if (stat(current.c_str(), &info) != 0) {
            *why = "cannot check " + current + ": " + std::strerror(errno);
            return false;
        }
        *why = Fault(current, info);
        if (!why->empty()) return false;
        if (current == "/") return true;
        current = Parent(current);
    }
}

bool IsTrustedLibrary(const std::string& path, std::string* why) {
    return path.find('/') == std::string::npos || IsTrustedPath(path, why);
}

}  // namespace platform
