// The file that keeps HKEY_CLASSES_ROOT, and the discipline that keeps it whole: readers see
// either the old or the new file (a change is written to "<file>.tmp", synced, and renamed
// over the file), and writers in any process take turns on an exclusive flock of
// "<file>.lock" around their read-modify-write, so none loses another's change.
#pragma once

#include <functional>
#include <string>

#include "platform/runtime/RegistryTree.h"

namespace platform {

// Where the store lives: $QUILLON_REGISTRY when it is set and not empty; otherwise, for root,
// /var/lib/quillon/registry (the machine's classes, as HKEY_CLASSES_ROOT is on Windows); for
// other users $XDG_DATA_HOME/quillon/registry, or ~/.local/share/quillon/registry.
std::string RegistryFilePath();

// Reads the whole store into an empty root. A missing or empty file is an empty registry.
// Returns ERROR_SUCCESS, ERROR_REGISTRY_CORRUPT, ERROR_ACCESS_DENIED or ERROR_CANTREAD, with a
// message naming the file (and the line, for a corrupt one).
long ReadRegistry(const std::string& file, RegistryKeyNode* root, std::string* message);

// Reads the store under the lock and runs change on it; when change returns ERROR_SUCCESS and
// the content differs, writes it back. A store that cannot be read (a corrupt one too) is
// never written over. Creates the file's directory when needed.
long UpdateRegistry(const std::string& file, const std::function<long(RegistryKeyNode&)>& change,
                    std::string* message);

}  // namespace platform
