// The store that keeps HKEY_CLASSES_ROOT, and the discipline that keeps it whole.
//
// Normally one file. Readers see either the old or the new file: a change is written to
// "<file>.tmp", synced, and renamed over the file. Writers in any process take turns on an
// exclusive flock of "<file>.lock" around their read-modify-write, so none loses another's
// change. Only regular files are read or replaced, the lock file is never reached through a
// symbolic link, and a file is used only when TrustedFiles.h trusts it.
//
// A process may instead keep HKEY_CLASSES_ROOT in its own memory (UsePrivateRegistry): empty
// at first, seen by no other process, gone when the process ends.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/runtime/RegistryTree.h"

namespace platform {

// Where the file lives: $QUILLON_REGISTRY when it is set and not empty; otherwise, for root,
// /var/lib/quillon/registry (the machine's classes, as HKEY_CLASSES_ROOT is on Windows); for
// other users $XDG_DATA_HOME/quillon/registry, or ~/.local/share/quillon/registry.
std::string RegistryFilePath();

// Switches this process to a private registry in memory (emptied at each switch) or back to
// the file.
void UsePrivateRegistry(bool use);

// The store this process uses now: the file's path, or the empty name of the private registry.
std::string RegistryStoreName();
// The store for people: the file's path, or "the private registry of this process".
std::string DescribeRegistryStore(const std::string& store);

// The largest registry file read. The registry of a machine with a few hundred classes takes a
// few hundred kilobytes.
inline constexpr long kMaxRegistryFileBytes = 8 << 20;

// Reads the whole store into an empty root, with one read of the file. A missing or empty file
// is an empty registry. Returns ERROR_SUCCESS, ERROR_REGISTRY_CORRUPT (also for a file beyond
// kMaxRegistryFileBytes), ERROR_ACCESS_DENIED (also for a file that is not trusted) or
// ERROR_CANTREAD (also for something other than a regular file), with a message naming the
// file and what is wrong (for a corrupt one, the line).
long ReadRegistry(const std::string& store, RegistryKeyNode* root, std::string* message);

// The same tree, read only, shared rather than copied where the store can: the private
// registry's current tree is kept as it is while anyone holds it (a change then goes to a copy),
// so that reading it costs nothing however large it is. *root is null after an error.
long ShareRegistry(const std::string& store, std::shared_ptr<const RegistryKeyNode>* root,
                   std::string* message);

// Runs visit on the store as it is now, or returns ReadRegistry's error. The private registry
// and a transaction's copy are visited where they lie, under the private registry's lock, not
// copied: visit only reads, and calls nothing of the registry.
long VisitRegistry(const std::string& store,
                   const std::function<long(const RegistryKeyNode&)>& visit, std::string* message);

// Reads the store under the lock and runs change on it; when change returns ERROR_SUCCESS and
// the content differs, writes it back. A store that cannot be read (a corrupt one too) is
// never written over. Creates the file's directory when needed.
//
// change works on the tree in place (in memory, the private registry's or a transaction's
// own), so it must leave the tree as it found it when it fails, by returning an error or by
// throwing: it checks before it modifies, or modifies a copy and moves it in at the end.
long UpdateRegistry(const std::string& store, const std::function<long(RegistryKeyNode&)>& change,
                    std::string* message);

// Many changes made as one. While a transaction is open, this thread's reads and updates of its
// store work on a copy in memory, under the writers' lock; Commit writes the copy back as one
// replacement of the file, so every reader sees all of the changes or none. A transaction
// destroyed uncommitted drops them. Other threads and processes that write the store wait for
// it. A transaction begun while this thread has one open on the same store joins it: its
// Commit leaves the writing to the outer one.
class RegistryTransaction {
public:
    RegistryTransaction();
    ~RegistryTransaction();
    RegistryTransaction(const RegistryTransaction&) = delete;
    RegistryTransaction& operator=(const RegistryTransaction&) = delete;

    // On the store this process uses now. Fails as UpdateRegistry does when the store cannot be
    // locked or read.
    long Begin(std::string* message);
    // *changed (when given) tells whether the keys and values differ from those Begin found (by
    // their fingerprints); a joined transaction cannot tell, and says they do.
    long Commit(std::string* message, bool* changed = nullptr);

    struct Open;

private:
    std::unique_ptr<Open> open_;  // null when the transaction joined another or is over
    bool joined_ = false;
};

}  // namespace platform
