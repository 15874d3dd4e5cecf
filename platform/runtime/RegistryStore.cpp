#include "platform/runtime/RegistryStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/runtime/RegistryFormat.h"
#include "platform/runtime/TrustedFiles.h"
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

// Why path names something other than a regular file (a device, a FIFO, a directory, or a
// symbolic link in its last part); empty when it is one or does not exist.
std::string NotARegularFile(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return {};
    return S_ISLNK(info.st_mode) ? "it is a symbolic link" : "not a regular file";
}

// Opens path for reading or writing if it is a regular file: anything else is not even opened.
// -1 with *message otherwise (errno ENOENT when it does not exist).
int OpenRegularFile(const std::string& path, int flags, const char* what, std::string* message) {
    if (const std::string why = NotARegularFile(path); !why.empty()) {
        *message = std::string("cannot ") + what + " " + path + ": " + why;
        errno = EINVAL;
        return -1;
    }
    // The flags keep it so should the name change meanwhile.
    const int fd = open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        *message = std::string("cannot ") + what + " " + path + ": " +
                   (error == ELOOP ? "it is a symbolic link" : ErrorText(error));
        errno = error;
        return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *message = std::string("cannot ") + what + " " + path + ": not a regular file";
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

// Held for the whole read-modify-write. flock locks belong to the open file description, so
// two threads of one process exclude each other as two processes do.
class ExclusiveLock {
public:
    long Acquire(const std::string& file, std::string* message) {
        const std::string lock_file = file + ".lock";
        constexpr int kFlags = O_RDWR | O_CREAT;
        fd_ = OpenRegularFile(lock_file, kFlags, "open the lock file", message);
        if (fd_ < 0 && errno == ENOENT) {
            if (!CreateDirectories(DirectoryOf(file), message)) return ERROR_CANTWRITE;
            fd_ = OpenRegularFile(lock_file, kFlags, "open the lock file", message);
        }
        if (fd_ < 0) return CodeForErrno(errno, ERROR_CANTWRITE);
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

long Untrusted(const std::string& file, const std::string& why, std::string* message) {
    *message = "refusing the registry " + file + ": " + why;
    return ERROR_ACCESS_DENIED;
}

long ReadWholeFile(const std::string& file, std::string* text, bool* exists, std::string* message) {
    text->clear();
    const int fd = OpenRegularFile(file, O_RDONLY, "read", message);
    *exists = fd >= 0;
    if (fd < 0) {
        if (errno == ENOENT) return ERROR_SUCCESS;
        return CodeForErrno(errno, ERROR_CANTREAD);
    }
    FileCloser closer(fd);
    if (std::string why; !IsTrustedPath(file, &why)) return Untrusted(file, why, message);
    // One read takes the whole file; more are needed only for a file that grows meanwhile.
    struct stat info {};
    fstat(fd, &info);
    size_t length = 0;
    if (info.st_size <= kMaxRegistryFileBytes) text->resize(static_cast<size_t>(info.st_size) + 1);
    while (!text->empty() && length <= static_cast<size_t>(kMaxRegistryFileBytes)) {
        if (length == text->size()) text->resize(2 * length);
        const ssize_t n = read(fd, text->data() + length, text->size() - length);
        if (n == 0) {
            text->resize(length);
            return ERROR_SUCCESS;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            *message = "cannot read " + file + ": " + ErrorText(errno);
            return ERROR_CANTREAD;
        }
        length += static_cast<size_t>(n);
    }
    text->clear();
    *message = file + " is larger than " + std::to_string(kMaxRegistryFileBytes >> 20) +
               " MiB: not a registry";
    return ERROR_REGISTRY_CORRUPT;
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

// What a change may replace: nothing, or a regular file. A device, a FIFO or a symbolic link
// named as the registry stays as it is.
long CheckReplaceable(const std::string& file, std::string* message) {
    if (const std::string why = NotARegularFile(file); !why.empty()) {
        *message = "will not replace " + file + ": " + why;
        return ERROR_CANTWRITE;
    }
    return ERROR_SUCCESS;
}

// The temporary name is fixed: only the lock holder writes it, and a file left there by a
// writer that died before its rename is simply replaced.
long ReplaceFile(const std::string& file, const std::string& text, std::string* message) {
    if (const long checked = CheckReplaceable(file, message); checked != ERROR_SUCCESS) {
        return checked;
    }
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

// The private registry. Never destroyed: it may be used while the process shuts down. Readers
// may share the tree (ShareRegistry); a change is made in place only while no one else holds it.
struct PrivateRegistry {
    std::atomic<bool> in_use{false};
    std::mutex mutex;
    std::shared_ptr<RegistryKeyNode> tree = std::make_shared<RegistryKeyNode>();

    // Under the lock.
    RegistryKeyNode& Changeable() {
        if (tree.use_count() > 1) {
            auto copy = std::make_shared<RegistryKeyNode>();
            CopyKeyTree(*tree, copy.get());
            tree = std::move(copy);
        }
        return *tree;
    }
};

PrivateRegistry& ThePrivateRegistry() {
    static auto* registry = new PrivateRegistry;
    return *registry;
}

// The file store's read-modify-write under the writers' lock, cut in two so that a
// transaction can hold the lock between its reading and its writing.
struct FileUpdate {
    ExclusiveLock lock;
    std::string before;
    bool exists = false;
    RegistryKeyNode tree;

    long Start(const std::string& file, std::string* message) {
        long result = CheckReplaceable(file, message);
        // Judged before the lock file and the folders are made: nothing is left behind where
        // the registry is refused. A new file is judged by where it will be.
        if (std::string why; result == ERROR_SUCCESS && !IsTrustedPath(file, &why)) {
            result = Untrusted(file, why, message);
        }
        if (result == ERROR_SUCCESS) result = lock.Acquire(file, message);
        if (result == ERROR_SUCCESS) result = ReadWholeFile(file, &before, &exists, message);
        if (result == ERROR_SUCCESS) result = ParseStore(file, before, &tree, message);
        return result;
    }
    long Finish(const std::string& file, std::string* message) {
        const std::string after = FormatRegistryText(tree);
        if (exists && after == before) return ERROR_SUCCESS;
        return ReplaceFile(file, after, message);
    }
};

}  // namespace

struct RegistryTransaction::Open {
    std::string store;
    // The copy the transaction's calls work on, and for the file store its lock and old text.
    FileUpdate update;
    std::uint64_t fingerprint = 0;              // of the keys and values as Begin found them
    std::unique_lock<std::mutex> private_lock;  // for the private registry
};

namespace {

thread_local RegistryTransaction::Open* open_transaction = nullptr;

RegistryTransaction::Open* TransactionOn(const std::string& store) {
    return open_transaction != nullptr && open_transaction->store == store ? open_transaction
                                                                           : nullptr;
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

void UsePrivateRegistry(bool use) {
    PrivateRegistry& registry = ThePrivateRegistry();
    std::lock_guard lock(registry.mutex);
    if (use) registry.tree = std::make_shared<RegistryKeyNode>();
    registry.in_use = use;
}

std::string RegistryStoreName() {
    return ThePrivateRegistry().in_use ? std::string() : RegistryFilePath();
}

std::string DescribeRegistryStore(const std::string& store) {
    return store.empty() ? "the private registry of this process" : store;
}

namespace {

long ReadRegistryFile(const std::string& file, RegistryKeyNode* root, std::string* message) {
    std::string text;
    bool exists = false;
    const long result = ReadWholeFile(file, &text, &exists, message);
    if (result != ERROR_SUCCESS) return result;
    return ParseStore(file, text, root, message);
}

}  // namespace

long VisitRegistry(const std::string& store,
                   const std::function<long(const RegistryKeyNode&)>& visit, std::string* message) {
    if (RegistryTransaction::Open* transaction = TransactionOn(store)) {
        return visit(transaction->update.tree);
    }
    if (store.empty()) {
        PrivateRegistry& registry = ThePrivateRegistry();
        std::lock_guard lock(registry.mutex);
        return visit(*registry.tree);
    }
    RegistryKeyNode root;
    const long result = ReadRegistryFile(store, &root, message);
    return result == ERROR_SUCCESS ? visit(root) : result;
}

long ReadRegistry(const std::string& store, RegistryKeyNode* root, std::string* message) {
    if (!store.empty() && TransactionOn(store) == nullptr) {
        return ReadRegistryFile(store, root, message);
    }
    return VisitRegistry(
        store,
        [&](const RegistryKeyNode& tree) {
            CopyKeyTree(tree, root);
            return ERROR_SUCCESS;
        },
        message);
}

long ShareRegistry(const std::string& store, std::shared_ptr<const RegistryKeyNode>* root,
                   std::string* message) {
    root->reset();
    if (store.empty() && TransactionOn(store) == nullptr) {
        PrivateRegistry& registry = ThePrivateRegistry();
        std::lock_guard lock(registry.mutex);
        *root = registry.tree;
        return ERROR_SUCCESS;
    }
    auto tree = std::make_shared<RegistryKeyNode>();
    const long result = ReadRegistry(store, tree.get(), message);
    if (result == ERROR_SUCCESS) *root = std::move(tree);
    return result;
}

long UpdateRegistry(const std::string& store, const std::function<long(RegistryKeyNode&)>& change,
                    std::string* message) {
    if (RegistryTransaction::Open* transaction = TransactionOn(store)) {
        return change(transaction->update.tree);
    }
    if (store.empty()) {
        PrivateRegistry& registry = ThePrivateRegistry();
        std::lock_guard lock(registry.mutex);
        return change(registry.Changeable());
    }
    FileUpdate update;
    long result = update.Start(store, message);
    if (result == ERROR_SUCCESS) result = change(update.tree);
    if (result == ERROR_SUCCESS) result = update.Finish(store, message);
    return result;
}

RegistryTransaction::RegistryTransaction() = default;

RegistryTransaction::~RegistryTransaction() {
    if (open_ != nullptr && open_transaction == open_.get()) open_transaction = nullptr;
}

long RegistryTransaction::Begin(std::string* message) {
    const std::string store = RegistryStoreName();
    if (TransactionOn(store) != nullptr) {
        joined_ = true;
        return ERROR_SUCCESS;
    }
    auto open = std::make_unique<Open>();
    open->store = store;
    if (store.empty()) {
        PrivateRegistry& registry = ThePrivateRegistry();
        open->private_lock = std::unique_lock(registry.mutex);
        CopyKeyTree(*registry.tree, &open->update.tree);
    } else if (const long result = open->update.Start(store, message); result != ERROR_SUCCESS) {
        return result;
    }
    open->fingerprint = FingerprintKeyTree(open->update.tree);
    open_ = std::move(open);
    open_transaction = open_.get();
    return ERROR_SUCCESS;
}

long RegistryTransaction::Commit(std::string* message, bool* changed) {
    if (changed != nullptr) *changed = true;
    if (joined_ || open_ == nullptr) return ERROR_SUCCESS;
    open_transaction = nullptr;
    const std::unique_ptr<Open> open = std::move(open_);
    if (changed != nullptr) *changed = FingerprintKeyTree(open->update.tree) != open->fingerprint;
    if (open->store.empty()) {
        ThePrivateRegistry().tree = std::make_shared<RegistryKeyNode>(std::move(open->update.tree));
        return ERROR_SUCCESS;
    }
    return open->update.Finish(open->store, message);
}

}  // namespace platform
