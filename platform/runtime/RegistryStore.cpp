#include "platform/runtime/RegistryStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/runtime/RegistryFormat.h"
#include "platform/winapi/WinError.h"

namespace platform {
namespace {

std::string ErrorText(int error) {
    return std::strerror(error);
}

long CodeForErrno(int error, long otherwise) {
    return (error == EACCES || error == EPERM || error == EROFS) ? ERROR_ACCESS_DENIED : otherwise;
}

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return {};
}

bool CreateDirectories(const std::string& directory, std::string* message) {
    size_t slash = 0;
    while (slash != std::string::npos) {
        slash = directory.find('/', slash + 1);
        const std::string prefix = directory.substr(0, slash);
        if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
            *message = "cannot create directory " + prefix + ": " + ErrorText(errno);
            return false;
        }
    }
    return true;
}

std::string DirectoryOf(const std::string& file) {
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

class FileCloser {
public:
    explicit FileCloser(int fd) : fd_(fd) {}
    ~FileCloser() {
        if (fd_ >= 0) close(fd_);
    }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    int fd_;
};

// Held for the whole read-modify-write. flock locks belong to the open file description, so
// two threads of one process exclude each other as two processes do.
class ExclusiveLock {
public:
    long Acquire(const std::string& file, std::string* message) {
        const std::string lock_file = file + ".lock";
        fd_ = open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0 && errno == ENOENT) {
            if (!CreateDirectories(DirectoryOf(file), message)) return ERROR_CANTWRITE;
            fd_ = open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        }
        if (fd_ < 0) {
            *message = "cannot open the lock file " + lock_file + ": " + ErrorText(errno);
            return CodeForErrno(errno, ERROR_CANTWRITE);
        }
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            *message = "cannot lock " + lock_file + ": " + ErrorText(errno);
            return ERROR_CANTWRITE;
        }
        return ERROR_SUCCESS;
    }
    ~ExclusiveLock() {
        if (fd_ >= 0) close(fd_);  // closing the description releases the lock
    }

private:
    int fd_ = -1;
};

long ReadWholeFile(const std::string& file, std::string* text, bool* exists, std::string* message) {
    text->clear();
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    *exists = fd >= 0;
    if (fd < 0) {
        if (errno == ENOENT) return ERROR_SUCCESS;
        *message = "cannot open " + file + ": " + ErrorText(errno);
        return CodeForErrno(errno, ERROR_CANTREAD);
    }
    FileCloser closer(fd);
    char buffer[8192];
    while (true) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0) return ERROR_SUCCESS;
        if (n < 0) {
            if (errno == EINTR) continue;
            *message = "cannot read " + file + ": " + ErrorText(errno);
            return ERROR_CANTREAD;
        }
        text->append(buffer, static_cast<size_t>(n));
    }
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// The temporary name is fixed: only the lock holder writes it, and a file left there by a
// writer that died before its rename is simply replaced.
long ReplaceFile(const std::string& file, const std::string& text, std::string* message) {
    const std::string temporary = file + ".tmp";
    if (unlink(temporary.c_str()) != 0 && errno != ENOENT) {
        *message = "cannot remove the stale " + temporary + ": " + ErrorText(errno);
        return CodeForErrno(errno, ERROR_CANTWRITE);
    }
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        *message = "cannot create " + temporary + ": " + ErrorText(errno);
        return CodeForErrno(errno, ERROR_CANTWRITE);
    }
    bool written = WriteAll(fd, text) && fsync(fd) == 0;
    int write_error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        write_error = errno;
    }
    if (!written) {
        *message = "cannot write " + temporary + ": " + ErrorText(write_error);
        unlink(temporary.c_str());
        return ERROR_CANTWRITE;
    }
    if (rename(temporary.c_str(), file.c_str()) != 0) {
        *message = "cannot replace " + file + ": " + ErrorText(errno);
        unlink(temporary.c_str());
        return CodeForErrno(errno, ERROR_CANTWRITE);
    }
    // The rename itself must reach the disk before the change counts as made.
    const int directory = open(DirectoryOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        fsync(directory);
        close(directory);
    }
    return ERROR_SUCCESS;
}

long ParseStore(const std::string& file, const std::string& text, RegistryKeyNode* root,
                std::string* message) {
    std::string error;
    if (!ParseRegistryText(text, root, &error)) {
        *message = file + " is corrupt: " + error;
        return ERROR_REGISTRY_CORRUPT;
    }
    return ERROR_SUCCESS;
}

}  // namespace

std::string RegistryFilePath() {
    if (const char* path = std::getenv("QUILLON_REGISTRY"); path != nullptr && path[0] != 0) {
        return path;
    }
    if (geteuid() == 0) return "/var/lib/quillon/registry";
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
        return std::string(data) + "/quillon/registry";
    }
    const std::string home = HomeDirectory();
    if (home.empty()) return "/var/lib/quillon/registry";
    return home + "/.local/share/quillon/registry";
}

long ReadRegistry(const std::string& file, RegistryKeyNode* root, std::string* message) {
    std::string text;
    bool exists = false;
    const long result = ReadWholeFile(file, &text, &exists, message);
    if (result != ERROR_SUCCESS) return result;
    return ParseStore(file, text, root, message);
}

long UpdateRegistry(const std::string& file, const std::function<long(RegistryKeyNode&)>& change,
                    std::string* message) {
    ExclusiveLock lock;
    long result = lock.Acquire(file, message);
    if (result != ERROR_SUCCESS) return result;

    std::string before;
    bool exists = false;
    result = ReadWholeFile(file, &before, &exists, message);
    if (result != ERROR_SUCCESS) return result;
    RegistryKeyNode root;
    result = ParseStore(file, before, &root, message);
    if (result != ERROR_SUCCESS) return result;

    result = change(root);
    if (result != ERROR_SUCCESS) return result;
    const std::string after = FormatRegistryText(root);
    if (exists && after == before) return ERROR_SUCCESS;
    return ReplaceFile(file, after, message);
}

}  // namespace platform
