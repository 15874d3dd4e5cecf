#include "platform/runtime/TrustedFiles.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace platform {
namespace {

std::string Mode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Why whoever owns path is not trusted, or the empty string when they are.
std::string Owner(const std::string& path, const struct stat& info) {
    if (info.st_uid == 0 || info.st_uid == geteuid()) return {};
    return path + " belongs to user " + std::to_string(info.st_uid) +
           ", neither root nor this process's user";
}

// Why one file or directory is not trusted, or the empty string when it is.
std::string Fault(const std::string& path, const struct stat& info) {
    if (std::string owner = Owner(path, info); !owner.empty()) return owner;
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
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// Appends the names of a path to the names still to walk, which are taken from the back.
void PushNames(std::string_view path, std::vector<std::string>* pending) {
    size_t end = path.size();
    while (end > 0) {
        const size_t slash = path.rfind('/', end - 1);
        const size_t start = slash == std::string_view::npos ? 0 : slash + 1;
        const std::string_view name = path.substr(start, end - start);
        if (!name.empty() && name != ".") pending->emplace_back(name);
        if (slash == std::string_view::npos) break;
        end = slash;
    }
}

// As many links as the kernel follows in one path before it gives up (ELOOP).
constexpr int kMaxLinks = 40;

}  // namespace

bool IsTrustedPath(const std::string& path, std::string* why) {
    // Walked from the root one name at a time, as the kernel walks it, so that a symbolic link
    // is judged where it lies and then its target from the folder it leads to: a folder others
    // could change anywhere on the way could redirect the path, even when the file it reaches
    // now is sound.
    std::vector<std::string> pending;
    PushNames(path, &pending);
    if (path.empty() || path[0] != '/') {
        char directory[PATH_MAX];
        if (getcwd(directory, sizeof directory) == nullptr) {
            *why = "cannot check " + path + ": " + std::strerror(errno);
            return false;
        }
        PushNames(directory, &pending);
    }
    std::string current = "/";
    struct stat info {};
    if (stat("/", &info) != 0) {
        *why = std::string("cannot check /: ") + std::strerror(errno);
        return false;
    }
    *why = Fault("/", info);
    if (!why->empty()) return false;
    int links = 0;
    while (!pending.empty()) {
        const std::string name = std::move(pending.back());
        pending.pop_back();
        if (name == "..") {
            current = Parent(current);  // a real folder, all of whose parents have been judged
            continue;
        }
        const std::string next = (current == "/" ? "" : current) + "/" + name;
        if (lstat(next.c_str(), &info) != 0) {
            // What does not exist yet is judged by the folders that do.
            if (errno == ENOENT || errno == ENOTDIR) return true;
            *why = "cannot check " + next + ": " + std::strerror(errno);
            return false;
        }
        if (!S_ISLNK(info.st_mode)) {
            *why = Fault(next, info);
            if (!why->empty()) return false;
            current = next;
            continue;
        }
        // A link's mode means nothing, but in a sticky folder its owner may replace it.
        *why = Owner(next, info);
        if (!why->empty()) return false;
        char target[PATH_MAX];
        const ssize_t length = readlink(next.c_str(), target, sizeof target);
        if (++links > kMaxLinks || length < 0 || static_cast<size_t>(length) == sizeof target) {
            const int error = links > kMaxLinks ? ELOOP : length < 0 ? errno : ENAMETOOLONG;
            *why = "cannot check " + next + ": " + std::strerror(error);
            return false;
        }
        const std::string_view text(target, static_cast<size_t>(length));
        PushNames(text, &pending);
        if (!text.empty() && text[0] == '/') current = "/";
    }
    return true;
}

bool IsTrustedLibrary(const std::string& path, std::string* why) {
    return path.find('/') == std::string::npos || IsTrustedPath(path, why);
}

}  // namespace platform
