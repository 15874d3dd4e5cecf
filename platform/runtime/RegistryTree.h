// HKEY_CLASSES_ROOT in memory: a tree of keys, each with string values and subkeys. Names
// compare without regard to letter case, as on Windows, and keep the case they were created
// with. The store reads the whole tree from its file for every operation (it is small).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/RegistryKeyName.h"

namespace platform {

// Folds the letters of ASCII, Latin-1, basic Greek and basic Cyrillic to upper case; other
// characters compare as they are.
char16_t FoldRegistryCase(char16_t c);

struct RegistryNameLess {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const;
};

bool RegistryNamesEqual(std::u16string_view a, std::u16string_view b);

struct RegistryKeyNode {
    // The default value has the empty name.
    std::map<std::u16string, std::u16string, RegistryNameLess> values;
    std::map<std::u16string, std::unique_ptr<RegistryKeyNode>, RegistryNameLess> subkeys;
};

// A key's place below HKEY_CLASSES_ROOT, one name per level; empty for the root itself.
using RegistryPath = std::vector<std::u16string>;

// Splits "A\B\C" into its names. A single trailing backslash is allowed. Returns
// ERROR_BAD_PATHNAME for a leading backslash, an empty name between two backslashes or more
// than kMaxRegistryDepth names, and ERROR_INVALID_PARAMETER for a name that IsValidKeyName
// refuses.
long ParseRegistryPath(std::u16string_view text, RegistryPath* path);
// The same, the names lying in text.
long SplitRegistryPath(std::u16string_view text, std::vector<std::u16string_view>* names);

// Joins a path with backslashes for messages and the store's file.
std::u16string JoinRegistryPath(const RegistryPath& path);

RegistryKeyNode* FindKey(RegistryKeyNode& root, const RegistryPath& path);
const RegistryKeyNode* FindKey(const RegistryKeyNode& root, const RegistryPath& path);
// Creates the missing keys along the path, all of them or, out of memory, none; *created tells
// whether the last one is new.
RegistryKeyNode* CreateKey(RegistryKeyNode& root, const RegistryPath& path, bool* created);
// The same for names lying elsewhere (SplitRegistryPath's), without copying them first.
RegistryKeyNode* CreateKeyAt(RegistryKeyNode& root, std::span<const std::u16string_view> path,
                             bool* created);
// Removes the key at a non-empty path with everything below it; false when it is missing.
bool DeleteKeyTree(RegistryKeyNode& root, const RegistryPath& path);

// Moves the keys and values of from into *into, leaving from empty: each value replaces the one
// of its name, and a key that *into lacks moves whole, with everything below it. Allocates
// nothing.
void MoveKeyTree(RegistryKeyNode&& from, RegistryKeyNode* into);

// Replaces *copy with a copy of key and everything below it.
void CopyKeyTree(const RegistryKeyNode& key, RegistryKeyNode* copy);
// Whether two trees hold the same keys and values, names spelt with the same letter case.
bool SameKeyTree(const RegistryKeyNode& a, const RegistryKeyNode& b);
// A 64-bit hash of the keys, values and their names' letter case: trees that differ differ in
// it but for a chance of one in 2^64. Telling whether a tree changed needs no copy of it then.
std::uint64_t FingerprintKeyTree(const RegistryKeyNode& root);

}  // namespace platform
